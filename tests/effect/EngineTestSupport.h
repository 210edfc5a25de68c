// Helpers for driving the plug-in's engine in tests: a host that records notifications and
// answers a tempo, and block processing of stereo vectors.
#pragma once

#include <cmath>
#include <memory>
#include <vector>

#include "effect/QuarloDorvantix.h"
#include "tests/framework/TestPlugin.h"

namespace qd::testing {

struct Stereo {
  std::vector<double> left, right;
  explicit Stereo(size_t n = 0) : left(n), right(n) {}
  size_t size() const { return left.size(); }
};

inline Stereo Sine(double freq, double amplitude, double seconds, double rate) {
  Stereo s(static_cast<size_t>(seconds * rate));
  for (size_t i = 0; i < s.size(); ++i) {
    s.left[i] = s.right[i] = amplitude * std::sin(2.0 * M_PI * freq * i / rate);
  }
  return s;
}

inline std::unique_ptr<QuarloDorvantix> MakePlugin(double rate = 44100, int maxBlock = 1024) {
  auto p = std::make_unique<QuarloDorvantix>(PortLabels::kPerChannel);
  p->SetInputConnections(0, 2, true);
  p->SetOutputConnections(0, 2, true);
  p->SetSampleRate(rate);
  p->SetMaxBlockSize(maxBlock);
  p->ResetProcessing();
  return p;
}

// Runs the signal through the plug-in's engine in blocks of `block` frames.
inline Stereo Render(QuarloDorvantix& p, const Stereo& in, int block) {
  Stereo copy = in, out(in.size());
  for (size_t pos = 0; pos < in.size(); pos += block) {
    const int n = static_cast<int>(std::min<size_t>(block, in.size() - pos));
    double* ins[] = {copy.left.data() + pos, copy.right.data() + pos};
    double* outs[] = {out.left.data() + pos, out.right.data() + pos};
    p.ProcessAudio(ins, outs, n);
  }
  return out;
}

inline void SetParam(QuarloDorvantix& p, int index, double value) {
  p.GetParam(index)->SetClamped(value);
  p.ParamChanged(index, kSourceHost);
}

}  // namespace qd::testing
