#pragma once

// The number type the FFT and the block filter run on: one double, or two
// doubles in lock step (two channels at once), or, where the file is built
// for AVX, four (`Quad`). Every operation of `Pair` does to each lane
// exactly what the same operation does to a double, so a lane of a Pair
// computation gives the same bits as the scalar computation (both are IEEE
// double arithmetic, rounded after every operation; only a file built with
// FMA contraction fuses).
//
// Everything here is compiled once per instruction set (a file built with
// AVX2 gets VEX-encoded copies), so it all has internal linkage: the linker
// must never merge a wide copy into the SSE2 code that runs on every CPU.

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__AVX__)
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

#if defined(__AVX__)
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
static_assert(sizeof(Quad) == 4 * sizeof(double), "a Quad is four packed doubles");
#endif

static_assert(sizeof(Pair) == 2 * sizeof(double), "a Pair is two packed doubles");

}  // namespace
}  // namespace lanes
