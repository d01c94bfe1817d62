#pragma once

// Fast convolution of real blocks of length n (a power of two, n >= 16)
// with one fixed filter, without reordering: the forward complex FFT leaves
// its spectrum bit-reversed, the spectral product works in that order, and
// the inverse (decimation in time) takes it so and gives natural order.
//
// The blocks' upper halves must be zero (the filter then never wraps
// around when it is at most n/2 taps long); the result fills all n values.
//
// The transforms run in vector lanes: two (SSE2), or four where the CPU has
// AVX2 and FMA and the build includes them (not the 32-bit Windows build).
// A channel pair fills the lanes with its two channels (and, with four
// lanes, with the two halves of each transform); a single channel with the
// halves or quarters of its transform.

enum class FftLanes { kTwo, kFour };

// The widest lanes this CPU and build run; chosen once.
FftLanes widestFftLanes();

// The filter's records for the given lanes, made from its rdft spectrum
// (rdft's layout, the scaling for the inverse folded in), into `filter` of
// convolutionFilterSize(n) doubles. ip and w are the tables rdft made for
// length n; every call below takes them too.
int convolutionFilterSize(int n);
void makeConvolutionFilter(int n, const double* spectrum, double* filter, FftLanes lanes);

// One channel: block (n values) is replaced by the filtered block. work: 2n
// doubles, 32-byte aligned.
void convolveBlock(int n, double* block, double* work, const double* filter, const int* ip, const double* w,
                   FftLanes lanes);

// Two channels interleaved in pair (2n doubles, value j of the first at 2j,
// of the second at 2j + 1; 32-byte aligned; used as work area): the
// filtered blocks go to first and second (n doubles each). Only the blocks'
// lower halves (the first n doubles of pair) are read: the upper halves
// count as zero whatever pair holds there.
void convolveBlockPair(int n, double* pair, const double* filter, const int* ip, const double* w, double* first,
                       double* second, FftLanes lanes);
