#include "plugin/live_objects.h"

#include <algorithm>
#include <new>
#include <vector>

#include "windows/process_lock.h"

namespace {

// A host converts a few files at a time: a short list, searched whole.
std::vector<CompressionObject*> liveObjects;
ProcessLock liveObjectsLock;

// No spin: the lock is held for a search of a few entries only.
constexpr DWORD kSpinCount = 0;

std::vector<CompressionObject*>::iterator find(CompressionObject* object) {
  return std::find(liveObjects.begin(), liveObjects.end(), object);
}

}  // namespace

bool openLiveObjects() { return liveObjectsLock.open(kSpinCount); }

void closeLiveObjects() {
  std::vector<CompressionObject*>().swap(liveObjects);
  liveObjectsLock.close();
}

bool addLiveObject(CompressionObject* object) {
  ProcessLockHold hold(liveObjectsLock);
  try {
    liveObjects.push_back(object);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

bool removeLiveObject(CompressionObject* object) {
  ProcessLockHold hold(liveObjectsLock);
  auto found = find(object);
  if (found == liveObjects.end()) return false;
  *found = liveObjects.back();
  liveObjects.pop_back();
  return true;
}

bool isLiveObject(CompressionObject* object) {
  ProcessLockHold hold(liveObjectsLock);
  return find(object) != liveObjects.end();
}
