#include "dsp/filters/Legendre.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <new>
#include <stdexcept>

#include "dsp/filters/LowPass.h"
#include "tests/dsp/filters/AllocationCount.h"

namespace Iir {
namespace {

constexpr double kBaseRate = 44100.0;

double Db(double linear) {
  return 20.0 * std::log10(linear);
}

TEST(OptimumL, PolynomialOfEachOrder) {
  // L(x) such that |H(j w)|^2 = 1 / (1 + L(w^2)); w[0] stays 0.
  const double expected[4][5] = {
      {0, 1, 0, 0, 0}, {0, 0, 1, 0, 0}, {0, 1, -3, 3, 0}, {0, 0, 3, -8, 6}};
  for (int n = 1; n <= 4; ++n) {
    DesignWorkspace<4> ws{};
    optimumLPolynomial(n, ws.w, ws.a, ws.p, ws.s, ws.v, ws.aa, ws.bb);
    for (int i = 0; i <= n; ++i) EXPECT_NEAR(ws.w[i], expected[n - 1][i], 1e-12) << n << " " << i;
  }
}

TEST(OptimumL, LegendrePolynomials) {
  double p[8] = {}, aa[8] = {}, bb[8] = {};
  legendrePolynomial(3, p, aa, bb);  // (5x^3 - 3x) / 2
  EXPECT_NEAR(p[0], 0.0, 1e-15);
  EXPECT_NEAR(p[1], -1.5, 1e-15);
  EXPECT_NEAR(p[2], 0.0, 1e-15);
  EXPECT_NEAR(p[3], 2.5, 1e-15);
  legendrePolynomial(4, p, aa, bb);  // (35x^4 - 30x^2 + 3) / 8
  const double p4[] = {3.0 / 8, 0, -30.0 / 8, 0, 35.0 / 8};
  for (int i = 0; i <= 4; ++i) EXPECT_NEAR(p[i], p4[i], 1e-15) << i;
}

TEST(RootFinder, NonConvergenceIsReportedAsLogicError) {
  const complex_t nan(std::nan(""), 0.0);
  const complex_t q[3] = {nan, 1.0, 1.0};
  try {
    laguerreRefine(q, 2, complex_t{});
    FAIL() << "expected an exception";
  } catch (const std::logic_error& e) {
    EXPECT_STREQ(e.what(), "root finding did not converge");
  }
}

TEST(RootFinder, SortKeepsTiesInOrder) {
  complex_t r[] = {{1, 0}, {2, 3}, {3, 0}, {4, 5}};
  sortByImaginaryDescending(r, 4);
  const complex_t expected[] = {{4, 5}, {2, 3}, {1, 0}, {3, 0}};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(r[i], expected[i]) << i;
}

TEST(LegendreAnalog, PolesOfOrdersOneToFour) {
  // Upper-half-plane member of each pair, then the real pole of odd orders.
  const complex_t expected[4][2] = {{{-1.0, 0.0}, {}},
                                    {{-0.707106781, 0.707106781}, {}},
                                    {{-0.345185619, 0.900865636}, {-0.620331817, 0.0}},
                                    {{-0.231688723, 0.945510664}, {-0.549743424, 0.358571816}}};
  for (int n = 1; n <= 4; ++n) {
    LegendreAnalogPrototype<4> proto;
    DesignWorkspace<4> ws{};
    proto.design(n, ws);
    ASSERT_EQ(proto.layout.numPoles, n);
    for (int i = 0; i < (n + 1) / 2; ++i) {
      const PoleZeroSection& s = proto.layout.sections[i];
      EXPECT_NEAR(s.pole1.real(), expected[n - 1][i].real(), 1e-9) << "order " << n;
      EXPECT_NEAR(s.pole1.imag(), expected[n - 1][i].imag(), 1e-9) << "order " << n;
      EXPECT_TRUE(std::isinf(s.zero1.real())) << "zeros at infinity";
      if (s.pole1.imag() != 0.0) {
        EXPECT_EQ(s.pole2, std::conj(s.pole1));
      }
    }
  }
}

struct StageFigures {
  double a1, a2, b0, b1, b2;
};

TEST(LegendreLowPass, StageCoefficientsAtFactorsTwoAndFour) {
  // Order 4, cutoff at the base-rate Nyquist frequency, at twice and four times 44100 Hz.
  struct Case {
    int factor;
    StageFigures stage[2];
  } cases[] = {
      {2,
       {{-0.043408452, 0.615621475, 0.066919131, 0.133838261, 0.066919131},
        {-0.449917617, 0.130936077, 1, 2, 1}}},
      {4,
       {{-1.236450233, 0.716599882, 0.005801362, 0.011602724, 0.005801362},
        {-1.211099131, 0.404417595, 1, 2, 1}}},
  };
  for (const Case& c : cases) {
    LegendreLowPass design;
    design.designLowPass(4, kBaseRate * c.factor, kBaseRate * 0.5);
    const auto& cascade = design.cascade();
    ASSERT_EQ(cascade.numStages, 2);
    for (int s = 0; s < 2; ++s) {
      const BiquadStage& st = cascade.stages[s];
      const StageFigures& e = c.stage[s];
      SCOPED_TRACE(testing::Message() << "factor " << c.factor << " stage " << s);
      EXPECT_EQ(st.a0, 1.0);
      EXPECT_NEAR(st.a1, e.a1, 1e-9);
      EXPECT_NEAR(st.a2, e.a2, 1e-9);
      EXPECT_NEAR(st.b0, e.b0, 1e-9);
      EXPECT_NEAR(st.b1, e.b1, 1e-9);
      EXPECT_NEAR(st.b2, e.b2, 1e-9);
    }
  }
}

TEST(LegendreLowPass, UnityAtDcAndHalfPowerAtCutoffForEveryOrder) {
  for (int factor : {1, 2, 4, 8}) {
    for (int order = 1; order <= 4; ++order) {
      LegendreLowPass design;
      const double rate = kBaseRate * factor;
      design.designLowPass(order, rate, kBaseRate * 0.45);
      const auto& cascade = design.cascade();
      SCOPED_TRACE(testing::Message() << "factor " << factor << " order " << order);
      EXPECT_EQ(cascade.numStages, (order + 1) / 2);
      EXPECT_NEAR(std::abs(cascade.response(0.0)), 1.0, 1e-12);
      EXPECT_NEAR(Db(std::abs(cascade.response(kBaseRate * 0.45 / rate))), -3.0103, 1e-4);
      // Monotonic fall towards Nyquist.
      double previous = 2.0;
      for (double f = 0.0; f <= 0.5; f += 0.01) {
        const double magnitude = std::abs(cascade.response(f));
        EXPECT_LE(magnitude, previous + 1e-12) << "f " << f;
        previous = magnitude;
      }
      // Second-order stages have both zeros at z = -1.
      for (int s = 0; s < cascade.numStages; ++s) {
        const BiquadStage& st = cascade.stages[s];
        if (st.a2 == 0.0 && st.b2 == 0.0) continue;  // the single-pole stage of odd orders
        EXPECT_NEAR(st.b1, 2.0 * st.b0, 1e-15 * std::abs(st.b0) + 1e-300);
        EXPECT_NEAR(st.b2, st.b0, 1e-15 * std::abs(st.b0) + 1e-300);
        if (s > 0) {
          EXPECT_EQ(st.b0, 1.0) << "only the first stage carries the gain";
        }
      }
    }
  }
}

TEST(LegendreLowPass, CutoffAtHalfTheSampleRateStaysFinite) {
  LegendreLowPass design;
  design.designLowPass(4, kBaseRate, kBaseRate * 0.5);
  const auto& cascade = design.cascade();
  for (int s = 0; s < cascade.numStages; ++s) {
    const BiquadStage& st = cascade.stages[s];
    for (double v : {st.a1, st.a2, st.b0, st.b1, st.b2}) EXPECT_TRUE(std::isfinite(v)) << s;
  }
  EXPECT_NEAR(std::abs(cascade.response(0.0)), 1.0, 1e-9);
}

TEST(LegendreLowPass, RedesignWithNewCutoffEqualsFreshDesign) {
  LegendreLowPass reused;
  reused.designLowPass(4, 96000.0, 10000.0);
  const PoleZeroLayout<4> analogBefore = reused.analogPrototype().layout;
  reused.designLowPass(4, 96000.0, 20000.0);
  LegendreLowPass fresh;
  fresh.designLowPass(4, 96000.0, 20000.0);

  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(reused.analogPrototype().layout.sections[i].pole1, analogBefore.sections[i].pole1);
    const BiquadStage& a = reused.cascade().stages[i];
    const BiquadStage& b = fresh.cascade().stages[i];
    EXPECT_EQ(a.a1, b.a1);
    EXPECT_EQ(a.a2, b.a2);
    EXPECT_EQ(a.b0, b.b0);
    EXPECT_EQ(a.b1, b.b1);
    EXPECT_EQ(a.b2, b.b2);
  }
  // A change of order redoes the prototype.
  reused.designLowPass(3, 96000.0, 20000.0);
  EXPECT_EQ(reused.analogPrototype().cachedOrder, 3);
  EXPECT_EQ(reused.cascade().numStages, 2);
}

TEST(LegendreLowPass, OrdersOutsideTheStorageAreClamped) {
  struct Case {
    double order;
    int designed;
  } cases[] = {{0, 1}, {-3, 1}, {std::nan(""), 1}, {2.9, 2}, {5, 4}, {1e300, 4}};
  for (const Case& c : cases) {
    LegendreLowPass design;
    FilterParams params;
    params[0] = 88200;
    params[1] = c.order;
    params[2] = 22050;
    design.designFromParams(params);
    EXPECT_EQ(design.analogPrototype().cachedOrder, c.designed) << "order " << c.order;
    EXPECT_NEAR(std::abs(design.cascade().response(0.0)), 1.0, 1e-12) << "order " << c.order;
  }
}

TEST(LegendreLowPass, DesignAllocatesNothing) {
  LegendreLowPass design;
  const std::size_t before = test::AllocationCount();
  design.designLowPass(4, 176400.0, 22050.0);
  design.designLowPass(3, 88200.0, 22050.0);
  EXPECT_EQ(test::AllocationCount(), before);
  int* volatile probe = new int(1);  // the counter itself works
  delete probe;
  EXPECT_EQ(test::AllocationCount(), before + 1);
}

}  // namespace
}  // namespace Iir
