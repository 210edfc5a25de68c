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

// The array loop over whole vectors of Ops::kWidth values: the formula of the scalar form,
// operation for operation, in the vector operations Ops supplies (Set, Load, Store, Add, Sub,
// Mul, Div, Min, And, AndNot, Or, and on the 64-bit lanes as integers Bits, Double, AddI,
// SubI, ShiftLeft52, SetI). Each instruction set's file instantiates it with its own Ops,
// compiled for that instruction set. Returns how many values it did (a multiple of kWidth).
template <typename Ops>
int TanhVectors(const double* in, double* out, int count) {
  using namespace tanh_constants;
  using V = typename Ops::V;
  using I = typename Ops::I;
  const V sign = Ops::Set(-0.0);
  const V cap = Ops::Set(kCap);
  const V invLn2 = Ops::Set(kInvLn2);
  const V round = Ops::Set(kRound);
  const V ln2Hi = Ops::Set(kLn2Hi), ln2Lo = Ops::Set(kLn2Lo);
  const V one = Ops::Set(1.0), two = Ops::Set(2.0);
  const I roundBits = Ops::Bits(round);
  const I bias = Ops::SetI(1023);
  int i = 0;
  for (; i + Ops::kWidth <= count; i += Ops::kWidth) {
    const V x = Ops::Load(in + i);
    const V s = Ops::And(x, sign);
    // min(cap, |x|) passes a NaN through (the second operand wins when either is NaN).
    const V t = Ops::Min(cap, Ops::AndNot(sign, x));
    const V z = Ops::Add(t, t);
    const V kr = Ops::Add(Ops::Mul(z, invLn2), round);
    const V k = Ops::Sub(kr, round);
    const V r = Ops::Sub(Ops::Sub(z, Ops::Mul(k, ln2Hi)), Ops::Mul(k, ln2Lo));
    // Estrin's scheme over r^2 and r^4 keeps the dependency chain short.
    const V r2 = Ops::Mul(r, r);
    const V r4 = Ops::Mul(r2, r2);
    const V r8 = Ops::Mul(r4, r4);
    auto pair = [&](int a) { return Ops::Add(Ops::Set(kC[a]), Ops::Mul(Ops::Set(kC[a + 1]), r)); };
    const V q01 = Ops::Add(pair(0), Ops::Mul(pair(2), r2));
    const V q23 = Ops::Add(pair(4), Ops::Mul(pair(6), r2));
    const V q45 = Ops::Add(pair(8), Ops::Mul(pair(10), r2));
    const V poly = Ops::Add(Ops::Add(q01, Ops::Mul(q23, r4)), Ops::Mul(q45, r8));
    const V p = Ops::Add(r, Ops::Mul(r2, poly));
    // 2^k from k's integer bits (0 <= k <= 58 here).
    const I ki = Ops::SubI(Ops::Bits(kr), roundBits);
    const V scale = Ops::Double(Ops::ShiftLeft52(Ops::AddI(ki, bias)));
    const V em = Ops::Add(Ops::Mul(scale, p), Ops::Sub(scale, one));
    const V y = Ops::Div(em, Ops::Add(em, two));
    Ops::Store(out + i, Ops::Or(y, s));
  }
  return i;
}

// tanh of in[0 .. n) into out for the largest even n <= count (SSE2); returns n.
int TanhPairsSse2(const double* in, double* out, int count);
// Whether the AVX2 form is built and this processor runs it; the form does four at a time,
// n a multiple of 4 (0 where it is not built).
bool HaveAvx2TanhKernels();
int TanhQuadsAvx2(const double* in, double* out, int count);

}  // namespace qd::detail
