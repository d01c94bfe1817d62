#pragma once
// The compression objects this library handed out and has not deleted yet.
// The host passes object pointers back through the C boundary: one it never
// got from us, or one it deleted already, must fail the call (error code 3)
// or be ignored (deletion), never be used on the heap.
class CompressionObject;

// Makes the set's lock (process attach). False when Windows had no memory.
bool openLiveObjects();
// Frees the lock and the set's storage once no export can run any more
// (library unload). Objects the host never deleted are not touched.
void closeLiveObjects();

// False when there was no memory to note it: the object must not be handed out.
bool addLiveObject(CompressionObject* object);
// False when `object` is not live: nothing was removed.
bool removeLiveObject(CompressionObject* object);
bool isLiveObject(CompressionObject* object);
