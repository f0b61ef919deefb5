#include "platform/SharedLibrary.h"

#include <dlfcn.h>

#include <stdexcept>

namespace vexalo {

SharedLibrary::SharedLibrary(const char* soname)
    : soname_(soname), handle_(dlopen(soname, RTLD_NOW | RTLD_LOCAL)) {
  if (handle_ == nullptr) throw std::runtime_error(soname_ + " cannot be loaded: " + dlerror());
}

void* SharedLibrary::Symbol(const char* name) const {
  void* symbol = dlsym(handle_, name);
  if (symbol == nullptr) throw std::runtime_error(soname_ + " lacks " + name);
  return symbol;
}

}  // namespace vexalo
