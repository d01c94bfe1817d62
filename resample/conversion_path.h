#pragma once

#include <cstdint>

#include "resample/stage_context.h"

// Where a path stands in its sequence of stage blocks: the part of its
// running state that decides how many frames the next block takes.
// Up-sampling reads the first two, down-sampling the last.
struct BlockCursor {
  int framesHeld;      // frames in the input buffer, history included
  int gridPosition;    // of the interpolator's next output on the polyphase grid
  int stuffingOffset;  // where the next block's first input frame lands
};

// The polyphase row of output i of a cycle whose outputs lie `step` grid
// positions apart: the phase that puts the output on the input grid.
inline int polyphaseRow(int64_t i, int64_t step, int phases) {
  const int row = int(phases - (i * step) % phases);
  return row == phases ? 0 : row;
}

// One direction of conversion as the driver sees it (upsampling_path.h,
// downsampling_path.h). A path works in the stage context it is made with:
// a stage block takes the frames staged in its rawInput and emits through
// its emit.
class ConversionPath {
 public:
  // `stages` outlives the path.
  explicit ConversionPath(StageContext& stages) : stages(stages), plan(stages.plan()), design(plan.design) {}
  virtual ~ConversionPath() = default;
  ConversionPath(const ConversionPath&) = delete;
  ConversionPath& operator=(const ConversionPath&) = delete;

  // The path's tables, its buffers and those of the stage context, and the
  // initial running state; false: out of memory.
  virtual bool make() = 0;

  virtual BlockCursor cursor() const = 0;
  // Frames the stage block at `cursor` takes.
  virtual int framesWanted(const BlockCursor& cursor) const = 0;
  // The cursor after one whole (not stream-finishing) stage block, by the
  // same rules the block applies to the running state.
  virtual void advance(BlockCursor& cursor) const = 0;
  // Runs one stage block on `framesRead` frames staged in rawInput; the
  // rest up to `framesWanted` is silence. Returns the emitted byte count and
  // points outPointer at them.
  virtual int runBlock(uint8_t*& outPointer, bool endFlag, int framesWanted, int framesRead) = 0;

 protected:
  // The context both paths work in, its plan and the plan's design.
  StageContext& stages;
  const ConverterPlan& plan;
  const ConverterDesign& design;
};
