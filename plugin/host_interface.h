#pragma once
// The host interface of an encoder plug-in, declared once for both sides:
// the plug-in defines the six functions (exports.cpp, library_entry.cpp, which
// check their definitions against these types), and every host finds them by
// their plain names (rmplugin.def) and calls them through pointers of these
// types. All six use the C calling convention.
// Host order: load; GetExtensionYouCreate; CreateNewCompressionObject; on
// error code 0 ANewDataBlockArrived per block and once with endOfStream set
// (the file is complete when that call reports 0); DeleteCompressionObject.
// ShowConfigBit / RemoveConfigBit at any time.
#include <windows.h>
#include <mmreg.h>  // WAVEFORMATEX

#include <cstdint>

// Opaque to hosts: they only pass the pointer back.
class CompressionObject;

extern "C" {

// Creates the encoder for one output file. `*errorCode` becomes 0, or 3 when
// the set-up failed (no format or no usable file name given, or the engine,
// the converters or memory refused); the object is returned either way and
// must be deleted, and after a 3 it takes no blocks. Null (and `*errorCode`
// untouched) only when there is no memory for the object itself.
typedef CompressionObject* __cdecl CreateNewCompressionObjectFunction(
    const char* fileName, int32_t* errorCode, const WAVEFORMATEX* inputFormat);

// Feeds `byteCount` bytes of PCM in the host's input format. `endOfStream`
// fills a 32-bit slot of which only the low byte is read; nonzero marks the
// last block, which has the engine complete the file once every byte has
// been delivered. `*errorCode` becomes 0, or 3 when:
// - the engine refused a chunk: that chunk and every byte after it wait and
//   are offered again by the next call (a repeated last block included);
// - the file was given up, because memory ran out (the block's audio would
//   be missing) or the engine kept refusing until more than five seconds of
//   audio from earlier blocks waited: this call and every later one report
//   3, and the file is never completed;
// - the engine could not complete the file at the last block;
// - bytes come after the file was completed, the object was not handed out
//   by this library or was deleted already, its creation failed, or `data`
//   is null with a nonzero `byteCount`.
// The result carries no meaning.
typedef int32_t __cdecl ANewDataBlockArrivedFunction(CompressionObject* object, const void* data,
                                                     uint32_t byteCount, uint32_t endOfStream,
                                                     int32_t* errorCode);

// Frees the object; a pointer this library did not hand out, or deleted
// already, null included, is ignored. Deletion completes nothing: a file that
// no last block completed (that block never came or reported 3, or the
// conversion was given up midway) is never completed, as its engine is
// released without being told to, which is to leave no file at all
// (engine/build_engine.h).
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
