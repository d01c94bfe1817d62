#include "tests/win32_support/process_usage.h"

#include <vector>

namespace processusage {

namespace {

// Handle values are multiples of 4, handed out lowest free first: the scan
// ends after this long a stretch of values that name nothing.
constexpr uintptr_t kUnusedStretch = 0x4000;

int64_t openHandles() {
  int64_t count = 0;
  DWORD flags = 0;
  for (uintptr_t value = 4, highest = 0; value < highest + kUnusedStretch; value += 4) {
    if (!GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) continue;
    ++count;
    highest = value;
  }
  return count;
}

int64_t busyBytes(HANDLE heap) {
  int64_t bytes = 0;
  if (!HeapLock(heap)) return 0;
  PROCESS_HEAP_ENTRY entry = {};
  while (HeapWalk(heap, &entry)) {
    if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) bytes += entry.cbData;
  }
  HeapUnlock(heap);
  return bytes;
}

int64_t heapBytes() {
  std::vector<HANDLE> heaps(GetProcessHeaps(0, nullptr) + 16);
  heaps.resize(GetProcessHeaps(DWORD(heaps.size()), heaps.data()));
  int64_t bytes = 0;
  for (HANDLE heap : heaps) bytes += busyBytes(heap);
  return bytes;
}

int64_t committedPrivateBytes() {
  SYSTEM_INFO system;
  GetSystemInfo(&system);
  int64_t bytes = 0;
  MEMORY_BASIC_INFORMATION region;
  auto* address = static_cast<char*>(system.lpMinimumApplicationAddress);
  while (address < system.lpMaximumApplicationAddress && VirtualQuery(address, &region, sizeof region) != 0) {
    if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) bytes += int64_t(region.RegionSize);
    address = static_cast<char*>(region.BaseAddress) + region.RegionSize;
  }
  return bytes;
}

}  // namespace

Usage now() {
  Usage usage;
  usage.handles = openHandles();
  usage.heapBytes = heapBytes();
  usage.privateBytes = committedPrivateBytes();
  return usage;
}

}  // namespace processusage
