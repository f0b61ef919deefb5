#pragma once

#include <string>

#include "settings/SettingsFields.h"

namespace vexalo {

// Where the POP3 password of a data folder lives: the desktop keyring
// (Secret Service) when one answers, else the encrypted PASSWORD key of the
// folder's Vexalo.ini, as before there was a keyring. A save while a keyring
// answers moves the password there and empties the key; a run without one (a
// systemd timer) keeps to the file. Every call blocks on D-Bus while it asks
// the keyring. `dataDir` ends in '/'.

// LoadSettings of the folder's Vexalo.ini, the password from the keyring when
// the file holds none. A password in the file comes first: every save while
// a keyring answers empties the key, so one found there was written later,
// by a save without the keyring (vexalo-fetch --set-password over ssh), and
// the keyring's is the older one.
void LoadSettingsAndPassword(SettingsFields& fields, const std::string& dataDir);

// SaveSettings to the folder's Vexalo.ini, with the password in the keyring
// (an empty one erases the keyring's) and the PASSWORD key emptied. Without a
// keyring, or when it refuses the password, the file keeps it encrypted as
// before. Raises as SaveSettings does.
void SaveSettingsAndPassword(const SettingsFields& fields, const std::string& dataDir);

// The password alone, kept where SaveSettingsAndPassword keeps it; the other
// keys stay as they are. Raises as SavePassword does.
void SavePasswordAlone(const std::string& password, const std::string& dataDir);

}  // namespace vexalo
