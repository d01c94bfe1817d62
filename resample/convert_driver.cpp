// Per-block driver: cuts the pending bytes plus the host's new block into
// stage blocks, runs the stage on each and collects what it emits.
//
// Every allocation of a call (the result and the new leftover) is made
// before the first stage block runs, from a plan of the stage blocks the
// call will convert; so a call either does all its work or, when memory ran
// out, none of it. The stage blocks are read straight from the pending
// bytes and the new block, which is the same as reading them from the two
// joined into one buffer.

#include <algorithm>
#include <cassert>
#include <climits>
#include <cmath>
#include <cstring>
#include <new>

#include "sample_rate_converter.h"

namespace {
// Stage blocks that may follow the input on the end-flagged call, all
// padding, until the stream reaches its length. A few suffice, as each
// block covers at least the delay; this only bounds a broken stage.
constexpr int kMaxFlushBlocks = 64;
}  // namespace

SampleRateConverter::BlockCursor SampleRateConverter::currentCursor() const {
  return BlockCursor{inputFill, stage1Position, stuffingOffset};
}

// Up-sampling: the block fills inputSamples to the frames that fftHop
// intermediate samples need, floor(hop * in / (out * q)) + 1 + T.
// Down-sampling: the stuffing positions offset, offset + q, ... below fftHop.
int SampleRateConverter::framesWanted(const BlockCursor& cursor) const {
  if (upsampling) {
    const double needed = std::floor(double(fftHop) * inputRate / (outputRate * oversampling)) + 1.0 +
                          stage1TapsPerPhase - cursor.inputFill;
    return int(needed);
  }
  return (fftHop - cursor.stuffingOffset - 1) / oversampling + 1;
}

// The cursor after one whole (not stream-finishing) stage block, by the
// same rules the stages apply to their running state.
void SampleRateConverter::advanceCursor(BlockCursor& cursor) const {
  if (upsampling) {
    const int filled = cursor.inputFill + framesWanted(cursor);
    const int position = cursor.stage1Position + stage1AdvancePerBlock();
    const int shift = stage1ShiftFrames(position);
    cursor.inputFill = filled - shift;
    cursor.stage1Position = position - shift * stage1Phases;
  } else {
    cursor.stuffingOffset = nextStuffingOffset(cursor.stuffingOffset);
  }
}

// An upper bound of the frames one stage block makes.
int SampleRateConverter::maxFramesPerBlock() const {
  if (upsampling) return fftHop / oversampling + 1;
  // Outputs are outputRate / stage1Rate apart on the filtered samples; the
  // window runs over fftHop + 1 of them.
  const int64_t bound = (int64_t(fftHop) + 1) * outputRate / (int64_t(inputRate) * oversampling) + 2;
  const int64_t capacity = int64_t(channels * (double(fftHop) * inputRate / outputRate + 1.0)) / channels;
  return int(std::min(bound, capacity));
}

uint64_t SampleRateConverter::targetFrames(uint64_t inputFrames) const {
  return uint64_t(std::floor(double(inputFrames) * outputRate / inputRate)) + 2;
}

void SampleRateConverter::copyStagedInput(uint64_t offset, uint64_t byteCount) {
  uint8_t* destination = inputBytes.get();
  if (offset < callPendingBytes) {
    const uint64_t fromPending = std::min(byteCount, callPendingBytes - offset);
    std::memcpy(destination, callPending + offset, size_t(fromPending));
    destination += fromPending;
    byteCount -= fromPending;
    offset += fromPending;
  }
  if (byteCount > 0) std::memcpy(destination, callData + (offset - callPendingBytes), size_t(byteCount));
}

// Appends a stage's emitted bytes (they live in outputBytes and are
// overwritten by the next stage call). The result was sized by the plan; the
// growth path only guards a plan that fell short.
bool SampleRateConverter::appendOutput(uint8_t*& result, uint64_t& capacity, uint64_t& length,
                                       const uint8_t* bytes, int count) {
  if (length + uint64_t(count) > capacity) {
    assert(!"stage emitted more than planned");
    const uint64_t grown = std::max(capacity * 2, length + uint64_t(count));
    uint8_t* larger = grown <= UINT32_MAX ? new (std::nothrow) uint8_t[size_t(grown)] : nullptr;
    if (larger == nullptr) return false;
    if (length != 0) std::memcpy(larger, result, size_t(length));
    delete[] result;
    result = larger;
    capacity = grown;
  }
  std::memcpy(result + length, bytes, size_t(count));
  length += uint64_t(count);
  return true;
}

bool SampleRateConverter::convertBlock(const uint8_t* data, uint32_t& byteCount, bool endFlag, uint8_t*& output) {
  output = nullptr;
  const uint32_t newBytes = byteCount;
  byteCount = 0;
  // Unconfigured, or the stream already ended: nothing is converted.
  if (!configured || streamFinished) return true;

  const uint64_t frameBytes = uint64_t(channels) * inputBytesPerSample;
  const uint64_t totalBytes = uint64_t(pendingInput.size()) + newBytes;
  if (totalBytes > UINT32_MAX) return false;  // the leftover could not be held
  const uint64_t totalFrames = totalBytes / frameBytes;

  // Plan: without the end flag only whole stage blocks are converted; with
  // it every whole frame, then padding blocks until the stream is complete.
  uint64_t consumedFrames = 0;
  uint64_t capacityFrames = 0;
  if (endFlag) {
    consumedFrames = totalFrames;
    const uint64_t target = targetFrames(framesInCount + consumedFrames);
    capacityFrames = target > framesOutCount ? target - framesOutCount : 0;
  } else {
    BlockCursor cursor = currentCursor();
    uint64_t blocks = 0;
    for (int wanted = framesWanted(cursor); wanted > 0 && consumedFrames + uint64_t(wanted) <= totalFrames;
         wanted = framesWanted(cursor)) {
      consumedFrames += uint64_t(wanted);
      ++blocks;
      advanceCursor(cursor);
    }
    capacityFrames = blocks * uint64_t(maxFramesPerBlock());
  }
  const uint64_t outputFrameBytes = uint64_t(channels) * outputBytesPerSample;
  uint64_t capacity = capacityFrames * outputFrameBytes;
  if (capacity > UINT32_MAX) return false;
  const uint64_t leftoverBytes = totalBytes - consumedFrames * frameBytes;
  const bool leftoverChanges = consumedFrames != 0 || newBytes != 0;

  uint8_t* result = nullptr;
  if (capacity != 0) {
    result = new (std::nothrow) uint8_t[size_t(capacity)];
    if (result == nullptr) return false;
  }
  callPending = pendingInput.data();
  callPendingBytes = pendingInput.size();
  callData = data;
  uint8_t* leftover = nullptr;
  if (leftoverChanges && leftoverBytes != 0) {
    leftover = new (std::nothrow) uint8_t[size_t(leftoverBytes)];
    if (leftover == nullptr) {
      delete[] result;
      return false;
    }
    // The leftover is the tail of pending bytes + new block.
    const uint64_t from = totalBytes - leftoverBytes;
    if (from < callPendingBytes) {
      const uint64_t fromPending = callPendingBytes - from;
      std::memcpy(leftover, callPending + from, size_t(fromPending));
      if (newBytes != 0) std::memcpy(leftover + fromPending, data, newBytes);
    } else {
      std::memcpy(leftover, data + (from - callPendingBytes), size_t(leftoverBytes));
    }
  }

  // Run: nothing below can fail.
  uint64_t resultLength = 0;
  uint64_t offset = 0;
  uint64_t framesLeft = consumedFrames;
  bool grew = true;
  auto runStageBlock = [&](int wanted, int read) {
    copyStagedInput(offset, uint64_t(read) * frameBytes);
    offset += uint64_t(read) * frameBytes;
    uint8_t* emitted = nullptr;
    const int count = upsampling ? upsampleBlock(emitted, endFlag, wanted, read) : downsampleBlock(emitted, endFlag, read);
    if (count > 0) grew = appendOutput(result, capacity, resultLength, emitted, count) && grew;
  };
  while (framesLeft > 0 && !streamFinished) {
    const int wanted = framesWanted(currentCursor());
    if (wanted <= 0) break;
    const int read = int(std::min<uint64_t>(uint64_t(wanted), framesLeft));
    assert(endFlag || read == wanted);
    framesLeft -= uint64_t(read);
    runStageBlock(wanted, read);
  }
  for (int flush = 0; endFlag && !streamFinished && flush < kMaxFlushBlocks; ++flush) {
    const int wanted = framesWanted(currentCursor());
    if (wanted <= 0) break;
    runStageBlock(wanted, 0);
  }
  if (leftoverChanges) pendingInput.adopt(leftover, uint32_t(leftoverBytes));
  callPending = nullptr;
  callPendingBytes = 0;
  callData = nullptr;

  if (resultLength == 0) {
    delete[] result;
    return grew;
  }
  output = result;
  byteCount = uint32_t(resultLength);
  return grew;
}
