#pragma once

#include <string>
#include <string_view>

namespace vexalo {

// The settings file; one beside the executable makes a portable copy.
inline constexpr std::string_view kSettingsFileName = "Vexalo.ini";

// The folder of the running executable, with a trailing "/", from
// /proc/self/exe. Raises std::runtime_error when the link cannot be read (no
// /proc).
std::string ExecutableDir();

// What decides where the program keeps its files.
struct DataDirFacts {
  std::string executableDir;      // with a trailing "/"
  bool settingsBesideExecutable;  // a Vexalo.ini is there already
  bool executableDirWritable;     // the user may create files there
  std::string xdgDataHome;        // $XDG_DATA_HOME, empty when unset
  std::string home;               // the user's home folder
};

// The data folder, with a trailing "/": the executable's folder for a
// portable copy (a Vexalo.ini is there, or the user can write the folder and
// it is not under /usr/, which belongs to the system even where root can
// write it); otherwise "vexalo/" in $XDG_DATA_HOME, or in ~/.local/share when
// that is unset or not an absolute path. Decides only; creates nothing.
// Raises std::runtime_error when the user folder is chosen and there is no
// home folder to put it in.
std::string ChooseDataDir(const DataDirFacts& facts);

// ChooseDataDir for a program in `executableDir`, with the facts read from
// the file system and the environment. Creates nothing.
std::string FindDataDirBeside(const std::string& executableDir);

// FindDataDirBeside for this executable: the folder of Vexalo.ini,
// AllData.csv, FirstRow.csv and every other file the program names by itself,
// never the current directory. Creates nothing.
std::string FindDataDir();

// Makes the folder `dir` (mode 0700, missing parents too) unless it exists.
// Raises std::runtime_error when it cannot be made.
void MakeDataDir(const std::string& dir);

// FindDataDir, made when it does not exist yet (MakeDataDir).
std::string DataDir();

// The manual index.html: beside the executable (a build or portable copy),
// else in the share folder of the installation the executable belongs to.
// Raises std::runtime_error as ExecutableDir does.
std::string ManualFile();

}  // namespace vexalo
