#pragma once

#include <memory>

#include "resample/sample_rate_converter.h"

// The filters of a converter and the FFT tables its spectrum was made with:
// the expensive part of configure (a 16383-tap Kaiser window is half a
// million terms of a power series). They follow from the ConverterDesign
// alone and are only read once made, so every converter of an equal design
// (in practice: the same rate pair) shares one copy.

struct ConverterFilters {
  // FFT low-pass, as its spectrum in the records of the convolution
  // (fft_convolution.h), with the inverse transform's 2/M and, when
  // down-sampling, the zero-stuffing gain q folded in.
  std::unique_ptr<double[]> spectrum;
  // The transform tables rdft made for length M (its ip and w).
  std::unique_ptr<int[]> fftBitReversal;
  std::unique_ptr<double[]> fftCosSin;
  // Polyphase low-pass: P rows of T taps in one block, row p at p * T;
  // entries no tap reaches are 0.0.
  std::unique_ptr<double[]> polyphaseTaps;
  std::unique_ptr<const double*[]> polyphaseRows;
};

// Designs the filters of `design`; null when memory ran out.
std::unique_ptr<ConverterFilters> makeConverterFilters(const ConverterDesign& design);

// The filters of `design`, shared with every converter that holds filters
// of an equal design, or designed now (once, however many threads ask at
// the same time). Filters are kept only while some converter holds them.
// Null when memory ran out. Safe on any thread.
std::shared_ptr<const ConverterFilters> sharedConverterFilters(const ConverterDesign& design);
