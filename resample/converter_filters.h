#pragma once

#include <memory>

// The filters of a converter and the FFT tables its spectrum was made with:
// the expensive part of configure (a 16383-tap Kaiser window is half a
// million terms of a power series). They follow from a FilterRecipe alone
// and are only read once made, so every converter with the same recipe (in
// practice: the same rate pair) shares one copy.

// What the filters follow from; equal recipes give identical filters.
struct FilterRecipe {
  bool upsampling = false;
  int inputRate = 0;            // Hz; the FFT gain of the down-sampling path uses it
  int fftRate = 0;              // Hz, design rate of the FFT low-pass
  int fftTaps = 0;              // odd
  int fftLength = 0;            // M: the transform length, 32768 times a power of two
  double fftCutoffHz = 0.0;
  int polyphaseRate = 0;        // Hz, design rate of the polyphase low-pass
  int polyphaseTaps = 0;        // odd; 1 is the single tap 1.0 (keep every n-th sample)
  int phases = 0;               // P rows of the polyphase table
  int tapsPerPhase = 0;         // T columns
  double polyphaseCutoffHz = 0.0;
  double polyphaseGain = 0.0;

  bool operator==(const FilterRecipe& other) const;
};

struct ConverterFilters {
  // FFT low-pass, as its spectrum in the records of the convolution
  // (fft_convolution.h), with the inverse transform's 2/M and the stage gain
  // folded in.
  std::unique_ptr<double[]> spectrum;
  // The transform tables rdft made for length M (its ip and w).
  std::unique_ptr<int[]> fftBitReversal;
  std::unique_ptr<double[]> fftCosSin;
  // Polyphase low-pass: P rows of T taps in one block, row p at p * T;
  // entries no tap reaches are 0.0.
  std::unique_ptr<double[]> polyphaseTaps;
  std::unique_ptr<const double*[]> polyphaseRows;
};

// Designs the filters of `recipe`; null when memory ran out.
std::unique_ptr<ConverterFilters> makeConverterFilters(const FilterRecipe& recipe);

// The filters of `recipe`, shared with every converter that holds filters
// of the same recipe, or designed now (once, however many threads ask at
// the same time). Filters are kept only while some converter holds them.
// Null when memory ran out. Safe on any thread.
std::shared_ptr<const ConverterFilters> sharedConverterFilters(const FilterRecipe& recipe);

// Forgets every recipe the cache remembers and frees the cache's lock, for a
// library being unloaded: only once no converter is left and none can be
// set up any more. The cache is made anew should it be used again.
void releaseSharedConverterFilters();
