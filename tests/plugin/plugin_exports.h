#pragma once
// The plug-in's exports as a host sees them (host_interface.h), looked up by
// their plain names in a loaded rmplugin.dll.
#include "plugin/host_interface.h"
#include "tests/win32_support/test_dll.h"

namespace pluginapi {

constexpr const char* kDllName = "rmplugin.dll";

struct Exports {
  CreateNewCompressionObjectFunction* create = nullptr;
  ANewDataBlockArrivedFunction* block = nullptr;
  DeleteCompressionObjectFunction* destroy = nullptr;
  GetExtensionYouCreateFunction* extension = nullptr;
  ShowConfigBitFunction* show = nullptr;
  RemoveConfigBitFunction* remove = nullptr;

  explicit Exports(const testdll::Library& library)
      : create(library.get<CreateNewCompressionObjectFunction*>("CreateNewCompressionObject")),
        block(library.get<ANewDataBlockArrivedFunction*>("ANewDataBlockArrived")),
        destroy(library.get<DeleteCompressionObjectFunction*>("DeleteCompressionObject")),
        extension(library.get<GetExtensionYouCreateFunction*>("GetExtensionYouCreate")),
        show(library.get<ShowConfigBitFunction*>("ShowConfigBit")),
        remove(library.get<RemoveConfigBitFunction*>("RemoveConfigBit")) {}

  bool complete() const { return create && block && destroy && extension && show && remove; }
};

}  // namespace pluginapi
