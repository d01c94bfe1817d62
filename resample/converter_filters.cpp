// Kaiser-windowed low-pass design of the converter's two filters: the FFT
// filter, kept only as its transformed spectrum, and the polyphase table.

#include "resample/converter_filters.h"

#include <cmath>
#include <cstdint>
#include <new>

#include "resample/fft_convolution.h"
#include "resample/filter_design.h"
#include "resample/nothrow_arrays.h"
#include "resample/real_fft.h"

namespace {

// Up-sampling: 2/M. Down-sampling: also the zero-stuffing gain q, applied
// as * fftRate / inputRate / M * 2.
double fftFilterGain(const ConverterDesign& design, double tap) {
  if (design.upsampling) return tap * (2.0 / design.fftLength);
  return tap * design.fftRate / design.inputRate / design.fftLength * 2.0;
}

// Puts tap j at index j of the M values of the FFT filter, with its gain.
class FftFilterTaps : public TapSink {
 public:
  FftFilterTaps(const ConverterDesign& design, double* taps) : design(design), taps(taps) {}
  void put(int index, double tap) override { taps[index] = fftFilterGain(design, tap); }

 private:
  const ConverterDesign& design;
  double* taps;
};

// Puts prototype tap j (at offset n = j - (N - 1) / 2 from the centre) in
// row j mod P, column j / P of the polyphase table, with its gain.
class PolyphaseTableTaps : public TapSink {
 public:
  PolyphaseTableTaps(const ConverterDesign& design, double* table) : design(design), table(table) {}
  void put(int index, double tap) override {
    table[int64_t(index % design.phases) * design.tapsPerPhase + index / design.phases] = tap * design.polyphaseGain;
  }

 private:
  const ConverterDesign& design;
  double* table;
};

// The FFT filter's taps (zero beyond the filter), transformed; the forward
// transform also makes the FFT tables.
bool makeFftFilter(const ConverterDesign& design, ConverterFilters& filters) {
  const int fftLength = design.fftLength;
  std::unique_ptr<double[]> taps;
  if (!allocateZeroed(taps, fftLength) || !allocateZeroed(filters.spectrum, convolutionFilterSize(fftLength)) ||
      !allocateZeroed(filters.fftBitReversal, int64_t(std::sqrt(double(fftLength)) + 2.0)) ||
      !allocateZeroed(filters.fftCosSin, fftLength / 2))
    return false;
  FftFilterTaps sink(design, taps.get());
  windowedSincLowPass(design.fftTaps, design.fftCutoffHz, design.fftRate, sink);
  filters.fftBitReversal[0] = 0;
  rdft(fftLength, 1, taps.get(), filters.fftBitReversal.get(), filters.fftCosSin.get());
  makeConvolutionFilter(fftLength, taps.get(), filters.spectrum.get(), widestFftLanes());
  return true;
}

bool makePolyphaseFilter(const ConverterDesign& design, ConverterFilters& filters) {
  const int phases = design.phases;
  const int tapsPerPhase = design.tapsPerPhase;
  if (!allocateZeroed(filters.polyphaseTaps, int64_t(phases) * tapsPerPhase)) return false;
  filters.polyphaseRows.reset(new (std::nothrow) const double*[size_t(phases)]);
  if (!filters.polyphaseRows) return false;
  double* table = filters.polyphaseTaps.get();
  for (int p = 0; p < phases; ++p) filters.polyphaseRows[p] = table + int64_t(p) * tapsPerPhase;
  if (design.polyphaseTaps == 1) {
    table[0] = 1.0;
    return true;
  }
  PolyphaseTableTaps sink(design, table);
  windowedSincLowPass(design.polyphaseTaps, design.polyphaseCutoffHz, design.polyphaseRate, sink);
  return true;
}

}  // namespace

std::unique_ptr<ConverterFilters> makeConverterFilters(const ConverterDesign& design) {
  std::unique_ptr<ConverterFilters> filters(new (std::nothrow) ConverterFilters);
  if (!filters) return nullptr;
  if (!makePolyphaseFilter(design, *filters) || !makeFftFilter(design, *filters)) return nullptr;
  return filters;
}
