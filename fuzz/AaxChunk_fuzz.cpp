// The AAX state chunk from a stored session: SetChunk and CompareActiveChunk of the binding
// under the simulated host. The first byte shapes the record (chunk ID right or wrong, size
// field exact, short or negative); the rest is the chunk's data.
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "SimHost.h"
#include "effect/QuarloDorvantix.h"
#include "formats/aax/AaxDescription.h"
#include "formats/aax/PluginAax.h"
#include "fuzz/FuzzSupport.h"

namespace {

struct AaxFixture {
  AaxFixture() {
    auto owned = std::make_unique<qd::QuarloDorvantix>(qd::PortLabels::kPerBus);
    plugin = owned.get();
    params = new qd::AAX_CPluginParameters(std::move(owned));
    host = std::make_unique<sim::Instance>(static_cast<aax::IEffectParameters*>(params),
                                           &qd::RenderDispatch, nullptr, aax::kStemStereo,
                                           aax::kStemStereo, 48000.0);
    defaults = host->SaveChunk();
  }
  qd::QuarloDorvantix* plugin = nullptr;
  qd::AAX_CPluginParameters* params = nullptr;  // owned by the host's reference
  std::unique_ptr<sim::Instance> host;
  std::vector<uint8_t> defaults;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static AaxFixture f;
  // The simulated host keeps every request posted to it; a run of millions of inputs would
  // otherwise fill memory with them.
  f.host->AutomationDelegate().Clear();
  f.host->RestoreChunk(f.defaults);
  if (size < 1) return 0;
  const uint8_t shape = data[0];
  // The record the host hands over: header, then exactly the data bytes.
  std::vector<uint8_t> record(aax::kChunkHeaderSize + (size - 1));
  std::memcpy(record.data(), f.defaults.data(), aax::kChunkHeaderSize);
  if (size > 1) std::memcpy(record.data() + aax::kChunkHeaderSize, data + 1, size - 1);
  auto* chunk = reinterpret_cast<aax::ChunkRecord*>(record.data());
  const int32_t available = static_cast<int32_t>(size - 1);
  switch ((shape >> 1) & 3) {
    case 0:
      chunk->size = available;
      break;
    case 1:
      chunk->size = available - std::min<int32_t>(available, shape >> 3);
      break;
    case 2:
      chunk->size = -static_cast<int32_t>(shape >> 3) - 1;
      break;
    default:
      chunk->size = 0;
      break;
  }
  if (shape & 1) chunk->chunkId ^= 0x01000000u;

  bool equal = false;
  f.params->CompareActiveChunk(chunk, &equal);
  f.params->SetChunk(chunk->chunkId, chunk);
  for (int i = 0; i < f.plugin->ParamCount(); ++i) {
    const qd::PluginParam* p = f.plugin->GetParam(i);
    const double v = p->Value();
    if (!std::isfinite(v) || v < p->MinValue() || v > p->MaxValue()) {
      qd::fuzz::Fail("parameter outside its range after SetChunk", i, v);
    }
  }
  // What the plug-in holds now is written out and compares equal to itself.
  const std::vector<uint8_t> saved = f.host->SaveChunk();
  if (!f.host->CompareChunk(saved)) qd::fuzz::Fail("a saved chunk differs from itself", 0, 0.0);
  std::vector<float> in(64, 0.5f), out(64);
  float* ins[2] = {in.data(), in.data()};
  float* outs[2] = {out.data(), out.data()};
  f.host->Render(ins, outs, 64);
  for (float v : out) {
    if (!std::isfinite(v) || std::fabs(v) > 1.72f) qd::fuzz::Fail("unsound output", 0, v);
  }
  return 0;
}
