#pragma once

// Real-input discrete Fourier transform of power-of-two length, in place.
//
// n     transform length, a power of two, at least 2.
// isgn  >= 0: forward, < 0: inverse.
// a     n doubles. Forward output layout, with R[k] = sum_j a[j] cos(2 pi jk/n)
//       and I[k] = sum_j a[j] sin(2 pi jk/n):
//         a[0] = R[0], a[1] = R[n/2], a[2k] = R[k], a[2k+1] = I[k] (0 < k < n/2).
//       The inverse takes that layout and returns
//         (R[0] + R[n/2] cos(pi j)) / 2 + sum_{k=1}^{n/2-1} (R[k] cos(2 pi jk/n) + I[k] sin(2 pi jk/n)),
//       so forward followed by inverse multiplies by n/2 (neither direction
//       normalises).
// ip    work area of at least 2 + sqrt(n/2) ints; ip[0] == 0 means "no tables
//       yet". ip[0] and ip[1] record the sizes of the tables made, the rest
//       is the bit-reversal table.
// w     work area of n/2 doubles for the table of cosines and sines.
// Tables are made on the first call and remade only when a longer transform
// needs larger ones; ip and w must not be shared by two concurrent calls.
void rdft(int n, int isgn, double* a, int* ip, double* w);

// Two transforms of length n at once, on two interleaved arrays: a holds 2n
// doubles, a[2j] the j-th value of the first array and a[2j + 1] that of
// the second. Each array gets exactly the bits rdft would give it (the same
// operations, run in lock step). a must be 16-byte aligned.
void rdftPair(int n, int isgn, double* a, int* ip, double* w);


