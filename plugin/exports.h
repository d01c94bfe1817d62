#pragma once
// The plug-in's whole outside surface: six functions with the C calling
// convention, exported under these undecorated names (rmplugin.def).
// Host order: load; GetExtensionYouCreate; CreateNewCompressionObject; on
// error code 0 ANewDataBlockArrived per block and once with endOfStream set;
// DeleteCompressionObject. ShowConfigBit / RemoveConfigBit at any time.
#include <windows.h>
#include <mmreg.h>  // WAVEFORMATEX

#include <cstdint>

class CompressionObject;

extern "C" {

// Creates the encoder for one output file. `*errorCode` becomes 0, or 3 when
// the set-up failed; the object is returned either way and must be deleted.
// Null (and `*errorCode` untouched) only when the object cannot be allocated.
CompressionObject* __cdecl CreateNewCompressionObject(const char* fileName, int32_t* errorCode,
                                                      const WAVEFORMATEX* inputFormat);

// Feeds `byteCount` bytes of PCM in the host's input format. Only the low byte
// of the 32-bit `endOfStream` slot is read; nonzero marks the last block.
// `*errorCode` becomes 0, or 3 when the engine refused a chunk. The result
// carries no meaning.
int32_t __cdecl ANewDataBlockArrived(CompressionObject* object, const void* data,
                                     uint32_t byteCount, uint32_t endOfStream,
                                     int32_t* errorCode);

// Finishes the file and frees the object; null is ignored.
void __cdecl DeleteCompressionObject(CompressionObject* object);

// Copies the output extension with its NUL into `buffer` (260 bytes at most
// are written) and returns `buffer`.
char* __cdecl GetExtensionYouCreate(char* buffer);

// Embeds a settings panel in `parent` at (20, 34) of its client area.
BOOL __cdecl ShowConfigBit(HWND parent);

// Does nothing: the panel goes away with the host's window.
void __cdecl RemoveConfigBit(void);

}  // extern "C"
