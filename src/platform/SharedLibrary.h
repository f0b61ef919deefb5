#pragma once

#include <string>

namespace vexalo {

// A shared library opened when it is first needed instead of linked: a
// library and the dozens it pulls in cost every start-up milliseconds, even
// a run that never calls it. Never closed: the process keeps it, as it would
// a linked one.
class SharedLibrary {
 public:
  // Opens `soname` with every symbol resolved at once. Raises
  // std::runtime_error naming it when it cannot be opened.
  explicit SharedLibrary(const char* soname);

  // Sets `function` to the library's symbol `name` (a function of that
  // type). Raises std::runtime_error when the library lacks it.
  template <typename Function>
  void Bind(const char* name, Function& function) const {
    function = reinterpret_cast<Function>(Symbol(name));
  }

 private:
  void* Symbol(const char* name) const;

  std::string soname_;
  void* handle_;
};

}  // namespace vexalo
