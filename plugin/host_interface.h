#pragma once
// The host interface of an encoder plug-in, declared once for both sides:
// the plug-in defines the six functions (exports.cpp, library_entry.cpp, which
// check their definitions against these types), and every host finds them by
// their plain names (rmplugin.def) and calls them through pointers of these
// types. All six use the C calling convention.
// Host order: load; GetExtensionYouCreate; CreateNewCompressionObject; on
// error code 0 ANewDataBlockArrived per block and once with endOfStream set;
// DeleteCompressionObject. ShowConfigBit / RemoveConfigBit at any time.
#include <windows.h>
#include <mmreg.h>  // WAVEFORMATEX

#include <cstdint>

// Opaque to hosts: they only pass the pointer back.
class CompressionObject;

extern "C" {

// Creates the encoder for one output file. `*errorCode` becomes 0, or 3 when
// the set-up failed; the object is returned either way and must be deleted.
// Null (and `*errorCode` untouched) only when the object cannot be allocated.
typedef CompressionObject* __cdecl CreateNewCompressionObjectFunction(
    const char* fileName, int32_t* errorCode, const WAVEFORMATEX* inputFormat);

// Feeds `byteCount` bytes of PCM in the host's input format. `endOfStream`
// fills a 32-bit slot of which only the low byte is read; nonzero marks the
// last block. `*errorCode` becomes 0, or 3 when the engine refused a chunk.
// The result carries no meaning.
typedef int32_t __cdecl ANewDataBlockArrivedFunction(CompressionObject* object, const void* data,
                                                     uint32_t byteCount, uint32_t endOfStream,
                                                     int32_t* errorCode);

// Finishes the file and frees the object; null is ignored.
typedef void __cdecl DeleteCompressionObjectFunction(CompressionObject* object);

// Copies the output extension with its NUL into `buffer` (260 bytes at most
// are written) and returns `buffer`.
typedef char* __cdecl GetExtensionYouCreateFunction(char* buffer);

// Embeds a settings panel in `parent` at (20, 34) of its client area.
typedef BOOL __cdecl ShowConfigBitFunction(HWND parent);

// Does nothing: the panel goes away with the host's window.
typedef void __cdecl RemoveConfigBitFunction(void);

// The exports themselves, for the plug-in's own definitions.
CreateNewCompressionObjectFunction CreateNewCompressionObject;
ANewDataBlockArrivedFunction ANewDataBlockArrived;
DeleteCompressionObjectFunction DeleteCompressionObject;
GetExtensionYouCreateFunction GetExtensionYouCreate;
ShowConfigBitFunction ShowConfigBit;
RemoveConfigBitFunction RemoveConfigBit;

}  // extern "C"
