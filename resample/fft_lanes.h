#pragma once

// The number type the FFT and the block filter run on: one double, or two
// doubles in lock step (two channels at once), or, where the file is built
// for AVX2, four (`Quad`). Every operation of `Pair` does to each lane
// exactly what the same operation does to a double, so a lane of a Pair
// computation gives the same bits as the scalar computation (both are IEEE
// double arithmetic, rounded after every operation; only a file built with
// FMA fuses, in mulAdd and where it allows contraction).
//
// Everything here is compiled once per instruction set (a file built with
// AVX2 gets VEX-encoded copies), so it all has internal linkage: the linker
// must never merge a wide copy into the SSE2 code that runs on every CPU.

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__AVX2__)
#include <immintrin.h>
#endif

namespace lanes {
namespace {

inline double negate(double value) { return -value; }

#if defined(__SSE2__)

struct Pair {
  __m128d v;
  Pair() = default;
  explicit Pair(double value) : v(_mm_set1_pd(value)) {}
  explicit Pair(__m128d value) : v(value) {}
};

inline Pair operator+(Pair a, Pair b) { return Pair(_mm_add_pd(a.v, b.v)); }
inline Pair operator-(Pair a, Pair b) { return Pair(_mm_sub_pd(a.v, b.v)); }
inline Pair operator*(Pair a, Pair b) { return Pair(_mm_mul_pd(a.v, b.v)); }
// Flips the sign bit, as scalar negation does (also of zeros).
inline Pair negate(Pair a) { return Pair(_mm_xor_pd(a.v, _mm_set1_pd(-0.0))); }
// Two consecutive doubles, any alignment.
inline Pair loadPair(const double* p) { return Pair(_mm_loadu_pd(p)); }
inline Pair makePair(double first, double second) { return Pair(_mm_set_pd(second, first)); }
inline void storeLanes(Pair a, double& first, double& second) {
  _mm_store_sd(&first, a.v);
  _mm_store_sd(&second, _mm_unpackhi_pd(a.v, a.v));
}

inline void storePair(double* p, Pair a) { _mm_storeu_pd(p, a.v); }
// (a's first lane, b's first lane) and (a's second lane, b's second lane).
inline Pair firstLanes(Pair a, Pair b) { return Pair(_mm_unpacklo_pd(a.v, b.v)); }
inline Pair secondLanes(Pair a, Pair b) { return Pair(_mm_unpackhi_pd(a.v, b.v)); }
// The sum of a's lanes and the sum of b's, as one Pair.
inline Pair addAcross(Pair a, Pair b) { return Pair(_mm_add_pd(_mm_unpacklo_pd(a.v, b.v), _mm_unpackhi_pd(a.v, b.v))); }
// a * b + c: rounded once where the file is built with FMA, else after the
// product and after the sum.
inline Pair mulAdd(Pair a, Pair b, Pair c) {
#if defined(__FMA__)
  return Pair(_mm_fmadd_pd(a.v, b.v, c.v));
#else
  return a * b + c;
#endif
}

#else

struct Pair {
  double lane[2];
  Pair() = default;
  explicit Pair(double value) : lane{value, value} {}
  Pair(double first, double second) : lane{first, second} {}
};

inline Pair operator+(Pair a, Pair b) { return Pair(a.lane[0] + b.lane[0], a.lane[1] + b.lane[1]); }
inline Pair operator-(Pair a, Pair b) { return Pair(a.lane[0] - b.lane[0], a.lane[1] - b.lane[1]); }
inline Pair operator*(Pair a, Pair b) { return Pair(a.lane[0] * b.lane[0], a.lane[1] * b.lane[1]); }
inline Pair negate(Pair a) { return Pair(-a.lane[0], -a.lane[1]); }
inline Pair loadPair(const double* p) { return Pair(p[0], p[1]); }
inline Pair makePair(double first, double second) { return Pair(first, second); }
inline void storeLanes(Pair a, double& first, double& second) {
  first = a.lane[0];
  second = a.lane[1];
}
inline void storePair(double* p, Pair a) {
  p[0] = a.lane[0];
  p[1] = a.lane[1];
}
inline Pair addAcross(Pair a, Pair b) { return Pair(a.lane[0] + a.lane[1], b.lane[0] + b.lane[1]); }
inline Pair firstLanes(Pair a, Pair b) { return Pair(a.lane[0], b.lane[0]); }
inline Pair secondLanes(Pair a, Pair b) { return Pair(a.lane[1], b.lane[1]); }
inline Pair mulAdd(Pair a, Pair b, Pair c) { return a * b + c; }

#endif

// Loads and stores of as many consecutive doubles as the type holds.
template <typename W>
W loadLanes(const double* p);
template <>
inline double loadLanes<double>(const double* p) { return *p; }
template <>
inline Pair loadLanes<Pair>(const double* p) { return loadPair(p); }
inline void storeLanes(double* p, double a) { *p = a; }
inline void storeLanes(double* p, Pair a) { storePair(p, a); }

// Lanes of a number type.
template <typename W>
constexpr int kLanes = int(sizeof(W) / sizeof(double));

// The polyphase stages' lane operations (polyphase_lanes.h). A channel pair
// fills a vector with kLanes / 2 consecutive taps of both channels: tap t of
// channel 0 and of channel 1, then tap t + 1 of both, and so on.
//   spreadTaps: the filter taps at `taps`, each in the lanes of both channels;
//   loadFrames: taps t on of the two channels at window, frames `channels`
//     doubles apart (adjacent: channels == 2, the frames follow each other);
//   foldToPair: the lanes of each channel added, as (channel 0, channel 1).
template <typename W>
W spreadTaps(const double* taps);
template <typename W>
W loadFrames(const double* window, int t, int channels, bool adjacent);
template <>
inline Pair spreadTaps<Pair>(const double* taps) { return Pair(taps[0]); }
template <>
inline Pair loadFrames<Pair>(const double* window, int t, int channels, bool) {
  return loadPair(window + int64_t(t) * channels);
}
inline Pair foldToPair(Pair a) { return a; }

// Types with masked loads read the first `count` (< kLanes) doubles at p and
// nothing beyond, zeros in the other lanes.
template <typename W>
constexpr bool kMaskedLoads = false;
template <typename W>
W loadFirstLanes(const double* p, int count);

#if defined(__AVX2__)
struct Quad {
  __m256d v;
  Quad() = default;
  explicit Quad(double value) : v(_mm256_set1_pd(value)) {}
  explicit Quad(__m256d value) : v(value) {}
};

inline Quad operator+(Quad a, Quad b) { return Quad(_mm256_add_pd(a.v, b.v)); }
inline Quad operator-(Quad a, Quad b) { return Quad(_mm256_sub_pd(a.v, b.v)); }
inline Quad operator*(Quad a, Quad b) { return Quad(_mm256_mul_pd(a.v, b.v)); }
inline Quad negate(Quad a) { return Quad(_mm256_xor_pd(a.v, _mm256_set1_pd(-0.0))); }
inline Quad mulAdd(Quad a, Quad b, Quad c) {
#if defined(__FMA__)
  return Quad(_mm256_fmadd_pd(a.v, b.v, c.v));
#else
  return a * b + c;
#endif
}
template <>
inline Quad loadLanes<Quad>(const double* p) { return Quad(_mm256_loadu_pd(p)); }

template <>
inline Quad spreadTaps<Quad>(const double* taps) {
  return Quad(_mm256_permute4x64_pd(_mm256_castpd128_pd256(_mm_loadu_pd(taps)), 0x50));
}
template <>
inline Quad loadFrames<Quad>(const double* window, int t, int channels, bool adjacent) {
  if (adjacent) return Quad(_mm256_loadu_pd(window + 2 * t));
  return Quad(_mm256_insertf128_pd(_mm256_castpd128_pd256(_mm_loadu_pd(window + int64_t(t) * channels)),
                                   _mm_loadu_pd(window + int64_t(t + 1) * channels), 1));
}
inline Pair foldToPair(Quad a) { return Pair(_mm_add_pd(_mm256_castpd256_pd128(a.v), _mm256_extractf128_pd(a.v, 1))); }
// The sum of a's lanes and the sum of b's, as one Pair.
inline Pair addAcross(Quad a, Quad b) { return foldToPair(Quad(_mm256_hadd_pd(a.v, b.v))); }

template <>
constexpr bool kMaskedLoads<Quad> = true;
template <>
inline Quad loadFirstLanes<Quad>(const double* p, int count) {
  const __m256i mask = _mm256_cmpgt_epi64(_mm256_set1_epi64x(count), _mm256_setr_epi64x(0, 1, 2, 3));
  return Quad(_mm256_maskload_pd(p, mask));
}
static_assert(sizeof(Quad) == 4 * sizeof(double), "a Quad is four packed doubles");
#endif

static_assert(sizeof(Pair) == 2 * sizeof(double), "a Pair is two packed doubles");

}  // namespace
}  // namespace lanes
