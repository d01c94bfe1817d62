#pragma once

#include <cstdint>

// Where a path stands in its sequence of stage blocks: the part of its
// running state that decides how many frames the next block takes.
// Up-sampling: the frames held in the input buffer and the position on the
// stage-1 grid; down-sampling: the stuffing offset (in `position`).
struct BlockCursor {
  int framesHeld;
  int position;
};

// One direction of conversion as the driver sees it. A stage block takes
// frames from the stage context's inputBytes and emits bytes from its
// outputBytes (upsampling_path.h, downsampling_path.h).
class ConversionPath {
 public:
  virtual ~ConversionPath() = default;

  // The path's tables, its buffers and those of the stage context, and the
  // initial running state; false: out of memory.
  virtual bool make() = 0;

  virtual BlockCursor cursor() const = 0;
  // Frames the stage block at `cursor` takes.
  virtual int framesWanted(const BlockCursor& cursor) const = 0;
  // The cursor after one whole (not stream-finishing) stage block, by the
  // same rules the block applies to the running state.
  virtual void advance(BlockCursor& cursor) const = 0;
  // Runs one stage block on `framesRead` frames staged in inputBytes; the
  // rest up to `framesWanted` is silence. Returns the emitted byte count and
  // points outPointer at them.
  virtual int runBlock(uint8_t*& outPointer, bool endFlag, int framesWanted, int framesRead) = 0;
};
