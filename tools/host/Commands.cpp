#include "tools/host/Commands.h"

#include <sndfile.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "tools/host/AudioFile.h"
#include "tools/host/EditorSession.h"
#include "tools/host/Generator.h"
#include "tools/host/HostError.h"
#include "tools/host/Master.h"
#include "tools/host/Meter.h"
#include "tools/host/PluginHost.h"
#include "tools/host/Report.h"
#include "tools/host/ReportPicture.h"
#include "tools/host/StateFile.h"

namespace qd::host {

namespace {

namespace fs = std::filesystem;

constexpr const char* kUsage =
    "usage:\n"
    "  qdhost info PLUGIN.so\n"
    "  qdhost render PLUGIN.so INPUT OUTPUT [options]\n"
    "  qdhost state PLUGIN.so STATEFILE [options]   save the state after --load-state/--set\n"
    "  qdhost bench PLUGIN.so [PLUGIN.so ...] [options]\n"
    "  qdhost generate OUTPUT [--seconds S] [--rate HZ] [--peak DBFS]\n"
    "  qdhost measure AUDIOFILE [AUDIOFILE ...] [--json]\n"
    "  qdhost master INPUT [INPUT ...] --target LUFS [--true-peak DBTP] [-o DIR] [options]\n"
    "                            render each input through the plug-in, searching its drive\n"
    "                            so the output lands within 0.1 LU of the target with its\n"
    "                            true peak at most DBTP (default -1); exit status 3 when a\n"
    "                            target cannot be reached (the closest result is written)\n"
    "  qdhost edit PLUGIN.so [INPUT] [options]   open the editor in a window and play INPUT\n"
    "                            (or generated music) through it at real-time pace\n"
    "options:\n"
    "  --block N                 frames per processing call (default 512)\n"
    "  --tempo BPM               tempo the host reports, 0 for none (default 120)\n"
    "  --set NAME=TEXT           set a parameter from its display text, e.g. \"Limiter Level=6\"\n"
    "  --set-normalized NAME=V   set a parameter to a normalised value 0..1\n"
    "  --load-state FILE         apply a saved state before the settings above\n"
    "  --save-state FILE         save the state once the settings are applied\n"
    "  --precision best|double|float|accumulating   processing entry (default best)\n"
    "  --seconds S, --rate HZ    length and rate of the generated signal (bench, generate);\n"
    "                            edit: stop after S seconds\n"
    "  --input FILE              bench with this file instead of a generated signal\n"
    "  --runs N                  bench runs per plug-in; the fastest counts (default 3)\n"
    "  --quiet                   no progress bar\n"
    "  --json                    measure, render, master: the figures as JSON\n"
    "  --report FILE.png         render, master: a picture of the loudness over time and the\n"
    "                            figures (master with several inputs: a folder of pictures);\n"
    "                            render draws --target and --true-peak when given\n"
    "  --plugin FILE             master: the plug-in (default the QuarloDorvantix built with\n"
    "                            qdhost)\n"
    "  -o DIR                    master: the output folder (default beside each input, as\n"
    "                            NAME-master.EXT); the settings found go beside each output\n"
    "                            as a state file (.state)\n"
    "  --drive limiter|clipper|both   master: the drive searched (default limiter)\n"
    "  --bits 16|24|32f          master: the output's samples (default the input's); integer\n"
    "                            samples get flat TPDF dither\n"
    "  --no-dither               master: round without dither\n"
    "  --jobs N                  master: files rendered at once (default one per core)\n"
    "  --loop                    edit: play INPUT over and over until the window is closed\n";

struct Options {
  std::vector<std::string> positional;
  int block = 512;
  double tempo = 120.0;
  std::vector<std::pair<std::string, std::string>> textSettings;  // in command-line order
  std::vector<std::pair<std::string, std::string>> normalizedSettings;
  std::vector<bool> settingIsText;
  std::string loadState, saveState;
  Precision precision = Precision::kBest;
  double seconds = 20.0;
  int rate = 44100;
  double peakDb = -3.0;
  std::string input;
  int runs = 3;
  bool quiet = false;
  bool loop = false;
  bool secondsGiven = false;
  bool json = false;
  std::string report;
  // master
  std::string plugin, outDir, bits;
  double targetLufs = NAN;
  double truePeakDb = -1.0;
  bool dither = true;
  DriveSearch drive = DriveSearch::kLimiter;
  int jobs = 0;
};

HostError Usage(const std::string& message) {
  return HostError(message + "\n" + kUsage, kExitUsage);
}

double ParseNumber(const std::string& option, const std::string& text) {
  errno = 0;
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || errno == ERANGE || !std::isfinite(v)) {
    throw Usage(option + " needs a number, not '" + text + "'");
  }
  return v;
}

int ParseCount(const std::string& option, const std::string& text, int low, int high) {
  const double v = ParseNumber(option, text);
  if (v != std::floor(v) || v < low || v > high) {
    throw Usage(option + " needs a whole number from " + std::to_string(low) + " to " +
                std::to_string(high) + ", not '" + text + "'");
  }
  return static_cast<int>(v);
}

std::pair<std::string, std::string> SplitSetting(const std::string& option,
                                                 const std::string& text) {
  const size_t eq = text.rfind('=');
  if (eq == std::string::npos || eq == 0) {
    throw Usage(option + " needs NAME=VALUE, not '" + text + "'");
  }
  return {text.substr(0, eq), text.substr(eq + 1)};
}

Options Parse(int argc, const char* const* argv, int first) {
  Options o;
  for (int i = first; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) throw Usage(arg + " needs a value");
      return argv[++i];
    };
    if (arg == "--block") {
      o.block = ParseCount(arg, value(), 1, 1 << 20);
    } else if (arg == "--tempo") {
      o.tempo = ParseNumber(arg, value());
      if (o.tempo < 0.0 || o.tempo > 1000.0) throw Usage("--tempo must lie in 0..1000");
    } else if (arg == "--set") {
      o.textSettings.push_back(SplitSetting(arg, value()));
      o.settingIsText.push_back(true);
    } else if (arg == "--set-normalized") {
      o.normalizedSettings.push_back(SplitSetting(arg, value()));
      o.settingIsText.push_back(false);
    } else if (arg == "--load-state") {
      o.loadState = value();
    } else if (arg == "--save-state") {
      o.saveState = value();
    } else if (arg == "--precision") {
      const std::string p = value();
      if (p == "best")
        o.precision = Precision::kBest;
      else if (p == "double")
        o.precision = Precision::kDouble;
      else if (p == "float")
        o.precision = Precision::kFloat;
      else if (p == "accumulating")
        o.precision = Precision::kAccumulating;
      else
        throw Usage("--precision takes best, double, float or accumulating");
    } else if (arg == "--seconds") {
      o.seconds = ParseNumber(arg, value());
      if (o.seconds <= 0.0 || o.seconds > 3600.0) throw Usage("--seconds must lie in 0..3600");
      o.secondsGiven = true;
    } else if (arg == "--rate") {
      o.rate = ParseCount(arg, value(), 8000, 768000);
    } else if (arg == "--peak") {
      o.peakDb = ParseNumber(arg, value());
      if (o.peakDb > 0.0 || o.peakDb < -60.0) throw Usage("--peak must lie in -60..0 dBFS");
    } else if (arg == "--input") {
      o.input = value();
    } else if (arg == "--runs") {
      o.runs = ParseCount(arg, value(), 1, 100);
    } else if (arg == "--quiet") {
      o.quiet = true;
    } else if (arg == "--loop") {
      o.loop = true;
    } else if (arg == "--json") {
      o.json = true;
    } else if (arg == "--report") {
      o.report = value();
    } else if (arg == "--plugin") {
      o.plugin = value();
    } else if (arg == "-o" || arg == "--output-dir") {
      o.outDir = value();
    } else if (arg == "--target") {
      o.targetLufs = ParseNumber(arg, value());
      if (o.targetLufs < -70.0 || o.targetLufs > 0.0)
        throw Usage("--target must lie in -70..0 LUFS");
    } else if (arg == "--true-peak") {
      o.truePeakDb = ParseNumber(arg, value());
      if (o.truePeakDb < -30.0 || o.truePeakDb > 0.0) {
        throw Usage("--true-peak must lie in -30..0 dBTP");
      }
    } else if (arg == "--bits") {
      o.bits = value();
      if (o.bits != "16" && o.bits != "24" && o.bits != "32f")
        throw Usage("--bits takes 16, 24 or 32f");
    } else if (arg == "--no-dither") {
      o.dither = false;
    } else if (arg == "--drive") {
      const std::string d = value();
      if (d == "limiter")
        o.drive = DriveSearch::kLimiter;
      else if (d == "clipper")
        o.drive = DriveSearch::kClipper;
      else if (d == "both")
        o.drive = DriveSearch::kBoth;
      else
        throw Usage("--drive takes limiter, clipper or both");
    } else if (arg == "--jobs") {
      o.jobs = ParseCount(arg, value(), 1, 256);
    } else if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
      throw Usage("unknown option " + arg);
    } else {
      o.positional.push_back(arg);
    }
  }
  return o;
}

// A progress bar on standard error, drawn only when that is a terminal.
class Progress {
 public:
  Progress(std::ostream& err, bool enabled, int64_t total)
      : err_(err), enabled_(enabled && total > 0 && isatty(STDERR_FILENO)), total_(total) {}
  void Update(int64_t done) {
    if (!enabled_) return;
    const int percent = static_cast<int>(std::min<int64_t>(100, done * 100 / total_));
    if (percent == shown_) return;
    shown_ = percent;
    const int filled = percent * 40 / 100;
    err_ << "\r[" << std::string(filled, '#') << std::string(40 - filled, '.') << "] " << percent
         << "%" << std::flush;
  }
  void Finish() {
    if (enabled_ && shown_ >= 0) err_ << "\r" << std::string(48, ' ') << "\r" << std::flush;
  }

 private:
  std::ostream& err_;
  bool enabled_;
  int64_t total_;
  int shown_ = -1;
};

std::string FourCc(int32_t id) {
  std::string text;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const char c = static_cast<char>((static_cast<uint32_t>(id) >> shift) & 0xFF);
    if (c < 32 || c > 126) return "";
    text += c;
  }
  return text;
}

int FindParamOrThrow(HostedPlugin& plugin, const std::string& name) {
  const int index = plugin.FindParam(name);
  if (index < 0) {
    std::string known;
    for (int i = 0; i < plugin.ParamCount(); ++i) {
      known += i ? ", \"" : "\"";
      known += plugin.ParamName(i);
      known += '"';
    }
    throw HostError("unknown parameter \"" + name + "\"; " + plugin.EffectName() + " has " + known);
  }
  return index;
}

// Applies --load-state, then the settings in command-line order, then --save-state.
void ApplySettings(HostedPlugin& plugin, const Options& o, std::ostream& out) {
  if (!o.loadState.empty()) LoadStateFile(plugin, o.loadState);
  size_t text = 0, normalized = 0;
  for (bool isText : o.settingIsText) {
    if (isText) {
      const auto& [name, value] = o.textSettings[text++];
      const int index = FindParamOrThrow(plugin, name);
      if (!plugin.SetParamFromText(index, value)) {
        throw HostError("parameter \"" + plugin.ParamName(index) + "\" does not take the value \"" +
                        value + "\" (the plug-in did not accept the text)");
      }
    } else {
      const auto& [name, value] = o.normalizedSettings[normalized++];
      const int index = FindParamOrThrow(plugin, name);
      const double v = ParseNumber("--set-normalized " + name, value);
      if (v < 0.0 || v > 1.0) {
        throw HostError("a normalised value lies in 0..1, not " + value + " (parameter \"" +
                        plugin.ParamName(index) + "\")");
      }
      plugin.SetParam(index, static_cast<float>(v));
    }
  }
  if (!o.saveState.empty()) {
    SaveStateFile(plugin, o.saveState);
    out << "State saved to " << o.saveState << "\n";
  }
}

const char* PrecisionName(Precision p) {
  switch (p) {
    case Precision::kDouble:
      return "double precision";
    case Precision::kFloat:
      return "float";
    case Precision::kAccumulating:
      return "float accumulating";
    default:
      return "best";
  }
}

// ---------------------------------------------------------------- info

int Info(const Options& o, std::ostream& out) {
  if (o.positional.size() != 1) throw Usage("info takes one plug-in");
  HostedPlugin plugin(o.positional[0]);
  ApplySettings(plugin, o, out);
  vst2::AEffect& e = plugin.Effect();
  char id[64];
  std::snprintf(id, sizeof(id), "0x%08X", static_cast<uint32_t>(e.uniqueID));
  const std::string fourCc = FourCc(e.uniqueID);
  out << "Plug-in:    " << plugin.EffectName();
  const std::string vendor = plugin.VendorName();
  if (!vendor.empty()) out << " by " << vendor;
  out << "\n";
  const std::string product = plugin.ProductName();
  if (!product.empty()) out << "Product:    " << product << "\n";
  out << "File:       " << plugin.Path() << "\n";
  out << "Unique id:  " << id;
  if (!fourCc.empty()) out << " '" << fourCc << "'";
  out << "\n";
  out << "Version:    " << e.version << "\n";
  out << "Audio:      " << e.numInputs << " in, " << e.numOutputs << " out, latency "
      << e.initialDelay << " samples\n";
  std::string entries;
  if (e.flags & vst2::kEffFlagsCanDoubleReplacing) entries += "double, ";
  if (e.flags & vst2::kEffFlagsCanReplacing) entries += "float, ";
  entries += "accumulating";
  out << "Processing: " << entries << "\n";
  out << "Editor:     " << ((e.flags & vst2::kEffFlagsHasEditor) ? "yes" : "no") << "; state as "
      << (plugin.UsesChunks() ? "chunks" : "parameters") << "\n";
  out << "Parameters (" << plugin.ParamCount() << "):\n";
  size_t width = 4;
  for (int i = 0; i < plugin.ParamCount(); ++i) width = std::max(width, plugin.ParamName(i).size());
  for (int i = 0; i < plugin.ParamCount(); ++i) {
    char line[512];
    std::string display = plugin.ParamDisplay(i);
    const std::string label = plugin.ParamLabel(i);
    if (!label.empty()) {
      display += ' ';
      display += label;
    }
    std::snprintf(line, sizeof(line), "  %3d  %-*s  %-14s  (%.4f)\n", i, static_cast<int>(width),
                  plugin.ParamName(i).c_str(), display.c_str(),
                  static_cast<double>(plugin.GetParam(i)));
    out << line;
  }
  out << "Programs (" << plugin.ProgramCount() << "):\n";
  for (int i = 0; i < plugin.ProgramCount(); ++i) {
    out << "  " << i << "  " << plugin.ProgramName(i) << "\n";
  }
  return kExitOk;
}

// ---------------------------------------------------------------- render

// Feeds planar plug-in inputs from interleaved file frames: file channel c goes to input c;
// a mono file feeds every input; inputs beyond the file's channels get silence.
void Deinterleave(const std::vector<double>& frames, int fileChannels, int n,
                  std::vector<std::vector<double>>& inputs) {
  for (size_t c = 0; c < inputs.size(); ++c) {
    const int source = fileChannels == 1 ? 0 : static_cast<int>(c);
    for (int k = 0; k < n; ++k) {
      inputs[c][k] =
          source < fileChannels ? frames[static_cast<size_t>(k) * fileChannels + source] : 0.0;
    }
  }
}

int Render(const Options& o, std::ostream& out, std::ostream& err) {
  if (o.positional.size() != 3) throw Usage("render takes a plug-in, an input and an output file");
  const std::string& inputPath = o.positional[1];
  const std::string& outputPath = o.positional[2];
  AudioReader reader(inputPath);
  HostedPlugin plugin(o.positional[0]);
  if (plugin.OutputCount() < 1) throw HostError("the plug-in has no audio outputs");
  ApplySettings(plugin, o, out);
  const int rate = reader.SampleRate();
  const int fileChannels = reader.Channels();
  const int outChannels = plugin.OutputCount();
  plugin.Prepare(rate, o.block, o.tempo, o.precision, true);

  Meter inputMeter(fileChannels, rate);
  Meter outputMeter(outChannels, rate);
  AudioWriter writer(outputPath, reader.Format(), outChannels, rate);
  const int block = plugin.BlockSize();
  std::vector<double> fileFrames(static_cast<size_t>(block) * fileChannels);
  std::vector<double> outFrames(static_cast<size_t>(block) * outChannels);
  std::vector<std::vector<double>> inputs(plugin.InputCount(), std::vector<double>(block));
  std::vector<std::vector<double>> outputs(outChannels, std::vector<double>(block));
  std::vector<double*> inPtrs, outPtrs;
  for (auto& b : inputs) inPtrs.push_back(b.data());
  for (auto& b : outputs) outPtrs.push_back(b.data());

  // The plug-in's latency is compensated: its first `latency` output frames are dropped
  // and as many frames of silence follow the file.
  int64_t skip = std::max(0, plugin.Latency());
  int64_t tail = skip;
  Progress progress(err, !o.quiet, reader.Frames());
  int64_t done = 0;
  for (;;) {
    int n = reader.Read(fileFrames.data(), block);
    if (n > 0) {
      inputMeter.Add(fileFrames.data(), n);
      Deinterleave(fileFrames, fileChannels, n, inputs);
    } else if (tail > 0) {
      n = static_cast<int>(std::min<int64_t>(tail, block));
      tail -= n;
      for (auto& b : inputs) std::fill(b.begin(), b.end(), 0.0);
    } else {
      break;
    }
    plugin.Process(inPtrs.data(), outPtrs.data(), n);
    const int dropped = static_cast<int>(std::min<int64_t>(skip, n));
    skip -= dropped;
    const int kept = n - dropped;
    for (int k = 0; k < kept; ++k) {
      for (int c = 0; c < outChannels; ++c) {
        outFrames[static_cast<size_t>(k) * outChannels + c] = outputs[c][dropped + k];
      }
    }
    if (kept > 0) {
      writer.Write(outFrames.data(), kept);
      outputMeter.Add(outFrames.data(), kept);
    }
    done += n;
    progress.Update(done);
  }
  progress.Finish();
  plugin.Stop();
  writer.Close();

  const Measurement in = inputMeter.Result();
  const Measurement result = outputMeter.Result();
  if (!o.report.empty()) {
    PictureInfo info;
    info.title = PictureTitle(inputPath, outputPath);
    info.verdict = "through " + plugin.EffectName();
    info.targetLufs = o.targetLufs;  // a line only when --target is given
    info.truePeakLimitDb = o.truePeakDb;
    WriteReportPicture(o.report, in, result, info);
  }
  if (o.json) {
    Json json(out);
    json.Begin();
    json.String("input", inputPath);
    json.String("output", outputPath);
    json.String("plugin", plugin.EffectName());
    json.Integer("sample_rate", rate);
    json.Figures("input_figures", in);
    json.Figures("output_figures", result);
    json.End();
    return kExitOk;
  }
  char line[512];
  std::snprintf(line, sizeof(line), "%s -> %s (%s, %d ch in, %d ch out, %d Hz, %.2f s)\n",
                inputPath.c_str(), outputPath.c_str(), FormatName(reader.Format()).c_str(),
                fileChannels, outChannels, rate, static_cast<double>(in.frames) / rate);
  out << "Rendered " << line;
  char tempo[64] = "none";
  if (o.tempo > 0.0) std::snprintf(tempo, sizeof(tempo), "%g BPM", o.tempo);
  std::snprintf(line, sizeof(line), "through %s: block %d, tempo %s, %s\n",
                plugin.EffectName().c_str(), block, tempo, PrecisionName(plugin.ActivePrecision()));
  out << line;
  PrintReport(out, in, result);
  if (!o.report.empty()) out << "  Report picture: " << o.report << "\n";
  for (const auto& [index, record] : plugin.Automation()) {
    out << "  The plug-in automated \"" << plugin.ParamName(index) << "\" " << record.changes
        << " times; it ends at " << plugin.ParamDisplay(index);
    const std::string label = plugin.ParamLabel(index);
    if (!label.empty()) out << " " << label;
    out << "\n";
  }
  return kExitOk;
}

// ---------------------------------------------------------------- state

int State(const Options& o, std::ostream& out) {
  if (o.positional.size() != 2) throw Usage("state takes a plug-in and a state file");
  HostedPlugin plugin(o.positional[0]);
  Options withSave = o;
  withSave.saveState = o.positional[1];
  ApplySettings(plugin, withSave, out);
  return kExitOk;
}

// ---------------------------------------------------------------- bench

double ThreadCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + ts.tv_nsec * 1e-9;
}

int Bench(const Options& o, std::ostream& out, std::ostream& err) {
  if (o.positional.empty()) throw Usage("bench takes one or more plug-ins");
  // One signal for every plug-in: a file, or the generated music.
  int rate = o.rate;
  int channels = 2;
  std::vector<double> frames;
  if (!o.input.empty()) {
    AudioReader reader(o.input);
    rate = reader.SampleRate();
    channels = reader.Channels();
    std::vector<double> block(4096 * static_cast<size_t>(channels));
    for (int n; (n = reader.Read(block.data(), 4096)) > 0;) {
      frames.insert(frames.end(), block.begin(), block.begin() + n * channels);
    }
  } else {
    frames = GenerateMusic(rate, o.seconds, o.peakDb);
  }
  const int64_t total = static_cast<int64_t>(frames.size()) / channels;
  if (total == 0) throw HostError("the bench signal is empty");
  const double audioSeconds = static_cast<double>(total) / rate;
  char line[512];
  std::snprintf(line, sizeof(line), "Bench: %.1f s of %s at %d Hz, block %d, best of %d run%s\n",
                audioSeconds, o.input.empty() ? "generated music" : o.input.c_str(), rate, o.block,
                o.runs, o.runs == 1 ? "" : "s");
  out << line;
  std::snprintf(line, sizeof(line), "  %-28s %-20s %16s %14s\n", "plug-in", "processing",
                "CPU s per s", "realtime x");
  out << line;
  for (const std::string& path : o.positional) {
    HostedPlugin plugin(path);
    ApplySettings(plugin, o, out);
    const int block = std::max(1, o.block);
    // The whole signal per input channel, so a run is nothing but the processing calls and
    // the clock is read once per run: reading a thread's CPU clock is a system call that
    // costs about as much as processing a short block, so a reading around every call would
    // add that to every block's cost.
    std::vector<std::vector<double>> inputs(plugin.InputCount(),
                                            std::vector<double>(static_cast<size_t>(total)));
    Deinterleave(frames, channels, static_cast<int>(total), inputs);
    std::vector<std::vector<double>> outputs(plugin.OutputCount(), std::vector<double>(block));
    std::vector<double*> inPtrs(inputs.size()), outPtrs;
    for (auto& b : outputs) outPtrs.push_back(b.data());
    double best = HUGE_VAL;
    Progress progress(err, !o.quiet, total * o.runs);
    for (int run = 0; run < o.runs; ++run) {
      plugin.Prepare(rate, block, o.tempo, o.precision, false);
      const double start = ThreadCpuSeconds();
      for (int64_t pos = 0; pos < total; pos += block) {
        const int n = static_cast<int>(std::min<int64_t>(block, total - pos));
        for (size_t c = 0; c < inputs.size(); ++c) inPtrs[c] = inputs[c].data() + pos;
        plugin.Process(inPtrs.data(), outPtrs.data(), n);
      }
      best = std::min(best, ThreadCpuSeconds() - start);
      progress.Update((run + 1) * total);
    }
    progress.Finish();
    const double perSecond = best / audioSeconds;
    std::snprintf(line, sizeof(line), "  %-28s %-20s %16.5f %14.1f\n", plugin.EffectName().c_str(),
                  PrecisionName(plugin.ActivePrecision()), perSecond,
                  perSecond > 0.0 ? 1.0 / perSecond : HUGE_VAL);
    out << line;
  }
  return kExitOk;
}

// ---------------------------------------------------------------- generate

int Generate(const Options& o, std::ostream& out) {
  if (o.positional.size() != 1) throw Usage("generate takes one output file");
  const std::string& path = o.positional[0];
  const std::vector<double> frames = GenerateMusic(o.rate, o.seconds, o.peakDb);
  const bool flac = path.size() > 5 && path.compare(path.size() - 5, 5, ".flac") == 0;
  const int format = flac ? (SF_FORMAT_FLAC | SF_FORMAT_PCM_24) : (SF_FORMAT_WAV | SF_FORMAT_FLOAT);
  AudioWriter writer(path, format, 2, o.rate);
  writer.Write(frames.data(), static_cast<int>(frames.size() / 2));
  writer.Close();
  char line[512];
  std::snprintf(line, sizeof(line), "Generated %s: %.2f s of stereo music at %d Hz, peak %s dBFS\n",
                path.c_str(), o.seconds, o.rate, FormatDb(o.peakDb).c_str());
  out << line;
  return kExitOk;
}

// ---------------------------------------------------------------- edit

int Edit(const Options& o, std::ostream& out) {
  if (o.positional.empty() || o.positional.size() > 2) {
    throw Usage("edit takes a plug-in and an optional input file");
  }
  HostedPlugin plugin(o.positional[0]);
  ApplySettings(plugin, o, out);
  EditorSessionOptions session;
  AudioSource source;
  std::unique_ptr<AudioReader> reader;
  std::vector<double> music;
  size_t position = 0;
  std::string what;
  if (o.positional.size() == 2) {
    const std::string& path = o.positional[1];
    reader = std::make_unique<AudioReader>(path);
    session.sampleRate = reader->SampleRate();
    session.channels = reader->Channels();
    what = path;
    source = [&](double* frames, int n) {
      int got = reader->Read(frames, n);
      if (got == 0 && o.loop) {
        reader = std::make_unique<AudioReader>(path);  // from the top again
        got = reader->Read(frames, n);
      }
      return got;
    };
  } else {
    // Generated music, looped, when no file is given.
    music = GenerateMusic(o.rate, 20.0, o.peakDb);
    session.sampleRate = o.rate;
    what = "generated music";
    source = [&](double* frames, int n) {
      for (int k = 0; k < 2 * n; ++k) {
        frames[k] = music[position];
        position = (position + 1) % music.size();
      }
      return n;
    };
  }
  if (o.secondsGiven) session.seconds = o.seconds;
  plugin.Prepare(session.sampleRate, o.block, o.tempo, o.precision, false);
  const double played = RunEditorSession(plugin, source, session, out);
  plugin.Stop();
  char line[512];
  std::snprintf(line, sizeof(line), "Played %.2f s of %s through %s\n", played, what.c_str(),
                plugin.EffectName().c_str());
  out << line;
  return kExitOk;
}

// ---------------------------------------------------------------- measure

int MeasureFiles(const Options& o, std::ostream& out) {
  if (o.positional.empty()) throw Usage("measure takes one or more audio files");
  std::vector<Measurement> results;
  for (const std::string& path : o.positional) {
    AudioReader reader(path);
    Meter meter(reader.Channels(), reader.SampleRate());
    std::vector<double> frames(4096 * static_cast<size_t>(reader.Channels()));
    for (int n; (n = reader.Read(frames.data(), 4096)) > 0;) meter.Add(frames.data(), n);
    results.push_back(meter.Result());
  }
  if (o.json) {
    Json json(out);
    json.Begin().BeginArray("files");
    for (size_t i = 0; i < results.size(); ++i) {
      json.Begin().String("file", o.positional[i]).Figures("figures", results[i]).End();
    }
    json.EndArray().End();
    return kExitOk;
  }
  PrintMeasureHeader(out);
  for (size_t i = 0; i < results.size(); ++i) PrintMeasureRow(out, o.positional[i], results[i]);
  return kExitOk;
}

// ---------------------------------------------------------------- master

int MasterFiles(const Options& o, std::ostream& out, std::ostream& err) {
  if (o.positional.empty()) throw Usage("master takes one or more input files");
  if (std::isnan(o.targetLufs)) throw Usage("master needs --target LUFS");
  MasterOptions m;
  m.inputs = o.positional;
  m.plugin = o.plugin;
  m.targetLufs = o.targetLufs;
  m.truePeakDb = o.truePeakDb;
  m.outDir = o.outDir;
  m.bits = o.bits;
  m.dither = o.dither;
  m.drive = o.drive;
  m.jobs = o.jobs;
  m.report = o.report;
  m.json = o.json;
  m.quiet = o.quiet;
  m.block = o.block;
  m.tempo = o.tempo;
  m.precision = o.precision;
  if (!o.saveState.empty()) throw Usage("master saves the settings it finds beside each output");
  Options settings = o;
  m.applySettings = [settings](HostedPlugin& plugin) {
    std::ostringstream ignored;
    ApplySettings(plugin, settings, ignored);
  };
  return Master(m, out, err);
}

}  // namespace

int RunCommandLine(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
  try {
    if (argc < 2) throw Usage("no command given");
    std::string command = argv[1];
    if (command == "--help" || command == "-h" || command == "help") {
      out << kUsage;
      return kExitOk;
    }
    if (command == "--bench") command = "bench";
    const Options o = Parse(argc, argv, 2);
    if (command == "info") return Info(o, out);
    if (command == "render") return Render(o, out, err);
    if (command == "state") return State(o, out);
    if (command == "bench") return Bench(o, out, err);
    if (command == "generate") return Generate(o, out);
    if (command == "measure") return MeasureFiles(o, out);
    if (command == "edit") return Edit(o, out);
    if (command == "master") return MasterFiles(o, out, err);
    throw Usage("unknown command '" + command + "'");
  } catch (const HostError& e) {
    err << "qdhost: " << e.what() << "\n";
    return e.Status();
  } catch (const std::exception& e) {
    err << "qdhost: " << e.what() << "\n";
    return kExitFailure;
  }
}

}  // namespace qd::host
