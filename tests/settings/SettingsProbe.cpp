// Loads the settings from the default file, prints the host, then saves them
// with the host given as the only argument. Run by the settings tests from a
// copy in a folder of its own.
#include <cstdio>
#include <exception>

#include "settings/SettingsStore.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  try {
    vexalo::PlainSettingsFields fields;
    vexalo::LoadSettings(fields);
    std::printf("%s\n", fields.host.c_str());
    fields.host = argv[1];
    vexalo::SaveSettings(fields);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
