#include "ac3/ac3_frame.h"

#include "ac3/ac3_bit_writer.h"

namespace ac3 {

namespace {

// Adds up field widths: the same syntax walk then sizes and writes a frame.
class BitCounter {
 public:
  void put(uint32_t, int count) { bits += count; }
  int bits = 0;
};

constexpr int kClosingBits = 1 + 1 + 16;  // auxdatae, crcrsv, crc2
constexpr int kDialogNormalization = 31;  // -31 dB: the decoder leaves the level alone

template <typename Sink>
void putHeader(const FrameSyntax& frame, Sink& sink) {
  const FrameLayout& layout = frame.layout;
  sink.put(0x0b77, 16);
  sink.put(0, 16);  // crc1, filled in when the frame is sealed
  sink.put(static_cast<uint32_t>(layout.fscod), 2);
  sink.put(static_cast<uint32_t>(layout.frmsizecod), 6);
  sink.put(static_cast<uint32_t>(layout.bsid), 5);
  sink.put(0, 3);  // bsmod: main audio service
  const bool stereo = layout.channels == 2;
  sink.put(stereo ? 2 : 1, 3);  // acmod
  if (stereo) sink.put(0, 2);   // dsurmod: not indicated
  sink.put(0, 1);               // lfeon
  sink.put(kDialogNormalization, 5);
  sink.put(0, 1);  // compre
  sink.put(0, 1);  // langcode
  sink.put(0, 1);  // audprodie
  sink.put(0, 1);  // copyrightb
  sink.put(1, 1);  // origbs
  sink.put(0, 1);  // timecod1e
  sink.put(0, 1);  // timecod2e
  sink.put(0, 1);  // addbsie
}

template <typename Sink>
void putExponents(const FrameSyntax& frame, const BlockSyntax& block, Sink& sink) {
  const int channels = frame.layout.channels;
  for (int ch = 0; ch < channels; ++ch) sink.put(block.expStrategy[ch], 2);
  for (int ch = 0; ch < channels; ++ch) {
    if (block.expStrategy[ch] != kReuse) sink.put(static_cast<uint32_t>(frame.bandwidthCode), 6);
  }
  for (int ch = 0; ch < channels; ++ch) {
    if (block.expStrategy[ch] == kReuse) continue;
    const CodedExponents& exps = *block.exponents[ch];
    sink.put(exps.first, 4);
    for (int g = 0; g < exps.groupCount; ++g) sink.put(exps.groups[g], 7);
    sink.put(0, 2);  // gainrng
  }
}

template <typename Sink>
void putBitAllocation(const FrameSyntax& frame, bool first, Sink& sink) {
  const BitAllocationParams& p = frame.params;
  sink.put(first, 1);  // baie
  if (first) {
    sink.put(static_cast<uint32_t>(p.slowDecayCode), 2);
    sink.put(static_cast<uint32_t>(p.fastDecayCode), 2);
    sink.put(static_cast<uint32_t>(p.slowGainCode), 2);
    sink.put(static_cast<uint32_t>(p.dbPerBitCode), 2);
    sink.put(static_cast<uint32_t>(p.floorCode), 3);
  }
  sink.put(first, 1);  // snroffste
  if (first) {
    sink.put(static_cast<uint32_t>(frame.snrCombined >> 4), 6);
    for (int ch = 0; ch < frame.layout.channels; ++ch) {
      sink.put(static_cast<uint32_t>(frame.snrCombined & 15), 4);
      sink.put(static_cast<uint32_t>(p.fastGainCode), 3);
    }
  }
  sink.put(0, 1);  // deltbaie
  sink.put(0, 1);  // skiple
}

template <typename Sink>
void putBlockSide(const FrameSyntax& frame, int index, Sink& sink) {
  const BlockSyntax& block = frame.blocks[index];
  const int channels = frame.layout.channels;
  const bool first = index == 0;
  for (int ch = 0; ch < channels; ++ch) sink.put(0, 1);  // blksw: long blocks
  // No dither: a coefficient left without bits plays as silence, which is
  // closer to the signal than noise at the exponent's level.
  for (int ch = 0; ch < channels; ++ch) sink.put(0, 1);
  sink.put(0, 1);  // dynrnge
  sink.put(first, 1);  // cplstre
  if (first) sink.put(0, 1);  // cplinu
  if (channels == 2) {
    sink.put(block.rematrixStrategy, 1);
    if (block.rematrixStrategy) {
      for (int band = 0; band < kRematrixBands; ++band) sink.put(block.rematrixFlags[band], 1);
    }
  }
  putExponents(frame, block, sink);
  putBitAllocation(frame, first, sink);
}

}  // namespace

int frameSideBits(const FrameSyntax& frame) {
  BitCounter counter;
  putHeader(frame, counter);
  for (int b = 0; b < kBlocksPerFrame; ++b) putBlockSide(frame, b, counter);
  return counter.bits + kClosingBits;
}

void writeFrame(const FrameSyntax& frame, uint8_t* out) {
  BitWriter writer(out, frame.layout.frameBytes);
  putHeader(frame, writer);
  for (int b = 0; b < kBlocksPerFrame; ++b) {
    putBlockSide(frame, b, writer);
    const BlockMantissas& mantissas = *frame.blocks[b].mantissas;
    for (int i = 0; i < mantissas.count; ++i) writer.put(mantissas.codes[i].value, mantissas.codes[i].bits);
  }
  writer.finish();
  sealFrame(out, frame.layout.frameBytes);
}

}  // namespace ac3
