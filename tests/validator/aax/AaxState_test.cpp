// The AAX module's chunk saved, compared and restored at random moments while parameters
// are automated and audio runs; a restored state renders exactly the audio of the state it
// came from, and damaged chunks leave a sound instance.
#include "tests/validator/aax/AaxHarness.h"

namespace qd::validator {
namespace {

class AaxState : public AaxValidator {};

// Renders the same blocks through the instance, delivering the automation it posts as a
// host does after every block, and returns every output sample.
std::vector<float> RenderSequence(sim::Instance& instance, uint64_t seed, double rate, int blocks) {
  std::mt19937_64 rng(seed);
  FloatBuffers b;
  b.Resize(4096);
  Program program;
  std::vector<float> out;
  for (int i = 0; i < blocks; ++i) {
    const int n = static_cast<int>(rng() % 4097);
    Fill(program, b, n, rate);
    b.Render(instance, n);
    instance.DeliverAutomation();
    out.insert(out.end(), b.out[0].begin(), b.out[0].begin() + n);
    out.insert(out.end(), b.out[1].begin(), b.out[1].begin() + n);
  }
  return out;
}

TEST_F(AaxState, RestoredStateRendersExactlyTheAudioOfItsSource) {
  Seeded s;
  for (int round = 0; round < Iterations(12); ++round) {
    const double rate = s.Pick(HostRates());
    auto source = Create(1, rate);
    ASSERT_NE(source, nullptr);
    RandomiseParams(*source, s);
    aax::Result result = -1;
    const std::vector<uint8_t> chunk = source->SaveChunk(&result);
    ASSERT_EQ(result, aax::kSuccess);

    auto restored = Create(1, rate);
    RandomiseParams(*restored, s);  // whatever it held before is replaced
    EXPECT_FALSE(restored->CompareChunk(chunk));
    ASSERT_EQ(restored->RestoreChunk(chunk), aax::kSuccess);
    restored->DeliverAutomation();
    EXPECT_TRUE(restored->CompareChunk(chunk));
    EXPECT_EQ(restored->SaveChunk(), chunk) << "round " << round;

    // `restored` held other values before; a fresh instance is the exact reference.
    auto fresh = Create(1, rate);
    ASSERT_EQ(fresh->RestoreChunk(chunk), aax::kSuccess);
    fresh->DeliverAutomation();
    const uint64_t audioSeed = s.rng();
    const std::vector<float> a = RenderSequence(*source, audioSeed, rate, 12);
    const std::vector<float> b = RenderSequence(*fresh, audioSeed, rate, 12);
    ASSERT_EQ(a.size(), b.size());
    EXPECT_EQ(0, std::memcmp(a.data(), b.data(), sizeof(float) * a.size()))
        << "round " << round << ": the restored state renders other audio";
  }
}

TEST_F(AaxState, ChunksSavedComparedAndRestoredAtRandomMomentsWhileAutomating) {
  Seeded s;
  const double rate = s.Pick(HostRates());
  auto instance = Create(1, rate);
  ASSERT_NE(instance, nullptr);
  FloatBuffers b;
  b.Resize(4096);
  Program program;
  std::vector<std::vector<uint8_t>> saved;
  for (int block = 0; block < Iterations(1200); ++block) {
    if (s.Chance(0.3)) {
      const int p = s.Int(0, kParamCount - 1);
      instance->Params()->UpdateParameterNormalizedValue(AaxParamId(p).c_str(), RandomHostValue(s),
                                                         0);
    }
    switch (s.Int(0, 5)) {
      case 0: {
        instance->DeliverAutomation();
        aax::Result result = -1;
        saved.push_back(instance->SaveChunk(&result));
        ASSERT_EQ(result, aax::kSuccess);
        EXPECT_TRUE(instance->CompareChunk(saved.back())) << "block " << block;
        break;
      }
      case 1:
        if (!saved.empty()) {
          const std::vector<uint8_t>& state = s.Pick(saved);
          ASSERT_EQ(instance->RestoreChunk(state), aax::kSuccess);
          instance->DeliverAutomation();
          EXPECT_TRUE(instance->CompareChunk(state)) << "block " << block;
          EXPECT_EQ(instance->SaveChunk(), state) << "block " << block;
        }
        break;
      case 2:
        if (!saved.empty()) instance->CompareChunk(s.Pick(saved));
        break;
      default:
        break;
    }
    const int n = s.Int(0, 4096);
    Fill(program, b, n, rate);
    const double ceiling = Ceiling();
    b.Render(*instance, n);
    if (!Bypassed(*instance)) {
      ASSERT_EQ(CheckBlock(b, n, 2, ceiling), "") << "block " << block;
    }
    if (s.Chance(0.5)) instance->DeliverAutomation();
    ASSERT_NO_FATAL_FAILURE(ExpectParamsValid(*instance));
    if (block % 64 == 0) instance->AutomationDelegate().Clear();
  }
}

// A chunk from a damaged project: its bytes flipped, cut short, replaced or given another
// ID, always with a size that matches the bytes the host holds.
std::vector<uint8_t> Damage(std::vector<uint8_t> record, Seeded& s) {
  auto* chunk = reinterpret_cast<aax::ChunkRecord*>(record.data());
  const size_t dataSize = static_cast<size_t>(chunk->size);
  switch (s.Int(0, 4)) {
    case 0:  // flipped bytes in the data
      for (int k = s.Int(1, 8); k > 0 && dataSize > 0; --k) {
        record[aax::kChunkHeaderSize + static_cast<size_t>(s.Int(0, int(dataSize) - 1))] ^=
            static_cast<uint8_t>(s.Int(1, 255));
      }
      break;
    case 1: {  // cut short
      const int keep = s.Int(0, static_cast<int>(dataSize));
      chunk->size = keep;
      record.resize(aax::kChunkHeaderSize + static_cast<size_t>(keep));
      break;
    }
    case 2: {  // other bytes altogether
      const int size = s.Int(0, 300);
      record.resize(aax::kChunkHeaderSize + static_cast<size_t>(size));
      chunk = reinterpret_cast<aax::ChunkRecord*>(record.data());
      chunk->size = size;
      for (size_t k = aax::kChunkHeaderSize; k < record.size(); ++k) {
        record[k] = static_cast<uint8_t>(s.Int(0, 255));
      }
      break;
    }
    case 3:  // another plug-in's chunk ID
      chunk->chunkId = static_cast<uint32_t>(s.rng());
      break;
    default:  // a negative size: no data
      chunk->size = -s.Int(1, 1 << 30);
      record.resize(aax::kChunkHeaderSize);
      break;
  }
  return record;
}

TEST_F(AaxState, DamagedChunksLeaveASoundInstance) {
  Seeded s;
  auto instance = Create(1, 48000.0);
  ASSERT_NE(instance, nullptr);
  FloatBuffers b;
  b.Resize(1024);
  Program program;
  for (int i = 0; i < Iterations(400); ++i) {
    RandomiseParams(*instance, s);
    const std::vector<uint8_t> good = instance->SaveChunk();
    const std::vector<uint8_t> bad = Damage(good, s);
    instance->CompareChunk(bad);
    instance->RestoreChunk(bad);
    instance->DeliverAutomation();
    ASSERT_NO_FATAL_FAILURE(ExpectParamsValid(*instance)) << "damaged chunk " << i;
    Fill(program, b, 1024, 48000.0);
    b.Render(*instance, 1024);
    ASSERT_EQ(CheckBlock(b, 1024, 2, Ceiling()), "") << "damaged chunk " << i;
    // The good chunk still restores exactly.
    ASSERT_EQ(instance->RestoreChunk(good), aax::kSuccess);
    instance->DeliverAutomation();
    EXPECT_TRUE(instance->CompareChunk(good)) << "damaged chunk " << i;
    instance->AutomationDelegate().Clear();
  }
}

}  // namespace
}  // namespace qd::validator
