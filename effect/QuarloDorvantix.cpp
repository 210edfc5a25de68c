#include "effect/QuarloDorvantix.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "effect/EditorLayout.h"
#include "framework/Text.h"
#include "graphics/Graphics.h"
#include "graphics/bitmap/CairoBridge.h"
#include "resources/ResourceTable.h"

namespace qd {

namespace {

PluginIdentity Identity() {
  PluginIdentity id;
  id.paramCount = kNumParams;
  id.channelConfig = kChannelConfig;
  id.presetCount = 1;
  id.effectName = kEffectName;
  id.productName = "";
  id.makerName = kMakerName;
  id.version = kPluginVersion;
  id.uniqueId = kPluginUniqueId;
  id.makerId = kPluginManufacturerId;
  id.latency = 0;
  id.doesMidi = true;
  id.doesChunks = false;
  id.isInstrument = false;
  return id;
}

using Lock = std::lock_guard<PluginMutex>;

constexpr int kOversampleCapacity = 16384;  // samples per channel in each oversampler
constexpr double kLargestInput = 1e6;       // +120 dBFS

int FactorFromParam(double value) {
  switch (TruncateToInt(value)) {
    case 1:
      return 2;
    case 2:
      return 4;
    default:
      return 1;
  }
}

double BarPosition(double linear) {
  return std::clamp((GainToDb(linear) + 24.0) / 24.0, 0.0, 1.0);
}

double ReductionPosition(double db) { return db > 0.0 ? std::clamp(db / 12.0, 0.0, 1.0) : 0.0; }

// Neumaier's compensated summation step.
void CompensatedAdd(double& sum, double& compensation, double term) {
  const double t = sum + term;
  if (std::fabs(sum) >= std::fabs(term)) {
    compensation += (sum - t) + term;
  } else {
    compensation += (term - t) + sum;
  }
  sum = t;
}

}  // namespace

QuarloDorvantix::QuarloDorvantix(PortLabels labels, bool withEditor)
    : PluginBase(Identity()),
      limiter_(std::make_unique<Limiter>()),
      clipper_(std::make_unique<Clipper>()) {
  clipperMeter_.rate = 44100;
  limiterMeter_.rate = 44100;
  DefineParameters(kParamTable);
  if (withEditor) {
    std::unique_ptr<Graphics> editor = BuildEditor(*this, *this);
    SetSurfaceBridge(std::make_unique<CairoBridge>(this, PluginModule()));
    AttachEditor(std::move(editor));
  }
  InitPresetsFromState("-", 1);
  if (labels == PortLabels::kPerChannel) {
    SetInputLabel(0, "main input L");
    SetInputLabel(1, "main input R");
    SetOutputLabel(0, "output L");
    SetOutputLabel(1, "output R");
  } else {
    SetInputBusLabel(0, "main input");
    SetOutputBusLabel(0, "output");
  }
  clipper_->SetSampleRate(44100);
  clipper_->SetChannelCount(2);
  clipper_->SetOversampling(1);
  limiter_->SetSampleRate(44100);
  limiter_->SetChannelCount(2);
  limiter_->SetOversampling(1);
  // Every default takes effect before the first block, and the engine is ready for the
  // base's sample rate even if a host processes without announcing one.
  NotifyAllParamsChanged(kSourceHostOpen);
  ResetProcessing();
}

QuarloDorvantix::~QuarloDorvantix() {
  clipper_.reset();
  limiter_.reset();
}

void QuarloDorvantix::RecreateLoudnessState() {
  loudness_.Prepare(SampleRateInt());
  ReadLoudness();
}

void QuarloDorvantix::ReadLoudness() {
  lastIntegrated_ = loudness_.Prepared() ? loudness_.Integrated() : 0.0;
  lastRange_ = loudness_.Prepared() ? loudness_.Range() : 0.0;
}

void QuarloDorvantix::ResetMeters() {
  longTermSum_ = 0.0;
  longTermCompensation_ = 0.0;
  longTermCount_ = 0;
  loudness_.Reset();
  ReadLoudness();
}

void QuarloDorvantix::ResetProcessing() {
  Lock lock(Mutex());
  const int sr = SampleRateInt();
  clipper_->SetSampleRate(sr);
  clipper_->SetChannelCount(2);
  limiter_->SetSampleRate(sr);
  limiter_->SetChannelCount(2);
  autoOutput_.Prepare(sr, 2);
  lastBlockSize_ = 0;
  RecreateLoudnessState();
  for (RMSBuffer* rms : {&rmsLeft_, &rmsRight_}) {
    rms->SetSampleRate(sr);
    rms->Resize(600.0);
  }
  for (int c = 0; c < 2; ++c) {
    peaks_.attack[c] = FortyDbFallCoefficient(sr, 1.0);
    peaks_.release[c] = FortyDbFallCoefficient(sr, 300.0);
  }
}

void QuarloDorvantix::ParamChanged(int index, int) {
  Lock lock(Mutex());
  const PluginParam* param = GetParam(index);
  if (!param) return;
  const double value = param->Value();
  PluginEditor* editor = Editor();
  switch (index) {
    case kClipperLevel:
      clipper_->drive = DbToGain(value);
      RestartAutomaticOutput();
      break;
    case kSoftClipper:
      clipper_->soft = value >= 0.5;
      break;
    case kClipperOversample:
      clipper_->SetOversampling(FactorFromParam(value));
      break;
    case kLimiterLevel:
      limiter_->drive = DbToGain(value);
      RestartAutomaticOutput();
      break;
    case kAutoRelease:
      limiter_->autoFlag = value >= 0.5 ? 1.0 : 0.0;
      limiter_->UpdateReleaseCoefficients();
      if (editor) editor->GrayParamControls(kReleaseTime, limiter_->autoFlag == 1.0);
      break;
    case kReleaseTime:
      limiter_->manualReleaseMs = value;
      if (limiter_->autoFlag == 0.0) limiter_->UpdateReleaseCoefficients();
      break;
    case kLimiterOversample:
      limiter_->SetOversampling(FactorFromParam(value));
      break;
    case kOutputLevel:
    case kAutoOutputLevel:
      break;
    case kAutoOutputTarget:
      autoOutput_.SetTarget(value);
      break;
    case kAutoOutType: {
      const int type = TruncateToInt(value);
      autoOutput_.SetMode(type == 0 ? AutoOutput::kPeak
                                    : type == 1 ? AutoOutput::kRms : AutoOutput::kLufs);
      break;
    }
    case kResetMeters:
      ResetMeters();
      break;
    default:
      break;
  }
}

int QuarloDorvantix::SliceCapacity() const {
  const int factor = std::max({1, clipper_->Oversampling(), limiter_->Oversampling()});
  return std::min(kWorkFrames, kOversampleCapacity / factor);
}

void QuarloDorvantix::ProcessAudio(double** inputs, double** outputs, int nFrames) {
  if (nFrames < 1 || !outputs || !outputs[0] || !outputs[1]) return;
  UpdateTempo();
  const int capacity = SliceCapacity();
  for (int offset = 0; offset < nFrames;) {
    const int frames = std::min(capacity, nFrames - offset);
    ProcessSlice(inputs, outputs, offset, frames);
    offset += frames;
  }
  ++blocksPublished_;
  published_.PublishWith([this](MeterSnapshot& slot) { FillPublishedMeters(slot); });
}

void QuarloDorvantix::UpdateTempo() {
  const double t = HostTempo();
  Limiter& lim = *limiter_;
  if (!lim.hasTempo || t != lim.lastTempo) {
    lim.lastTempo = t;
    lim.hasTempo = true;
    if (t > 0.0 && std::isfinite(t)) {
      lim.autoReleaseMs = 60000.0 / t * 0.25;
      if (lim.autoFlag == 1.0) lim.UpdateReleaseCoefficients();
    }
  }
}

namespace {

// A stage's readout in dB: GainToDb, with the common no-reduction case (exactly 0 dB) spared
// the logarithm.
double ReadoutDb(double readout) {
  return readout == 1.0 ? 0.0 : GainToDb(readout);
}

}  // namespace

void QuarloDorvantix::ProcessSlice(double** inputs, double** outputs, int offset, int nFrames) {
  // Copy the input, completing mono to stereo. A non-finite sample would poison the
  // recursive filter and limiter state for good, so it enters the chain as silence; a finite
  // sample far beyond any real signal is held at +120 dBFS, where the clipper and limiter
  // drives cannot overflow it to infinity.
  const double* inL = (inputs && inputs[0]) ? inputs[0] + offset : nullptr;
  const double* inR = (inputs && inputs[1] && IsInputConnected(1)) ? inputs[1] + offset : inL;
  double* left = channels_[0].data();
  double* right = channels_[1].data();
  CopyInputSafely(inL, nFrames, kLargestInput, left);
  CopyInputSafely(inR, nFrames, kLargestInput, right);
  double* io[2] = {left, right};

  clipper_->Process(io, nFrames);
  const double clipperDb = ReadoutDb(clipper_->readout);
  limiter_->Process(io, nFrames);
  const double limiterDb = ReadoutDb(limiter_->readout);

  double* work = work_.data();
  for (int k = 0; k < nFrames; ++k) {
    work[2 * k] = left[k];
    work[2 * k + 1] = right[k];
  }
  if (GetParam(kAutoOutputLevel)->Value() >= 0.5) ApplyAutomaticOutput(nFrames);

  // The level changes rarely (or once per block with the automatic output level); the gain
  // is recomputed only when it does.
  const double outputDb = GetParam(kOutputLevel)->Value();
  if (!(outputDb == lastOutputDb_)) {
    lastOutputDb_ = outputDb;
    lastOutputGain_ = DbToGain(outputDb);
  }
  const double gain = lastOutputGain_;
  for (int i = 0; i < 2 * nFrames; ++i) work[i] *= gain;

  FeedLoudness(nFrames);

  double* outL = outputs[0] + offset;
  double* outR = outputs[1] + offset;
  // Long-term RMS: a plain sum over the block, then one compensated step into the total.
  const double blockSum = SplitAndMeasureOutput(work, nFrames, outL, outR, peaks_);
  CompensatedAdd(longTermSum_, longTermCompensation_, blockSum);
  longTermCount_ += 2 * static_cast<int64_t>(nFrames);

  rmsLeft_.Push(outL, nFrames);
  rmsRight_.Push(outR, nFrames);

  UpdateGainReductionMeters(clipperDb, limiterDb, nFrames);
}

void QuarloDorvantix::ApplyAutomaticOutput(int nFrames) {
  const double g = autoOutput_.Measure(work_.data(), nFrames);
  PluginParam* output = GetParam(kOutputLevel);
  double d = GainToDb(g);
  if (d < output->MinValue() || std::isnan(d)) {
    d = output->MinValue();
  } else if (d > output->MaxValue()) {
    d = output->MaxValue();
  }
  output->SetClamped(d);
  PostParamChangeFromEngine(kOutputLevel);
  ++outputLevelSets_;  // the editor shows the new value on its tick
}

void QuarloDorvantix::FeedLoudness(int nFrames) {
  if (!loudness_.Prepared()) {
    ReadLoudness();
    return;
  }
  const int64_t step = loudness_.FramesPer100ms();
  const int64_t before = loudness_.FramesFed() / step;
  loudness_.AddFrames(work_.data(), nFrames);
  // The gated measurements change only when a new 100 ms block completes.
  if (loudness_.FramesFed() / step != before) ReadLoudness();
}

void QuarloDorvantix::UpdateGainReductionMeters(double clipperDb, double limiterDb,
                                                int nFrames) {
  const double sr = SampleRate();
  auto restartHold = [&] {
    clipperHold_ = 0.0;
    limiterHold_ = 0.0;
    holdBlocksLeft_ = TruncateToInt(sr * 3.0 / nFrames);
  };
  if (nFrames != lastBlockSize_) {
    // The followers run once per block, so their coefficients follow the block length. The
    // first block after a reset starts them from rest; a later change of length (a host that
    // varies its buffer, a block cut into slices) keeps the envelopes and the holds, with the
    // hold's remaining time counted in blocks of the new length.
    const bool fresh = lastBlockSize_ == 0;
    const int blocksPerSecond = TruncateToInt(sr / nFrames);
    for (EnvelopeFollower* f : {&clipperMeter_, &limiterMeter_}) {
      f->rate = blocksPerSecond;
      if (fresh) f->envelope = 0.0;
      f->attack = std::exp(-1.0 / (blocksPerSecond * 0.001));
      f->release = std::exp(-1.0 / (blocksPerSecond * 0.1));
    }
    if (fresh) {
      restartHold();
    } else {
      holdBlocksLeft_ =
          TruncateToInt(static_cast<double>(holdBlocksLeft_) * lastBlockSize_ / nFrames);
    }
    lastBlockSize_ = nFrames;
  } else if (holdBlocksLeft_ <= 0) {
    restartHold();
  }
  const double clip = clipperMeter_.Update(std::fabs(clipperDb));
  if (clip > clipperHold_ || holdBlocksLeft_ <= 0) clipperHold_ = clip;
  const double lim = limiterMeter_.Update(std::fabs(limiterDb));
  if (lim > limiterHold_ || holdBlocksLeft_ <= 0) limiterHold_ = lim;
  --holdBlocksLeft_;
}

MeterSnapshot QuarloDorvantix::CurrentMeters() const {
  MeterSnapshot m;
  FillPublishedMeters(m);
  FinishMeterSnapshot(m);
  return m;
}

bool QuarloDorvantix::TakeMeters(MeterSnapshot* out) {
  if (!out || !published_.Take(out)) return false;
  FinishMeterSnapshot(*out);
  return true;
}

void FinishMeterSnapshot(MeterSnapshot& m) {
  if (m.hasRms) {
    const double sum = std::max(0.0, m.longTermSum + m.longTermCompensation);
    m.rmsDb = GainToDb(std::sqrt(sum / static_cast<double>(m.longTermCount)));
  }
  m.rmsLeft = RMSBuffer::RmsOf(m.rmsLeftTotals);
  m.rmsRight = RMSBuffer::RmsOf(m.rmsRightTotals);
}

void QuarloDorvantix::FillPublishedMeters(MeterSnapshot& m) const {
  m.hasRms = longTermCount_ > 0;
  m.longTermSum = longTermSum_;
  m.longTermCompensation = longTermCompensation_;
  m.longTermCount = longTermCount_;
  m.integratedLufs = lastIntegrated_;
  m.rangeLu = lastRange_;
  m.rmsLeftTotals = rmsLeft_.CaptureTotals();
  m.rmsRightTotals = rmsRight_.CaptureTotals();
  m.peakLeft = peaks_.envelope[0];
  m.peakRight = peaks_.envelope[1];
  m.clipperReductionDb = clipperMeter_.envelope;
  m.clipperHoldDb = clipperHold_;
  m.limiterReductionDb = limiterMeter_.envelope;
  m.limiterHoldDb = limiterHold_;
  m.outputLevelSets = outputLevelSets_;
  m.block = blocksPublished_;
  // Computed from the sums by the reader (the slot may hold an earlier block's values).
  m.rmsDb = 0.0;
  m.rmsLeft = 0.0;
  m.rmsRight = 0.0;
}

MeterReadings FormatMeterReadings(const MeterSnapshot& s) {
  MeterReadings m;
  if (s.hasRms) {
    if (s.rmsDb > -40.0) {
      std::snprintf(m.rmsText, sizeof(m.rmsText), "%.2f dB", s.rmsDb);
    } else {
      std::snprintf(m.rmsText, sizeof(m.rmsText), "---");
    }
  }
  if (s.integratedLufs > -40.0) {
    std::snprintf(m.integratedText, sizeof(m.integratedText), "%.2f LUFS", s.integratedLufs);
  } else {
    std::snprintf(m.integratedText, sizeof(m.integratedText), "---");
  }
  if (s.rangeLu < 40.0) {
    std::snprintf(m.rangeText, sizeof(m.rangeText), "%.2f LU", s.rangeLu);
  } else {
    std::snprintf(m.rangeText, sizeof(m.rangeText), "---");
  }
  m.rmsLeft = BarPosition(s.rmsLeft);
  m.rmsRight = BarPosition(s.rmsRight);
  m.peakLeft = BarPosition(s.peakLeft);
  m.peakRight = BarPosition(s.peakRight);
  m.clipperReduction = ReductionPosition(s.clipperReductionDb);
  m.clipperHold = ReductionPosition(s.clipperHoldDb);
  m.limiterReduction = ReductionPosition(s.limiterReductionDb);
  m.limiterHold = ReductionPosition(s.limiterHoldDb);
  return m;
}

void QuarloDorvantix::SetLongTermAccumulator(double sumOfSquares, int64_t count) {
  Lock lock(Mutex());
  longTermSum_ = sumOfSquares;
  longTermCompensation_ = 0.0;
  longTermCount_ = count;
}

}  // namespace qd
