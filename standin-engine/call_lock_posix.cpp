#include <mutex>

#include "standin-engine/call_lock.h"

namespace standin {
namespace {

// Never destroyed: threads may still call in while the process exits.
std::recursive_mutex& mutex() {
  static std::recursive_mutex* made = new std::recursive_mutex();
  return *made;
}

}  // namespace

void lockCalls() { mutex().lock(); }
void unlockCalls() { mutex().unlock(); }

}  // namespace standin
