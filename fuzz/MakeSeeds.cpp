// Writes the seed corpora from what the plug-in itself produces: program and bank chunks at
// the defaults and at several settings, the display texts of every parameter, and the
// editor's own small images. Run by scripts/fuzz.sh --seeds; the output is committed.
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"

namespace {

void Write(const std::string& dir, const std::string& name, const std::vector<uint8_t>& bytes) {
  std::ofstream out(dir + "/" + name, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> Chunk(qd::fuzz::Vst2Fixture& f, bool program) {
  void* data = nullptr;
  const intptr_t size = f.Dispatch(qd::vst2::effGetChunk, program ? 1 : 0, 0, &data);
  const auto* bytes = static_cast<const uint8_t*>(data);
  return std::vector<uint8_t>(bytes, bytes + size);
}

std::vector<uint8_t> Prefixed(uint8_t first, const std::vector<uint8_t>& rest) {
  std::vector<uint8_t> v{first};
  v.insert(v.end(), rest.begin(), rest.end());
  return v;
}

std::vector<uint8_t> Prefixed(uint8_t first, const std::string& rest) {
  return Prefixed(first, std::vector<uint8_t>(rest.begin(), rest.end()));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s CORPUS_ROOT\n", argv[0]);
    return 2;
  }
  const std::string root = argv[1];
  using namespace qd;
  fuzz::Vst2Fixture& f = fuzz::Vst2Fixture::Get();
  std::mt19937 rng(1);
  for (int setting = 0; setting < 4; ++setting) {
    f.Restore();
    if (setting > 0) {
      for (int p = 0; p < f.Plugin().ParamCount() - 1; ++p) {
        f.Effect()->setParameter(f.Effect(), p, static_cast<float>(rng() % 1001) / 1000.0f);
      }
    }
    const std::vector<uint8_t> program = Chunk(f, true);
    const std::vector<uint8_t> bank = Chunk(f, false);
    const std::string n = std::to_string(setting);
    Write(root + "/vst2_chunk", "program-" + n, Prefixed(1, program));
    Write(root + "/vst2_chunk", "bank-" + n, Prefixed(0, bank));
    // Start position 8: the parameters right after the header.
    Write(root + "/unserialize_params", "params-" + n, Prefixed(16, program));
    for (int p = 0; p < f.Plugin().ParamCount(); ++p) {
      char text[64] = {};
      f.Dispatch(vst2::effGetParamDisplay, p, 0, text);
      const std::string name = "param" + std::to_string(p) + "-" + n;
      Write(root + "/string2parameter", name, Prefixed(static_cast<uint8_t>(p + 2), text));
      Write(root + "/text_entry", name, Prefixed(static_cast<uint8_t>(p), text));
    }
  }
  return 0;
}
