// Vexalo.ini as any editor may leave it: every key the program reads is looked
// up, one is set, and the value set is what is then found.

#include <cstddef>
#include <cstdint>
#include <string>

#include "settings/IniDocument.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vexalo::IniDocument document(std::string(reinterpret_cast<const char*>(data), size));
  for (const char* key : {"HOST", "PORT", "USER", "PASSWORD"}) document.Find("POP3", key);
  for (const char* key : {"HEADER", "SPLIT", "INTERVAL", "DELETE"}) document.Find("MAIL", key);
  document.Set("POP3", "HOST", "mail.example.com");
  const auto found = vexalo::IniDocument(document.Text()).Find("POP3", "HOST");
  if (!found || *found != "mail.example.com") __builtin_trap();
  return 0;
}
