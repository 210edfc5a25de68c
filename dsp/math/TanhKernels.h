// The hyperbolic tangent's array loops in the instruction sets the processor may have, and
// the constants of the formula they share with the scalar form. Every form performs the same
// IEEE operations in the same order, so all give identical results.
//
// Threads: pure functions; real-time safe.
#pragma once

namespace qd::detail {

namespace tanh_constants {
// tanh(t) = expm1(2t) / (expm1(2t) + 2) for t = |x|, which keeps full relative precision near
// 0; beyond |x| = 20 the result is 1 to double precision, so the argument is capped there.
// expm1(z) = 2^k (e^r - 1) + (2^k - 1) with z = k ln 2 + r, |r| <= ln 2 / 2, and e^r - 1 a
// Taylor polynomial of degree 13 (truncation below 1e-17).
inline constexpr double kCap = 20.0;
inline constexpr double kInvLn2 = 1.4426950408889634;
inline constexpr double kLn2Hi = 6.93147180369123816490e-01;  // ln 2, high bits (exact times k)
inline constexpr double kLn2Lo = 1.90821492927058770002e-10;  // ln 2 - kLn2Hi
inline constexpr double kRound = 6755399441055744.0;  // 1.5 x 2^52: adding it rounds to integer
// 1/n! for n = 2 .. 13
inline constexpr double kC[12] = {1.0 / 2,       1.0 / 6,        1.0 / 24,        1.0 / 120,
                                  1.0 / 720,     1.0 / 5040,     1.0 / 40320,     1.0 / 362880,
                                  1.0 / 3628800, 1.0 / 39916800, 1.0 / 479001600, 1.0 / 6227020800};

}  // namespace tanh_constants

// tanh of in[0 .. n) into out for the largest even n <= count (SSE2); returns n.
int TanhPairsSse2(const double* in, double* out, int count);
// The AVX2 form: four at a time, n a multiple of 4 (0 where the build lacks the form).
bool HaveAvx2TanhKernels();
int TanhQuadsAvx2(const double* in, double* out, int count);

}  // namespace qd::detail
