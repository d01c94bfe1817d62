#pragma once
// The sync frame's syntax: sync information, bit stream information and
// six audio blocks, for one or two full-bandwidth channels without coupling
// or a low-frequency channel.
#include <cstddef>
#include <cstdint>

#include "ac3/ac3_bit_allocation.h"
#include "ac3/ac3_exponents.h"
#include "ac3/ac3_mantissas.h"

namespace ac3 {

struct FrameLayout {
  int fscod = 0;
  int frmsizecod = 0;
  int bsid = 8;
  int channels = 2;
  size_t frameBytes = 0;
};

struct BlockSyntax {
  bool rematrixStrategy = false;
  bool rematrixFlags[kRematrixBands] = {};
  ExponentStrategy expStrategy[kMaxChannels] = {};
  const CodedExponents* exponents[kMaxChannels] = {};  // when not kReuse
  const BlockMantissas* mantissas = nullptr;           // ignored when counting
};

struct FrameSyntax {
  FrameLayout layout;
  BitAllocationParams params;
  int bandwidthCode = 0;
  int snrCombined = 0;  // csnroffst * 16 + fsnroffst
  BlockSyntax blocks[kBlocksPerFrame];
};

// Bits the frame's fields take apart from the mantissas, including the
// closing flags and crc2.
int frameSideBits(const FrameSyntax& frame);

// Writes the whole frame (layout.frameBytes bytes) with both CRCs; the
// bits between the last mantissa and the closing fields stay zero.
void writeFrame(const FrameSyntax& frame, uint8_t* out);

}  // namespace ac3
