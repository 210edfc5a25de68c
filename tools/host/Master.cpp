#include "tools/host/Master.h"

#include <sndfile.h>
#include <unistd.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>

#include "tools/host/AudioFile.h"
#include "tools/host/HostError.h"
#include "tools/host/Meter.h"
#include "tools/host/Report.h"
#include "tools/host/ReportPicture.h"
#include "tools/host/StateFile.h"

namespace qd::host {

namespace fs = std::filesystem;

namespace {

// Plug-ins may share caches between their instances that are not safe to build from two
// threads at once, so instances are created, set up and destroyed one at a time; only
// their processing runs in parallel.
std::mutex gInstanceMutex;

// The true peak is held this far under the limit, so the last rounding of the output gain
// and the dither cannot lift it over.
constexpr double kTruePeakMargin = 0.05;
constexpr double kLoudnessTolerance = 0.1;  // LU either side of the target
constexpr int kMaxPasses = 16;

struct Audio {
  std::vector<double> frames;  // interleaved
  int channels = 0;
  int rate = 0;
  int format = 0;
};

Audio ReadAudio(const std::string& path) {
  AudioReader reader(path);
  Audio a;
  a.channels = reader.Channels();
  a.rate = reader.SampleRate();
  a.format = reader.Format();
  std::vector<double> block(65536 * static_cast<size_t>(a.channels));
  for (int n; (n = reader.Read(block.data(), 65536)) > 0;) {
    a.frames.insert(a.frames.end(), block.begin(), block.begin() + n * a.channels);
  }
  if (a.frames.empty()) throw HostError("'" + path + "' holds no audio");
  return a;
}

// Progress on standard error while it is a terminal: one line per file being worked on and
// one for the whole run, redrawn in place. Shared by the worker threads.
class ProgressBoard {
 public:
  ProgressBoard(std::ostream& err, bool enabled, int slots, int files)
      : err_(err),
        enabled_(enabled && isatty(STDERR_FILENO)),
        names_(slots),
        fractions_(slots, -1.0),
        passes_(slots, 0),
        files_(files) {}

  void Start(int slot, const std::string& name) {
    std::lock_guard<std::mutex> lock(mutex_);
    names_[slot] = name;
    fractions_[slot] = 0.0;
    passes_[slot] = 0;
    DrawLocked();
  }
  void Pass(int slot, int pass, double fraction) {
    std::lock_guard<std::mutex> lock(mutex_);
    const bool visible = static_cast<int>(fraction * 40) != static_cast<int>(fractions_[slot] * 40);
    fractions_[slot] = fraction;
    if (visible || pass != passes_[slot]) {
      passes_[slot] = pass;
      DrawLocked();
    }
  }
  // A file is finished: its slot empties and its text goes above the board.
  void Finish(int slot, const std::string& text, std::ostream& out) {
    std::lock_guard<std::mutex> lock(mutex_);
    fractions_[slot] = -1.0;
    ++done_;
    ClearLocked();
    out << text << std::flush;
    DrawLocked();
  }
  void Close() {
    std::lock_guard<std::mutex> lock(mutex_);
    ClearLocked();
  }

 private:
  static std::string Bar(double fraction, int width) {
    const int filled = std::clamp(static_cast<int>(fraction * width), 0, width);
    return "[" + std::string(filled, '#') + std::string(width - filled, '.') + "]";
  }
  void ClearLocked() {
    if (!enabled_ || drawn_ == 0) return;
    err_ << "\x1b[" << drawn_ << "F\x1b[J" << std::flush;
    drawn_ = 0;
  }
  void DrawLocked() {
    if (!enabled_) return;
    ClearLocked();
    std::ostringstream text;
    for (size_t s = 0; s < names_.size(); ++s) {
      if (fractions_[s] < 0.0) continue;
      std::string name = fs::path(names_[s]).filename().string();
      if (name.size() > 28) name = name.substr(0, 25) + "...";
      char line[256];
      std::snprintf(line, sizeof(line), "  %-28s pass %2d %s\n", name.c_str(), passes_[s],
                    Bar(fractions_[s], 30).c_str());
      text << line;
      ++drawn_;
    }
    char line[256];
    std::snprintf(line, sizeof(line), "  %-28s %2d/%-2d   %s\n", "all files", done_, files_,
                  Bar(files_ ? static_cast<double>(done_) / files_ : 1.0, 30).c_str());
    text << line;
    ++drawn_;
    err_ << text.str() << std::flush;
  }

  std::ostream& err_;
  bool enabled_;
  std::mutex mutex_;
  std::vector<std::string> names_;
  std::vector<double> fractions_;
  std::vector<int> passes_;
  int files_;
  int done_ = 0;
  int drawn_ = 0;
};

// A parameter the search moves, with its range read from the plug-in's own display.
struct SearchParam {
  int index = -1;
  std::string name;
  double start = 0.0, low = 0.0, high = 0.0;
};

double DisplayValue(HostedPlugin& plugin, int index) {
  const std::string text = plugin.ParamDisplay(index);
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (end == text.c_str() || !std::isfinite(v)) {
    throw HostError("parameter \"" + plugin.ParamName(index) + "\" shows '" + text +
                    "', not a number of dB");
  }
  return v;
}

SearchParam FindSearchParam(HostedPlugin& plugin, const std::string& name) {
  SearchParam p;
  p.index = plugin.FindParam(name);
  if (p.index < 0) {
    throw HostError(plugin.EffectName() + " has no parameter \"" + name +
                    "\", which master sets; use a plug-in that has it");
  }
  p.name = plugin.ParamName(p.index);
  const float normalized = plugin.GetParam(p.index);
  p.start = DisplayValue(plugin, p.index);
  plugin.SetParam(p.index, 0.0f);
  p.low = DisplayValue(plugin, p.index);
  plugin.SetParam(p.index, 1.0f);
  p.high = DisplayValue(plugin, p.index);
  plugin.SetParam(p.index, normalized);
  if (p.low > p.high) std::swap(p.low, p.high);
  return p;
}

void SetValue(HostedPlugin& plugin, const SearchParam& p, double value) {
  char text[64];
  std::snprintf(text, sizeof(text), "%.4f", std::clamp(value, p.low, p.high));
  if (!plugin.SetParamFromText(p.index, text)) {
    throw HostError("parameter \"" + p.name + "\" does not take the value " + text);
  }
}

std::string Signed(double db) {
  char text[32];
  std::snprintf(text, sizeof(text), "%+.2f", db == 0.0 ? 0.0 : db);
  return text;
}

// The file format of the output: the input's container and, unless asked, its sample format.
struct OutputFormat {
  int sndfileFormat = 0;
  int bits = 0;  // 16 or 24; 0 for float
  std::string name;
};

OutputFormat ChooseFormat(int inputFormat, const std::string& bits) {
  const int major = inputFormat & SF_FORMAT_TYPEMASK;
  const int sub = inputFormat & SF_FORMAT_SUBMASK;
  std::string want = bits;
  if (want.empty()) {
    switch (sub) {
      case SF_FORMAT_PCM_S8:
      case SF_FORMAT_PCM_U8:
      case SF_FORMAT_PCM_16:
        want = "16";
        break;
      case SF_FORMAT_FLOAT:
      case SF_FORMAT_DOUBLE:
      case SF_FORMAT_PCM_32:
        want = major == SF_FORMAT_FLAC ? "24" : "32f";
        break;
      default:
        want = "24";
    }
  }
  OutputFormat f;
  if (want == "16") {
    f.bits = 16;
    f.sndfileFormat = major | SF_FORMAT_PCM_16;
  } else if (want == "24") {
    f.bits = 24;
    f.sndfileFormat = major | SF_FORMAT_PCM_24;
  } else {
    f.bits = 0;
    f.sndfileFormat = major | SF_FORMAT_FLOAT;
  }
  SF_INFO check{};
  check.format = f.sndfileFormat;
  check.channels = 1;
  check.samplerate = 44100;
  if (!sf_format_check(&check)) {
    throw HostError(FormatName(major) + " files cannot hold " +
                    (f.bits ? std::to_string(f.bits) + "-bit" : std::string("32-bit float")) +
                    " samples; choose another --bits");
  }
  f.name = FormatName(f.sndfileFormat);
  return f;
}

// Where the output of `input` goes: into the output folder under its own name, or beside it.
std::string OutputPathFor(const MasterOptions& o, const std::string& input) {
  const fs::path in(input);
  if (o.outDir.empty()) {
    return (in.parent_path() / (in.stem().string() + "-master" + in.extension().string())).string();
  }
  return (fs::path(o.outDir) / in.filename()).string();
}

// What one file came to, for the summary and the JSON.
struct FileResult {
  std::string input, output, state, picture;
  int status = kExitOk;
  std::string message;  // the failure or the reason the target was missed
  Measurement in, out;
  std::vector<std::pair<std::string, double>> settings;  // name, dB
  int passes = 0;
};

class FileMaster {
 public:
  FileMaster(const MasterOptions& o, const std::string& pluginPath, const std::string& input,
             const std::string& report, ProgressBoard& board, int slot)
      : o_(o), pluginPath_(pluginPath), board_(board), slot_(slot), report_(report) {
    result_.input = input;
  }

  FileResult Run(std::ostream& log) {
    try {
      Master(log);
    } catch (const std::exception& e) {
      result_.status = kExitFailure;
      result_.message = e.what();
      log << "  FAILED: " << e.what() << "\n";
    }
    {
      std::lock_guard<std::mutex> lock(gInstanceMutex);
      plugin_.reset();
    }
    return result_;
  }

 private:
  struct Pass {
    double delta;
    Measurement m;
    // How far the pass is from what the target needs, in dB: the loudness still missing
    // after turning the output down to hold the true peak; at least 0 once reachable.
    double Reach(double target, double limit) const {
      const double peakRoom = (limit - kTruePeakMargin) - m.PlrDb() - target;
      return std::min(peakRoom, m.integratedLufs - target);
    }
  };

  void Master(std::ostream& log) {
    const std::string& input = result_.input;
    audio_ = ReadAudio(input);
    if (audio_.channels > 2) {
      throw HostError("'" + input + "' has " + std::to_string(audio_.channels) +
                      " channels; master takes mono or stereo");
    }
    const OutputFormat format = ChooseFormat(audio_.format, o_.bits);
    result_.output = OutputPathFor(o_, input);
    std::error_code ec;
    if (fs::equivalent(result_.output, input, ec)) {
      throw HostError("the output would overwrite the input '" + input + "'; choose -o DIR");
    }
    {
      std::lock_guard<std::mutex> lock(gInstanceMutex);
      plugin_ = std::make_unique<HostedPlugin>(pluginPath_);
      SetUp(log);
    }
    result_.in = MeasureFrames(audio_.frames, audio_.channels, audio_.rate);
    if (!std::isfinite(result_.in.integratedLufs)) {
      throw HostError("'" + input + "' is silent or shorter than 400 ms: it has no loudness");
    }
    log << "Mastering " << input << " to " << FormatDb(o_.targetLufs) << " LUFS, true peak at most "
        << FormatDb(o_.truePeakDb) << " dBTP (" << format.name << ")\n";

    // The drive: the user's settings first; more drive only when they cannot reach the target.
    double lowDelta = -HUGE_VAL, highDelta = HUGE_VAL;
    for (const SearchParam& p : drive_) {
      lowDelta = std::max(lowDelta, p.low - p.start);
      highDelta = std::min(highDelta, p.high - p.start);
    }
    const double target = o_.targetLufs, limit = o_.truePeakDb;
    Pass best = Render(0.0, log);
    std::string missed;
    if (best.Reach(target, limit) < 0.0) {
      Pass lo = best;
      Pass hi = Render(highDelta, log);
      if (hi.Reach(target, limit) < 0.0) {
        best = hi.Reach(target, limit) > lo.Reach(target, limit) ? hi : lo;
        missed = MissedReason(best);
      } else {
        // Regula falsi on the reach, which grows with the drive. The Illinois step halves
        // the value kept for an end that stays, so the bracket closes from both sides; a
        // reach a little above 0 is close enough (a fraction of a dB more drive than needed).
        double fLo = lo.Reach(target, limit), fHi = hi.Reach(target, limit);
        int side = 0;
        while (result_.passes < kMaxPasses - 1 && hi.delta - lo.delta > 0.05 && fHi > 0.15) {
          double delta = hi.delta - fHi * (hi.delta - lo.delta) / (fHi - fLo);
          if (!(delta > lo.delta + 0.02 && delta < hi.delta - 0.02)) {
            delta = 0.5 * (lo.delta + hi.delta);
          }
          Pass p = Render(delta, log);
          const double f = p.Reach(target, limit);
          if (f >= 0.0) {
            hi = p;
            fHi = f;
            if (side == 1) fLo *= 0.5;
            side = 1;
          } else {
            lo = p;
            fLo = f;
            if (side == -1) fHi *= 0.5;
            side = -1;
          }
        }
        best = hi;
      }
    }
    // The output level: the last fraction of a dB, down to the target, and further down
    // where the true peak needs it.
    double gain =
        std::min(target - best.m.integratedLufs, limit - kTruePeakMargin - best.m.truePeakDb);
    if (gain < output_.low) {
      missed = "it would need the output " + FormatDb(-gain) + " dB down, more than \"" +
               output_.name + "\" reaches";
    }
    gain = std::clamp(gain, output_.low, std::min(0.0, output_.high));
    std::vector<double> written;
    Measurement final = Final(best.delta, gain, format, written);
    // The engine's passes and the written file differ by the dither; one correction pass
    // takes up what that moved: towards the target, never past the true-peak limit.
    const double peakOver = final.truePeakDb - limit;
    const double loudnessOff = final.integratedLufs - target;
    if (peakOver > 0.0 || (missed.empty() && std::fabs(loudnessOff) > 0.5 * kLoudnessTolerance)) {
      const double peakCap = gain - peakOver - 0.02;
      const double corrected = std::clamp(std::min(gain - loudnessOff, peakCap), output_.low,
                                          std::min(0.0, output_.high));
      if (corrected != gain) {
        gain = corrected;
        final = Final(best.delta, gain, format, written);
      }
    }
    result_.out = final;
    const bool loud = std::fabs(final.integratedLufs - target) <= kLoudnessTolerance;
    const bool peakHeld = final.truePeakDb <= limit;
    if (missed.empty() && !(loud && peakHeld)) {
      missed = !peakHeld ? "the true peak could not be held under the limit"
                         : "the loudness could not be brought within 0.1 LU of the target";
    }

    // Settings found, then the file, the state and the picture.
    log << "  Settings found:";
    for (const SearchParam& p : drive_) {
      const double v = std::clamp(p.start + best.delta, p.low, p.high);
      result_.settings.emplace_back(p.name, v);
      log << " \"" << p.name << "\" " << Signed(v) << " dB,";
    }
    result_.settings.emplace_back(output_.name, gain);
    log << " \"" << output_.name << "\" " << Signed(gain) << " dB\n";
    WriteOutput(format, written);
    result_.state = fs::path(result_.output).replace_extension(".state").string();
    SaveStateFile(*plugin_, result_.state);
    PrintReport(log, result_.in, final);
    if (!report_.empty()) {
      PictureInfo info;
      info.title = PictureTitle(input, result_.output);
      info.targetLufs = target;
      info.truePeakLimitDb = limit;
      char verdict[512];
      std::snprintf(
          verdict, sizeof(verdict), "%s: %s LUFS, %s dBTP (target %s LUFS, limit %s dBTP)",
          missed.empty() ? "Target met" : "Target NOT met", FormatDb(final.integratedLufs).c_str(),
          FormatDb(final.truePeakDb).c_str(), FormatDb(target).c_str(), FormatDb(limit).c_str());
      info.verdict = verdict;
      WriteReportPicture(report_, result_.in, final, info);
      result_.picture = report_;
    }
    log << "  Wrote " << result_.output << " and its settings " << result_.state;
    if (!result_.picture.empty()) log << ", report picture " << result_.picture;
    log << "\n";
    if (missed.empty()) {
      log << "  Target met: " << FormatDb(final.integratedLufs) << " LUFS, true peak "
          << FormatDb(final.truePeakDb) << " dBTP\n";
    } else {
      result_.status = kExitTargetMissed;
      result_.message = missed;
      log << "  TARGET NOT REACHED: " << missed
          << ". The file holds the closest result found: " << FormatDb(final.integratedLufs)
          << " LUFS, true peak " << FormatDb(final.truePeakDb) << " dBTP\n";
    }
  }

  void SetUp(std::ostream& log) {
    HostedPlugin& plugin = *plugin_;
    if (plugin.OutputCount() < 1) throw HostError("the plug-in has no audio outputs");
    if (o_.applySettings) o_.applySettings(plugin);
    if (o_.drive != DriveSearch::kClipper)
      drive_.push_back(FindSearchParam(plugin, "Limiter Level"));
    if (o_.drive != DriveSearch::kLimiter)
      drive_.push_back(FindSearchParam(plugin, "Clipper Level"));
    output_ = FindSearchParam(plugin, "Output Level");
    const int autoOutput = plugin.FindParam("Auto output level");
    if (autoOutput >= 0 && plugin.GetParam(autoOutput) >= 0.5f) {
      plugin.SetParam(autoOutput, 0.0f);
      log << "  (\"" << plugin.ParamName(autoOutput)
          << "\" is switched off: master sets the output level itself)\n";
    }
  }

  std::string MissedReason(const Pass& best) const {
    const double plr = best.m.PlrDb();
    const double allowed = o_.truePeakDb - o_.targetLufs;
    char text[512];
    if (plr - kTruePeakMargin > allowed) {
      std::snprintf(text, sizeof(text),
                    "even at the most drive the peak-to-loudness ratio is %.2f dB, and the target "
                    "with its true-peak limit allows %.2f dB",
                    plr, allowed);
    } else {
      std::snprintf(text, sizeof(text), "even at the most drive the output reaches only %.2f LUFS",
                    best.m.integratedLufs);
    }
    return text;
  }

  // Renders the input through the plug-in, latency compensated, at the drive `delta` and
  // the output level `output` (dB); returns the output in the input's channel layout.
  std::vector<double> RenderAt(double delta, double output) {
    HostedPlugin& plugin = *plugin_;
    for (const SearchParam& p : drive_) SetValue(plugin, p, p.start + delta);
    SetValue(plugin, output_, output);
    ++result_.passes;
    board_.Pass(slot_, result_.passes, 0.0);
    plugin.Prepare(audio_.rate, o_.block, o_.tempo, o_.precision, true);
    const int block = plugin.BlockSize();
    const int fileChannels = audio_.channels;
    const int64_t frames = static_cast<int64_t>(audio_.frames.size()) / fileChannels;
    std::vector<std::vector<double>> inputs(plugin.InputCount(), std::vector<double>(block));
    std::vector<std::vector<double>> outputs(plugin.OutputCount(), std::vector<double>(block));
    std::vector<double*> inPtrs, outPtrs;
    for (auto& b : inputs) inPtrs.push_back(b.data());
    for (auto& b : outputs) outPtrs.push_back(b.data());
    std::vector<double> result(audio_.frames.size());
    const int64_t latency = std::max(0, plugin.Latency());
    // One second of silence after the programme lets the plug-in's envelopes fall back, so
    // the next pass starts as this one did.
    const int64_t total = frames + std::max<int64_t>(latency, audio_.rate);
    for (int64_t pos = 0; pos < total; pos += block) {
      const int n = static_cast<int>(std::min<int64_t>(block, total - pos));
      for (size_t c = 0; c < inputs.size(); ++c) {
        const int source = fileChannels == 1 ? 0 : static_cast<int>(c);
        for (int k = 0; k < n; ++k) {
          const int64_t f = pos + k;
          inputs[c][k] = (f < frames && source < fileChannels)
                             ? audio_.frames[static_cast<size_t>(f * fileChannels + source)]
                             : 0.0;
        }
      }
      plugin.Process(inPtrs.data(), outPtrs.data(), n);
      for (int k = 0; k < n; ++k) {
        const int64_t f = pos + k - latency;
        if (f < 0 || f >= frames) continue;
        for (int c = 0; c < fileChannels; ++c) {
          result[static_cast<size_t>(f * fileChannels + c)] =
              outputs[std::min(c, plugin.OutputCount() - 1)][k];
        }
      }
      if ((pos / block) % 64 == 0)
        board_.Pass(slot_, result_.passes, static_cast<double>(pos) / total);
    }
    plugin.Stop();
    board_.Pass(slot_, result_.passes, 1.0);
    return result;
  }

  Pass Render(double delta, std::ostream& log) {
    Pass p{delta, {}};
    const std::vector<double> out = RenderAt(delta, output_.high);
    p.m = MeasureFrames(out, audio_.channels, audio_.rate);
    char line[256];
    std::snprintf(line, sizeof(line),
                  "  pass %2d: drive %s dB -> %7s LUFS, true peak %6s dBTP, PLR %5s dB\n",
                  result_.passes, Signed(delta).c_str(), FormatDb(p.m.integratedLufs).c_str(),
                  FormatDb(p.m.truePeakDb).c_str(), FormatDb(p.m.PlrDb()).c_str());
    log << line;
    return p;
  }

  // The final pass at the settings found, quantised as the file will be; returns its
  // measurement and leaves the samples in `written`.
  Measurement Final(double delta, double gain, const OutputFormat& format,
                    std::vector<double>& written) {
    written = RenderAt(delta, gain);
    if (format.bits) QuantizeInPlace(written, format.bits, o_.dither);
    return MeasureFrames(written, audio_.channels, audio_.rate);
  }

  void WriteOutput(const OutputFormat& format, const std::vector<double>& samples) {
    AudioWriter writer(result_.output, format.sndfileFormat, audio_.channels, audio_.rate);
    const int frames = static_cast<int>(samples.size() / audio_.channels);
    if (format.bits) {
      // The samples already lie on the file's grid; they go out as their exact codes.
      const double scale = std::ldexp(1.0, 31);
      std::vector<int32_t> codes(samples.size());
      for (size_t i = 0; i < samples.size(); ++i) {
        codes[i] = static_cast<int32_t>(std::clamp(samples[i] * scale, -scale, scale - 1.0));
      }
      writer.WriteInt(codes.data(), frames);
    } else {
      writer.Write(samples.data(), frames);
    }
    writer.Close();
  }

  const MasterOptions& o_;
  std::string pluginPath_;
  ProgressBoard& board_;
  int slot_;
  std::string report_;
  FileResult result_;
  Audio audio_;
  std::unique_ptr<HostedPlugin> plugin_;
  std::vector<SearchParam> drive_;
  SearchParam output_;
};

void PrintSummary(std::ostream& out, const std::vector<FileResult>& results, double target,
                  double limit) {
  char line[1024];
  out << "Summary (target " << FormatDb(target) << " LUFS, true peak at most " << FormatDb(limit)
      << " dBTP):\n";
  std::snprintf(line, sizeof(line), "  %-32s %9s %9s %9s %9s %6s  %s\n", "file", "in LUFS",
                "out LUFS", "out dBTP", "drive dB", "passes", "result");
  out << line;
  for (const FileResult& r : results) {
    std::string name = fs::path(r.input).filename().string();
    if (name.size() > 32) name = name.substr(0, 29) + "...";
    const std::string verdict = r.status == kExitOk             ? "met"
                                : r.status == kExitTargetMissed ? "NOT REACHED"
                                                                : "FAILED: " + r.message;
    const bool measured = r.status != kExitFailure;
    const std::string drive =
        measured && !r.settings.empty() ? Signed(r.settings.front().second) : "";
    std::snprintf(line, sizeof(line), "  %-32s %9s %9s %9s %9s %6d  %s\n", name.c_str(),
                  measured ? FormatDb(r.in.integratedLufs).c_str() : "",
                  measured ? FormatDb(r.out.integratedLufs).c_str() : "",
                  measured ? FormatDb(r.out.truePeakDb).c_str() : "", drive.c_str(), r.passes,
                  verdict.c_str());
    out << line;
  }
}

void PrintJson(std::ostream& out, const std::vector<FileResult>& results, const MasterOptions& o,
               int status) {
  Json json(out);
  json.Begin();
  json.Number("target_lufs", o.targetLufs);
  json.Number("true_peak_limit_dbtp", o.truePeakDb);
  json.Integer("status", status);
  json.BeginArray("files");
  for (const FileResult& r : results) {
    json.Begin();
    json.String("input", r.input);
    json.String("result", r.status == kExitOk             ? "met"
                          : r.status == kExitTargetMissed ? "not_reached"
                                                          : "failed");
    if (!r.message.empty()) json.String("message", r.message);
    if (r.status != kExitFailure) {
      json.String("output", r.output);
      json.String("state", r.state);
      if (!r.picture.empty()) json.String("report", r.picture);
      json.Integer("passes", r.passes);
      json.Begin("settings_db");
      for (const auto& [name, value] : r.settings) json.Number(name.c_str(), value);
      json.End();
      json.Figures("input_figures", r.in);
      json.Figures("output_figures", r.out);
    }
    json.End();
  }
  json.EndArray();
  json.End();
}

}  // namespace

std::string DefaultPluginPath() {
  fs::path exe;
#ifdef _WIN32
  char buffer[MAX_PATH] = {};
  if (GetModuleFileNameA(nullptr, buffer, MAX_PATH) > 0) exe = buffer;
  const char* name = "QuarloDorvantix.dll";
#else
  std::error_code ec;
  exe = fs::read_symlink("/proc/self/exe", ec);
  const char* name = "QuarloDorvantix.so";
#endif
  if (exe.empty()) return "";
  const fs::path dir = exe.parent_path();
  // The build tree (tools/host/qdhost beside vst/), then an installation (bin/ and lib/vst/).
  for (const fs::path& candidate :
       {dir / ".." / ".." / "vst" / name, dir / ".." / "lib" / "vst" / name, dir / name}) {
    std::error_code ec;
    if (fs::is_regular_file(candidate, ec)) return fs::weakly_canonical(candidate, ec).string();
  }
  return "";
}

int Master(const MasterOptions& o, std::ostream& out, std::ostream& err) {
  if (o.inputs.empty()) throw HostError("master takes one or more input files", kExitUsage);
  // Two workers must never write one file.
  std::vector<std::string> outputs;
  for (const std::string& input : o.inputs) {
    outputs.push_back(fs::absolute(OutputPathFor(o, input)).lexically_normal().string());
  }
  std::sort(outputs.begin(), outputs.end());
  const auto twice = std::adjacent_find(outputs.begin(), outputs.end());
  if (twice != outputs.end()) {
    throw HostError("two inputs would both be written to " + *twice, kExitUsage);
  }
  const std::string plugin = o.plugin.empty() ? DefaultPluginPath() : o.plugin;
  if (plugin.empty()) {
    throw HostError("no QuarloDorvantix module found beside qdhost; name one with --plugin");
  }
  const bool folderReport = o.inputs.size() > 1;
  if (!o.outDir.empty()) {
    std::error_code ec;
    fs::create_directories(o.outDir, ec);
    if (!fs::is_directory(o.outDir))
      throw HostError("cannot make the output folder '" + o.outDir + "'");
  }
  if (!o.report.empty() && folderReport) {
    std::error_code ec;
    fs::create_directories(o.report, ec);
    if (!fs::is_directory(o.report)) {
      throw HostError("with several inputs --report names a folder for the pictures");
    }
  }
  const int files = static_cast<int>(o.inputs.size());
  const int cores = std::max(1u, std::thread::hardware_concurrency());
  const int jobs = std::clamp(o.jobs > 0 ? o.jobs : cores, 1, files);
  ProgressBoard board(err, !o.quiet, jobs, files);
  std::vector<FileResult> results(files);
  std::atomic<int> next{0};
  auto worker = [&](int slot) {
    for (int i; (i = next.fetch_add(1)) < files;) {
      const std::string& input = o.inputs[i];
      std::string report = o.report;
      if (!report.empty() && folderReport) {
        report = (fs::path(o.report) / (fs::path(input).stem().string() + ".png")).string();
      }
      board.Start(slot, input);
      std::ostringstream log;
      FileMaster master(o, plugin, input, report, board, slot);
      results[i] = master.Run(log);
      board.Finish(slot, o.json ? "" : log.str() + "\n", out);
    }
  };
  std::vector<std::thread> threads;
  for (int s = 1; s < jobs; ++s) threads.emplace_back(worker, s);
  worker(0);
  for (std::thread& t : threads) t.join();
  board.Close();

  int status = kExitOk;
  for (const FileResult& r : results) {
    if (r.status == kExitFailure) status = kExitFailure;
    if (r.status == kExitTargetMissed && status == kExitOk) status = kExitTargetMissed;
  }
  if (o.json) {
    PrintJson(out, results, o, status);
  } else {
    PrintSummary(out, results, o.targetLufs, o.truePeakDb);
  }
  for (const FileResult& r : results) {
    if (r.status == kExitFailure) err << "qdhost: " << r.input << ": " << r.message << "\n";
  }
  return status;
}

}  // namespace qd::host
