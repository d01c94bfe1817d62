#include "tests/plugin/failing_allocator.h"

#include <cstdlib>
#include <new>

namespace {
int countdown = 0;
int counted = 0;
}  // namespace

namespace failing_allocator {
void failNth(int n) {
  countdown = n;
  counted = 0;
}
int allocationsSinceArmed() { return counted; }
}  // namespace failing_allocator

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  ++counted;
  if (countdown > 0 && --countdown == 0) return nullptr;
  return std::malloc(size != 0 ? size : 1);
}

void* operator new[](std::size_t size) {
  void* p = std::malloc(size != 0 ? size : 1);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

void operator delete[](void* p) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
