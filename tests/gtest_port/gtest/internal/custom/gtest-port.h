// GoogleTest port customisation for the win32 build (found before the stock
// empty one through the include path).
//
// The toolchain's win32 thread model has no std::mutex or
// std::condition_variable, which GoogleTest's stock Notification is built on.
// Notification only serves GoogleTest's own threading helpers; this one waits
// by polling a flag, which is all they need.
#ifndef RMP_GTEST_CUSTOM_PORT_H_
#define RMP_GTEST_CUSTOM_PORT_H_

#if defined(__MINGW32__)
#define GTEST_HAS_NOTIFICATION_ 1

namespace testing {
namespace internal {

class Notification {
 public:
  Notification() = default;
  Notification(const Notification&) = delete;
  Notification& operator=(const Notification&) = delete;

  void Notify() { __atomic_store_n(&notified_, true, __ATOMIC_RELEASE); }
  void WaitForNotification() {
    while (!__atomic_load_n(&notified_, __ATOMIC_ACQUIRE)) __builtin_ia32_pause();
  }

 private:
  bool notified_ = false;
};

}  // namespace internal
}  // namespace testing
#endif  // __MINGW32__

#endif  // RMP_GTEST_CUSTOM_PORT_H_
