#pragma once

// Fast convolution of real blocks of length n (a power of two, n >= 16)
// with one fixed filter, without reordering: the forward complex FFT leaves
// its spectrum bit-reversed, the spectral product works in that order, and
// the inverse (decimation in time) takes it so and gives natural order.
//
// The blocks' upper halves count as zero and are not read (the filter then
// never wraps around when it is at most n/2 taps long); the result fills
// all n values.
//
// The transforms run in vector lanes (lane_kernels.h: the convolution
// itself is a kernel of the table): two (SSE2), or four where the CPU has
// AVX2 and FMA and the operating system saves their registers.
// A channel pair fills the lanes with its two channels (and, with four
// lanes, with the two halves of each transform); a single channel with the
// halves or quarters of its transform.

enum class FftLanes { kTwo, kFour };

// The widest lanes this CPU and build run (two when the environment sets
// RESAMPLE_FORCE_SSE2, so that the SSE2 path can be tested anywhere); chosen
// once.
FftLanes widestFftLanes();

// The filter's records for the given lanes, made from its rdft spectrum
// (rdft's layout, the scaling for the inverse folded in), into `filter` of
// convolutionFilterSize(n) doubles. The convolutions take the ip and w
// tables rdft made for length n.
int convolutionFilterSize(int n);
void makeConvolutionFilter(int n, const double* spectrum, double* filter, FftLanes lanes);
