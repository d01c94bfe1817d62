// empty_library.dll: a library with nothing of the plug-in, only what this
// toolchain links into every library (the C++ runtime), given back at unload
// as the plug-in gives it back. Loaded and freed beside the plug-in's own
// imports, it shows what any library of ours leaves per load.
#include <windows.h>

#include <string>

#include "plugin/cxx_runtime.h"

extern "C" __declspec(dllexport) size_t __cdecl EmptyLibraryNameLength(const char* name) {
  return std::string(name).size();  // links the runtime's strings and exceptions, as the plug-in does
}

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_DETACH && reserved == nullptr) releaseCxxRuntimeReserve();
  return TRUE;
}
