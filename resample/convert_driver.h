#pragma once

#include <cstdint>
#include <memory>

#include "fifo/byte_fifo.h"
#include "resample/conversion_path.h"
#include "resample/converter_plan.h"
#include "resample/pcm_format.h"
#include "resample/stage_context.h"

// What a configured SampleRateConverter runs: the stage context, the path of
// the design's direction working in it, and the input bytes no stage block
// has taken yet. convertBlock cuts the pending bytes plus the host's new
// block into stage blocks, runs the path on each and collects what it emits.
class ConversionDriver {
 public:
  // Allocates nothing; make does.
  ConversionDriver(const ConverterPlan& plan, const PcmFormat& input);
  ConversionDriver(const ConversionDriver&) = delete;
  ConversionDriver& operator=(const ConversionDriver&) = delete;

  // The path with its tables, every block buffer and the shared filters;
  // false: out of memory.
  bool make();

  // SampleRateConverter::convertBlock on a configured converter.
  bool convertBlock(const uint8_t* data, uint32_t& byteCount, bool endFlag, uint8_t*& output);

  const ConverterDesign& design() const { return stages.plan().design; }
  uint64_t framesIn() const { return stages.framesIn(); }
  uint64_t framesOut() const { return stages.framesOut(); }

 private:
  // Tests only: the stage context (tests/resample/converter_probe.h).
  friend struct ConverterTuning;

  // What one convertBlock call will do, worked out before it changes anything.
  struct CallPlan {
    uint64_t consumedFrames;  // frames the call's stage blocks read
    uint64_t resultCapacity;  // bytes, at least what the call emits
    uint64_t leftoverBytes;   // bytes that stay pending after the call
    bool leftoverChanges;     // false: pendingInput stays as it is
  };

  // The output of one convertBlock call, new[]-allocated.
  struct CallResult {
    uint8_t* bytes;
    uint64_t capacity;
    uint64_t length;
  };

  CallPlan planCall(uint64_t callBytes, uint32_t newBytes, bool endFlag) const;
  void copyCallInput(uint8_t* destination, uint64_t offset, uint64_t byteCount) const;
  bool runStageBlocks(uint64_t consumedFrames, bool endFlag, CallResult& result);
  bool runStageBlock(int wanted, int framesRead, bool endFlag, uint64_t& offset, CallResult& result);
  bool appendOutput(CallResult& result, const uint8_t* bytes, int count);

  // The path works in the stage context, so it is declared after it (and
  // destroyed before it).
  StageContext stages;
  std::unique_ptr<ConversionPath> path;
  ByteFifo pendingInput;

  // The bytes of the current call (pending, then new) read in place.
  const uint8_t* callPending = nullptr;
  uint64_t callPendingBytes = 0;
  const uint8_t* callData = nullptr;
};
