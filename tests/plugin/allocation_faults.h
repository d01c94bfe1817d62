#pragma once
// A replacement for the global allocation operators of a test program, able
// to make one chosen allocation fail: the code under test is compiled into
// the test program, so its `new (std::nothrow)` lands here. Throwing forms
// throw std::bad_alloc when they are made to fail.
//
// Typical use: for n = 0, 1, 2 ... arm(n), run the operation, disarm(); stop
// once failedOne() stays false (the operation made fewer than n+1 allocations).
namespace allocation_faults {

// The allocation with index `n` (counting from 0 after this call) fails.
void arm(unsigned n);
void disarm();
// True when the armed allocation has been reached and failed.
bool failedOne();
// The size asked for by the allocation that was made to fail.
unsigned long failedSize();
// Allocations made since the last arm() (whether armed or not).
unsigned allocationsSinceArm();

// Arms for the duration of a scope.
class Scope {
public:
  explicit Scope(unsigned n) { arm(n); }
  ~Scope() { disarm(); }
  Scope(const Scope&) = delete;
  Scope& operator=(const Scope&) = delete;
};

}  // namespace allocation_faults
