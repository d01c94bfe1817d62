#pragma once
// Loading the DLLs under test from the test program's own folder (all exes
// and DLLs of the win32 tree are built into build/win32/bin).
#include <windows.h>

#include <string>

namespace testdll {

// Folder of the running test program, with a trailing backslash.
std::string programFolder();

// Loads <programFolder>\<fileName>; LOAD_WITH_ALTERED_SEARCH_PATH makes the
// DLL's own imports (rmbe3260.dll for the plug-in) resolve beside it too.
// Null on failure.
HMODULE loadBesideProgram(const char* fileName);

// A loaded DLL that is freed when the scope ends; each load starts from the
// DLL's initial image (fresh statics, a new process attach).
class Library {
 public:
  explicit Library(const char* fileName) : module_(loadBesideProgram(fileName)) {}
  ~Library() {
    if (module_) FreeLibrary(module_);
  }
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  HMODULE module() const { return module_; }
  // The export `name` as a function pointer of type Fn; null if absent.
  template <typename Fn>
  Fn get(const char* name) const {
    return module_ ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module_, name)))
                   : nullptr;
  }

 private:
  HMODULE module_;
};

}  // namespace testdll
