#pragma once
// The plug-in's exports as the host sees them: C calling convention, looked
// up by their plain names in a loaded rmplugin.dll.
#include <windows.h>
#include <mmreg.h>

#include <cstdint>

#include "test_dll.h"

namespace pluginapi {

using CreateFn = void*(__cdecl*)(const char* fileName, int32_t* errorCode,
                                 const WAVEFORMATEX* inputFormat);
using BlockFn = int32_t(__cdecl*)(void* object, const void* data, uint32_t byteCount,
                                  uint32_t endOfStream, int32_t* errorCode);
using DeleteFn = void(__cdecl*)(void* object);
using ExtensionFn = char*(__cdecl*)(char* buffer);
using ShowFn = BOOL(__cdecl*)(HWND parent);
using RemoveFn = void(__cdecl*)();

constexpr const char* kDllName = "rmplugin.dll";

struct Exports {
  CreateFn create = nullptr;
  BlockFn block = nullptr;
  DeleteFn destroy = nullptr;
  ExtensionFn extension = nullptr;
  ShowFn show = nullptr;
  RemoveFn remove = nullptr;

  explicit Exports(const testdll::Library& library)
      : create(library.get<CreateFn>("CreateNewCompressionObject")),
        block(library.get<BlockFn>("ANewDataBlockArrived")),
        destroy(library.get<DeleteFn>("DeleteCompressionObject")),
        extension(library.get<ExtensionFn>("GetExtensionYouCreate")),
        show(library.get<ShowFn>("ShowConfigBit")),
        remove(library.get<RemoveFn>("RemoveConfigBit")) {}

  bool complete() const { return create && block && destroy && extension && show && remove; }
};

}  // namespace pluginapi
