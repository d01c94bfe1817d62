// Kaiser-windowed low-pass design of the converter's two filters: the FFT
// filter, kept only as its transformed spectrum, and the polyphase table.

#include "resample/converter_filters.h"

#include <cmath>
#include <cstdint>
#include <new>

#include "resample/fft_convolution.h"
#include "resample/filter_design.h"
#include "resample/real_fft.h"

namespace {

template <typename T>
bool allocateZeroed(std::unique_ptr<T[]>& array, int64_t count) {
  array.reset(new (std::nothrow) T[size_t(count)]());
  return array != nullptr;
}

// The window of an N-tap filter and the constants it needs.
struct KaiserWindow {
  double factorials[31];
  double beta;
  double besselOfBeta;

  KaiserWindow() {
    fillFactorials(factorials);
    beta = kaiserBeta(kStopBandDb);
    besselOfBeta = besselI0(beta, factorials);
  }
  double at(int n, int length) const { return kaiserWindow(n, length, beta, besselOfBeta, factorials); }
};

// Up-sampling: 2/M. Down-sampling: also the zero-stuffing gain q, applied
// as * fftRate / inputRate / M * 2.
double fftFilterGain(const FilterRecipe& recipe, double tap) {
  if (recipe.upsampling) return tap * (2.0 / recipe.fftLength);
  return tap * recipe.fftRate / recipe.inputRate / recipe.fftLength * 2.0;
}

// The FFT filter's taps (tap j at index j of M values, zero beyond the
// filter), transformed; the forward transform also makes the FFT tables.
bool makeFftFilter(const FilterRecipe& recipe, const KaiserWindow& kaiser, ConverterFilters& filters) {
  const int fftLength = recipe.fftLength;
  const int length = recipe.fftTaps;
  std::unique_ptr<double[]> taps;
  if (!allocateZeroed(taps, fftLength) || !allocateZeroed(filters.spectrum, convolutionFilterSize(fftLength)) ||
      !allocateZeroed(filters.fftBitReversal, int64_t(std::sqrt(double(fftLength)) + 2.0)) ||
      !allocateZeroed(filters.fftCosSin, fftLength / 2))
    return false;
  const int centre = (length - 1) / 2;
  // One window evaluation serves taps j and length - 1 - j (it depends on
  // n * n only); the sinc is evaluated for each.
  for (int j = 0; j <= centre; ++j) {
    const int n = j - centre;
    const double window = kaiser.at(n, length);
    taps[j] = fftFilterGain(recipe, lowPassTap(n, recipe.fftCutoffHz, recipe.fftRate) * window);
    taps[length - 1 - j] = fftFilterGain(recipe, lowPassTap(-n, recipe.fftCutoffHz, recipe.fftRate) * window);
  }
  filters.fftBitReversal[0] = 0;
  rdft(fftLength, 1, taps.get(), filters.fftBitReversal.get(), filters.fftCosSin.get());
  makeConvolutionFilter(fftLength, taps.get(), filters.spectrum.get(), widestFftLanes());
  return true;
}

// Every prototype tap j of an odd-length filter sits at offset
// n = j - (N - 1) / 2 from the centre; the table puts it in row j mod P,
// column j / P.
bool makePolyphaseFilter(const FilterRecipe& recipe, const KaiserWindow& kaiser, ConverterFilters& filters) {
  const int phases = recipe.phases;
  const int tapsPerPhase = recipe.tapsPerPhase;
  if (!allocateZeroed(filters.polyphaseTaps, int64_t(phases) * tapsPerPhase)) return false;
  filters.polyphaseRows.reset(new (std::nothrow) const double*[size_t(phases)]);
  if (!filters.polyphaseRows) return false;
  double* table = filters.polyphaseTaps.get();
  for (int p = 0; p < phases; ++p) filters.polyphaseRows[p] = table + int64_t(p) * tapsPerPhase;
  const int length = recipe.polyphaseTaps;
  if (length == 1) {
    table[0] = 1.0;
    return true;
  }
  const int centre = (length - 1) / 2;
  const double cutoff = recipe.polyphaseCutoffHz;
  const double rate = recipe.polyphaseRate;
  for (int j = 0; j <= centre; ++j) {
    const int n = j - centre;
    const double window = kaiser.at(n, length);
    const int mirror = length - 1 - j;
    table[int64_t(j % phases) * tapsPerPhase + j / phases] = lowPassTap(n, cutoff, rate) * window * recipe.polyphaseGain;
    table[int64_t(mirror % phases) * tapsPerPhase + mirror / phases] =
        lowPassTap(-n, cutoff, rate) * window * recipe.polyphaseGain;
  }
  return true;
}

}  // namespace

bool FilterRecipe::operator==(const FilterRecipe& other) const {
  return upsampling == other.upsampling && inputRate == other.inputRate && fftRate == other.fftRate &&
         fftTaps == other.fftTaps && fftLength == other.fftLength && fftCutoffHz == other.fftCutoffHz &&
         polyphaseRate == other.polyphaseRate && polyphaseTaps == other.polyphaseTaps && phases == other.phases &&
         tapsPerPhase == other.tapsPerPhase && polyphaseCutoffHz == other.polyphaseCutoffHz &&
         polyphaseGain == other.polyphaseGain;
}

std::unique_ptr<ConverterFilters> makeConverterFilters(const FilterRecipe& recipe) {
  std::unique_ptr<ConverterFilters> filters(new (std::nothrow) ConverterFilters);
  if (!filters) return nullptr;
  const KaiserWindow kaiser;
  if (!makePolyphaseFilter(recipe, kaiser, *filters) || !makeFftFilter(recipe, kaiser, *filters)) return nullptr;
  return filters;
}
