// Program and bank chunks got and set at random moments while parameters are automated and
// audio runs; a restored state renders exactly the audio of the state it came from.
#include <cstring>

#include "tests/validator/Harness.h"

namespace qd::validator {
namespace {

void RandomiseParams(Instance& plugin, Seeded& s) {
  for (int p = 0; p < kParamCount; ++p) {
    if (p == kResetMeters) continue;
    plugin.effect->setParameter(plugin.effect, p, static_cast<float>(s.Real(0.0, 1.0)));
  }
}

// Renders the same blocks through the instance and returns every output sample.
std::vector<double> RenderSequence(Instance& plugin, uint64_t seed, float rate, int blocks) {
  std::mt19937_64 rng(seed);
  HostBuffers b;
  b.Resize(4096);
  Program program;
  std::vector<double> out;
  for (int i = 0; i < blocks; ++i) {
    const int n = static_cast<int>(rng() % 4097);
    Fill(program, b, n, rate);
    ProcessBlock(plugin, b, n, Precision::kDouble);
    for (int k = 0; k < n; ++k) {
      out.push_back(b.out[0][k]);
      out.push_back(b.out[1][k]);
    }
  }
  return out;
}

TEST(State, RestoredStateRendersExactlyTheAudioOfItsSource) {
  Seeded s;
  for (int round = 0; round < Iterations(12); ++round) {
    const float rate = s.Pick(HostRates());
    Instance source;
    source.Start(rate, 4096);
    RandomiseParams(source, s);
    const bool program = s.Chance(0.5);
    const std::vector<uint8_t> chunk = GetChunk(source, program);
    ASSERT_FALSE(chunk.empty());

    Instance restored;
    restored.Start(rate, 4096);
    RandomiseParams(restored, s);  // whatever it held before is replaced
    ASSERT_EQ(SetChunk(restored, program, chunk), 1);
    EXPECT_EQ(ReadParams(restored), ReadParams(source)) << "round " << round;
    EXPECT_EQ(GetChunk(restored, program), chunk) << "round " << round;

    // `restored` was used before the chunk arrived; a fresh copy is the exact reference.
    Instance fresh;
    fresh.Start(rate, 4096);
    ASSERT_EQ(SetChunk(fresh, program, chunk), 1);
    const uint64_t audioSeed = s.rng();
    const std::vector<double> a = RenderSequence(source, audioSeed, rate, 12);
    const std::vector<double> b = RenderSequence(fresh, audioSeed, rate, 12);
    ASSERT_EQ(a.size(), b.size());
    EXPECT_EQ(0, std::memcmp(a.data(), b.data(), a.size() * sizeof(double)))
        << "round " << round << ": " << (program ? "program" : "bank") << " chunk at " << rate;
  }
}

TEST(State, ChunksGotAndSetAtRandomMomentsDuringAutomation) {
  Seeded s;
  Instance plugin;
  float rate = s.Pick(HostRates());
  plugin.Start(rate, 2048);
  HostBuffers b;
  b.Resize(2048);
  Program program;
  struct Saved {
    bool program;
    std::vector<uint8_t> chunk;
    std::vector<float> params;
  };
  std::vector<Saved> saved;
  for (int i = 0; i < Iterations(1200); ++i) {
    for (int k = s.Int(0, 3); k > 0; --k) {
      plugin.effect->setParameter(plugin.effect, s.Int(0, kParamCount - 1), RandomHostValue(s));
    }
    const int event = s.Int(0, 19);
    if (event < 3) {
      const bool asProgram = s.Chance(0.5);
      Saved state{asProgram, GetChunk(plugin, asProgram), ReadParams(plugin)};
      ASSERT_FALSE(state.chunk.empty());
      saved.push_back(std::move(state));
      if (saved.size() > 16) saved.erase(saved.begin());
    } else if (event < 6 && !saved.empty()) {
      const Saved& state = s.Pick(saved);
      ASSERT_EQ(SetChunk(plugin, state.program, state.chunk), 1);
      EXPECT_EQ(ReadParams(plugin), state.params) << "after restoring at block " << i;
    } else if (event == 6) {
      plugin.Dispatch(effSetProgram, 0, 0);  // the one program, re-selected
    } else if (event == 7) {
      plugin.Dispatch(effMainsChanged, 0, 0);
      plugin.Dispatch(effMainsChanged, 0, 1);
    }
    ASSERT_NO_FATAL_FAILURE(ExpectParamsValid(plugin));
    const int n = s.Int(0, 2048);
    Fill(program, b, n, rate);
    const double ceiling = CeilingFor(plugin);
    ProcessBlock(plugin, b, n, s.Chance(0.5) ? Precision::kDouble : Precision::kFloat);
    ASSERT_EQ(CheckBlock(b, n, ceiling), "") << "block " << i;
    if (plugin.host.calls.size() > 100000) plugin.host.calls.clear();
  }
}

// Chunks from a host that cut, extended or scribbled over what the plug-in wrote: the
// instance answers, keeps valid parameters and still renders sound audio.
TEST(State, DamagedChunksLeaveTheInstanceSound) {
  Seeded s;
  Instance plugin;
  plugin.Start(48000.0f, 512);
  RandomiseParams(plugin, s);
  const std::vector<uint8_t> programChunk = GetChunk(plugin, true);
  const std::vector<uint8_t> bankChunk = GetChunk(plugin, false);
  HostBuffers b;
  b.Resize(512);
  Program program;
  for (int i = 0; i < Iterations(400); ++i) {
    const bool asProgram = s.Chance(0.5);
    std::vector<uint8_t> chunk = asProgram ? programChunk : bankChunk;
    switch (s.Int(0, 3)) {
      case 0:
        chunk.resize(static_cast<size_t>(s.Int(0, static_cast<int>(chunk.size()))));
        break;
      case 1:
        for (int k = s.Int(1, 64); k > 0; --k) chunk.push_back(static_cast<uint8_t>(s.Int(0, 255)));
        break;
      default:
        for (int k = s.Int(1, 8); k > 0; --k) {
          chunk[static_cast<size_t>(s.Int(0, static_cast<int>(chunk.size()) - 1))] =
              static_cast<uint8_t>(s.Int(0, 255));
        }
    }
    SetChunk(plugin, asProgram, chunk);
    ASSERT_NO_FATAL_FAILURE(ExpectParamsValid(plugin));
    ASSERT_FALSE(GetChunk(plugin, !asProgram).empty());
    Fill(program, b, 512, 48000.0);
    const double ceiling = CeilingFor(plugin);
    ProcessBlock(plugin, b, 512, Precision::kDouble);
    ASSERT_EQ(CheckBlock(b, 512, ceiling), "") << "after damaged chunk " << i;
  }
}

}  // namespace
}  // namespace qd::validator
