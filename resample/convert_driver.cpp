// Per-block driver: cuts the pending bytes plus the host's new block into
// stage blocks, runs the converter's path (up- or down-sampling) on each and
// collects what it emits.
//
// Every allocation of a call (the result and the new leftover) is made
// before the first stage block runs, from a plan of the stage blocks the
// call will convert; so a call either does all its work or, when memory ran
// out, none of it. The stage blocks are read straight from the pending
// bytes and the new block, which is the same as reading them from the two
// joined into one buffer.

#include "resample/convert_driver.h"

#include <algorithm>
#include <cassert>
#include <climits>
#include <cmath>
#include <cstring>
#include <new>

#include "resample/downsampling_path.h"
#include "resample/upsampling_path.h"

namespace {
// Stage blocks that may follow the input on the end-flagged call, all
// padding, until the stream reaches its length. A few suffice, as each
// block covers at least the delay; this only bounds a broken stage.
constexpr int kMaxFlushBlocks = 64;
}  // namespace

ConversionDriver::ConversionDriver(const ConverterPlan& plan, const PcmFormat& input) : stages(plan, input) {}

bool ConversionDriver::make() {
  if (stages.plan().design.upsampling) {
    path.reset(new (std::nothrow) UpsamplingPath(stages));
  } else {
    path.reset(new (std::nothrow) DownsamplingPath(stages));
  }
  return path != nullptr && path->make() && stages.shareFilters();
}

// Copies `byteCount` bytes from `offset` of this call's input, the pending
// bytes followed by the new block.
void ConversionDriver::copyCallInput(uint8_t* destination, uint64_t offset, uint64_t byteCount) const {
  if (offset < callPendingBytes) {
    const uint64_t fromPending = std::min(byteCount, callPendingBytes - offset);
    std::memcpy(destination, callPending + offset, size_t(fromPending));
    destination += fromPending;
    byteCount -= fromPending;
    offset += fromPending;
  }
  if (byteCount > 0) std::memcpy(destination, callData + (offset - callPendingBytes), size_t(byteCount));
}

// Without the end flag only whole stage blocks are converted; with it every
// whole frame, then padding blocks until the stream has its full length, so
// that call's output is exactly what the stream still lacks.
ConversionDriver::CallPlan ConversionDriver::planCall(uint64_t callBytes, uint32_t newBytes, bool endFlag) const {
  const uint64_t frameBytes = uint64_t(stages.frameBytes());
  const uint64_t callFrames = callBytes / frameBytes;
  CallPlan plan{};
  uint64_t resultFrames = 0;
  if (endFlag) {
    plan.consumedFrames = callFrames;
    const uint64_t target = stages.targetFrames(stages.framesIn() + callFrames);
    resultFrames = target > stages.framesOut() ? target - stages.framesOut() : 0;
  } else {
    BlockCursor cursor = path->cursor();
    uint64_t blocks = 0;
    for (int wanted = path->framesWanted(cursor); wanted > 0 && plan.consumedFrames + uint64_t(wanted) <= callFrames;
         wanted = path->framesWanted(cursor)) {
      plan.consumedFrames += uint64_t(wanted);
      ++blocks;
      path->advance(cursor);
    }
    resultFrames = blocks * uint64_t(stages.plan().maxBlockOutputFrames);
  }
  plan.resultCapacity = resultFrames * frameBytes;
  plan.leftoverBytes = callBytes - plan.consumedFrames * frameBytes;
  plan.leftoverChanges = plan.consumedFrames != 0 || newBytes != 0;
  return plan;
}

// Appends a stage block's emitted bytes (they live in outputBytes and are
// overwritten by the next stage block). The result was sized by the plan; the
// growth path only guards a plan that fell short.
bool ConversionDriver::appendOutput(CallResult& result, const uint8_t* bytes, int count) {
  if (result.length + uint64_t(count) > result.capacity) {
    assert(!"stage emitted more than planned");
    const uint64_t grown = std::max(result.capacity * 2, result.length + uint64_t(count));
    uint8_t* larger = grown <= UINT32_MAX ? new (std::nothrow) uint8_t[size_t(grown)] : nullptr;
    if (larger == nullptr) return false;
    if (result.length != 0) std::memcpy(larger, result.bytes, size_t(result.length));
    delete[] result.bytes;
    result.bytes = larger;
    result.capacity = grown;
  }
  std::memcpy(result.bytes + result.length, bytes, size_t(count));
  result.length += uint64_t(count);
  return true;
}

// Stages `framesRead` frames of the call's input and runs one stage block.
bool ConversionDriver::runStageBlock(int wanted, int framesRead, bool endFlag, uint64_t& offset, CallResult& result) {
  const uint64_t bytes = uint64_t(framesRead) * uint64_t(stages.frameBytes());
  copyCallInput(stages.rawInput(), offset, bytes);
  offset += bytes;
  uint8_t* emitted = nullptr;
  const int count = path->runBlock(emitted, endFlag, wanted, framesRead);
  return count <= 0 || appendOutput(result, emitted, count);
}

// Runs the planned stage blocks: the consumed frames in blocks of the
// path's size, the last one short only on the end-flagged call, then on
// that call padding blocks until the stream is finished.
bool ConversionDriver::runStageBlocks(uint64_t consumedFrames, bool endFlag, CallResult& result) {
  bool appended = true;
  uint64_t offset = 0;
  for (uint64_t framesLeft = consumedFrames; framesLeft > 0 && !stages.finished();) {
    const int wanted = path->framesWanted(path->cursor());
    if (wanted <= 0) break;
    const int framesRead = int(std::min<uint64_t>(uint64_t(wanted), framesLeft));
    assert(endFlag || framesRead == wanted);
    framesLeft -= uint64_t(framesRead);
    appended = runStageBlock(wanted, framesRead, endFlag, offset, result) && appended;
  }
  for (int flush = 0; endFlag && !stages.finished() && flush < kMaxFlushBlocks; ++flush) {
    const int wanted = path->framesWanted(path->cursor());
    if (wanted <= 0) break;
    appended = runStageBlock(wanted, 0, endFlag, offset, result) && appended;
  }
  return appended;
}

bool ConversionDriver::convertBlock(const uint8_t* data, uint32_t& byteCount, bool endFlag, uint8_t*& output) {
  output = nullptr;
  const uint32_t newBytes = byteCount;
  byteCount = 0;
  // The stream already ended: nothing is converted.
  if (stages.finished()) return true;
  const uint64_t callBytes = uint64_t(pendingInput.size()) + newBytes;
  if (callBytes > UINT32_MAX) return false;  // a leftover that long could not be held
  const CallPlan plan = planCall(callBytes, newBytes, endFlag);
  if (plan.resultCapacity > UINT32_MAX) return false;

  // Every allocation before the first stage block: a failure leaves the
  // converter exactly as it was.
  callPending = pendingInput.data();
  callPendingBytes = pendingInput.size();
  callData = data;
  CallResult result{nullptr, plan.resultCapacity, 0};
  uint8_t* leftover = nullptr;
  bool allocated = true;
  if (plan.resultCapacity != 0) {
    result.bytes = new (std::nothrow) uint8_t[size_t(plan.resultCapacity)];
    allocated = result.bytes != nullptr;
  }
  if (allocated && plan.leftoverChanges && plan.leftoverBytes != 0) {
    leftover = new (std::nothrow) uint8_t[size_t(plan.leftoverBytes)];
    allocated = leftover != nullptr;
    if (allocated) copyCallInput(leftover, callBytes - plan.leftoverBytes, plan.leftoverBytes);
  }

  bool appended = false;
  if (allocated) {
    appended = runStageBlocks(plan.consumedFrames, endFlag, result);
    if (plan.leftoverChanges) pendingInput.adopt(leftover, uint32_t(plan.leftoverBytes));
  } else {
    delete[] result.bytes;
    result = CallResult{nullptr, 0, 0};
  }
  callPending = nullptr;
  callPendingBytes = 0;
  callData = nullptr;

  if (result.length == 0) {
    delete[] result.bytes;
  } else {
    output = result.bytes;
    byteCount = uint32_t(result.length);
  }
  return allocated && appended;
}
