#include "tests/plugin/allocation_faults.h"

#include <cstdlib>
#include <new>

namespace {

bool armed = false;
bool failed = false;
unsigned failAt = 0;
unsigned counted = 0;
std::size_t sizeOfFailed = 0;

// True when this allocation is the one to fail.
bool shouldFail(std::size_t size) {
  unsigned index = counted++;
  if (!armed || index != failAt) return false;
  failed = true;
  sizeOfFailed = size;
  return true;
}

void* allocate(std::size_t size) { return std::malloc(size == 0 ? 1 : size); }

}  // namespace

namespace allocation_faults {

void arm(unsigned n) {
  armed = true;
  failed = false;
  failAt = n;
  counted = 0;
}

void disarm() { armed = false; }
bool failedOne() { return failed; }
unsigned long failedSize() { return (unsigned long)sizeOfFailed; }
unsigned allocationsSinceArm() { return counted; }

}  // namespace allocation_faults

void* operator new(std::size_t size) {
  if (shouldFail(size)) throw std::bad_alloc();
  void* p = allocate(size);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return shouldFail(size) ? nullptr : allocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return shouldFail(size) ? nullptr : allocate(size);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
