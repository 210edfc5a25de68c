// Hyperbolic tangent of whole arrays, two lanes at a time with SSE2 (a scalar loop of the
// same formula elsewhere). Within 1e-15 of the correctly rounded result for every input (the
// result lies in -1..1); NaN gives NaN, +-infinity gives +-1. The same code runs on every
// x86-64 processor and operating system, so results do not depend on the C library.
//
// Threads: pure functions; real-time safe (no allocation, no lock, no throw).
#pragma once

namespace qd {

// tanh(x), the array form's formula for one value.
double Tanh(double x);
// out[i] = tanh(in[i]) for i < count; out may be in.
void TanhArray(const double* in, double* out, int count);

}  // namespace qd
