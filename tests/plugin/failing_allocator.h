#pragma once

// Replaces the array allocation operators of a test program so that a
// chosen non-throwing array allocation fails (returns null). Link
// failing_allocator.cpp into the test program only.
namespace failing_allocator {

// Makes the n-th following nothrow array allocation fail (1 = the next one);
// 0 disarms. Also restarts the count.
void failNth(int n);

// Nothrow array allocations since the last failNth.
int allocationsSinceArmed();

}  // namespace failing_allocator
