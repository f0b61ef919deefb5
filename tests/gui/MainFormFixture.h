#pragma once

#include <QTemporaryDir>
#include <memory>
#include <string>

#include "app/MainForm.h"

namespace vexalo {

// A folder that stands in for the program's own: the main window finds its
// settings and data files there, and each test gets a fresh one.
class ProgramFolder {
 public:
  ProgramFolder();

  // The folder with a trailing "/", as the main window takes it.
  std::string Path() const;
  std::string FilePath(const char* name) const { return Path() + name; }
  // The same path as Qt takes it.
  QString QtPath(const char* name) const;
  void Write(const char* name, const std::string& bytes) const;
  std::string Read(const char* name) const;
  bool Exists(const char* name) const;

  // Opens a main window on the folder, shows it and waits until the
  // start-up loads after its first paint are done; null if they never end.
  std::unique_ptr<TMainForm> StartMainForm() const;

 private:
  QTemporaryDir dir_;
};

// A port on 127.0.0.1 where nobody listens: one the system hands out,
// given back at once.
std::string ClosedLoopbackPort();

}  // namespace vexalo
