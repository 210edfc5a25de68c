#include "effect/QuarloDorvantix.h"
#include "framework/Text.h"
#include "graphics/Controls.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace qd {

namespace {

PluginIdentity Identity(int formatCode) {
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
  id.formatCode = formatCode;
  return id;
}

void DefineParameters(PluginBase& p) {
  p.GetParam(kClipperLevel)->DefineDouble("Clipper Level", 0.0, -6.0, 24.0, 0.1, "dB", "", 1.0);
  p.GetParam(kSoftClipper)->DefineBool("Soft Clipper", false, "", "");
  PluginParam* clipOs = p.GetParam(kClipperOversample);
  clipOs->DefineEnum("Clipper Oversample", 0, 3, "", "");
  clipOs->AddDisplayText(0, "off");
  clipOs->AddDisplayText(1, "2x");
  clipOs->AddDisplayText(2, "4x");
  p.GetParam(kLimiterLevel)->DefineDouble("Limiter Level", 0.0, -6.0, 24.0, 0.1, "dB", "", 1.0);
  p.GetParam(kAutoRelease)->DefineBool("AutoRelease", true, "", "");
  p.GetParam(kReleaseTime)->DefineDouble("Release Time", 100.0, 1.0, 500.0, 1.0, "ms", "", 1.0);
  PluginParam* limOs = p.GetParam(kLimiterOversample);
  limOs->DefineEnum("Limiter Oversample", 0, 3, "", "");
  limOs->AddDisplayText(0, "off");
  limOs->AddDisplayText(1, "2x");
  limOs->AddDisplayText(2, "4x");
  PluginParam* output = p.GetParam(kOutputLevel);
  output->DefineDouble("Output Level", -0.2, -30.0, -0.0, 0.1, "dB", "", 1.0);
  output->SetCurveShape(0.5);
  p.GetParam(kAutoOutputLevel)->DefineBool("Auto output level", false, "", "");
  p.GetParam(kAutoOutputTarget)
      ->DefineDouble("Auto output target", -12.0, -48.0, 0.0, 1.0, "dB", "", 1.0);
  PluginParam* type = p.GetParam(kAutoOutType);
  type->DefineEnum("Auto out type", 1, 3, "", "");
  type->AddDisplayText(0, "dBFS");
  type->AddDisplayText(1, "RMS");
  type->AddDisplayText(2, "LUFS");
  p.GetParam(kResetMeters)->DefineBool("Reset Meters", false, "", "");
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

QuarloDorvantix::QuarloDorvantix(int formatCode)
    : PluginBase(Identity(formatCode)),
      limiter_(std::make_unique<Limiter>()),
      clipper_(std::make_unique<Clipper>()) {
  clipperMeter_.rate = 44100;
  limiterMeter_.rate = 44100;
  DefineParameters(*this);
  BuildEditor();
  InitPresetsFromState("-", 1);
  if (formatCode == kFormatVst2) {
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
  loudness_.reset();
  clipper_.reset();
  limiter_.reset();
}

void QuarloDorvantix::RecreateLoudnessState() {
  loudness_.reset();
  loudness_ = LoudnessState::Create(kLoudnessIntegrated | kLoudnessRange | kLoudnessHistogram,
                                    static_cast<unsigned>(SampleRateInt()));
  lastIntegrated_ = loudness_ ? loudness_->Integrated() : 0.0;
  lastRange_ = loudness_ ? loudness_->Range() : 0.0;
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
  for (PeakFollower& p : peak_) {
    p.attack = FortyDbFallCoefficient(sr, 1.0);
    p.release = FortyDbFallCoefficient(sr, 300.0);
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
      if (editor) editor->UpdateControlValue(clipperKnobControl_, param->Normalized());
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
      if (editor) editor->UpdateControlValue(limiterKnobControl_, param->Normalized());
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
      if (editor) editor->UpdateControlValue(releaseCaptionControl_, param->Normalized());
      break;
    case kLimiterOversample:
      limiter_->SetOversampling(FactorFromParam(value));
      break;
    case kOutputLevel:
      if (editor) editor->UpdateControlValue(outputCaptionControl_, param->Normalized());
      break;
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
      longTermSum_ = 0.0;
      longTermCompensation_ = 0.0;
      longTermCount_ = 0;
      RecreateLoudnessState();
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

void QuarloDorvantix::ProcessSlice(double** inputs, double** outputs, int offset, int nFrames) {
  // Copy the input, completing mono to stereo. A non-finite sample would poison the
  // recursive filter and limiter state for good, so it enters the chain as silence; a finite
  // sample far beyond any real signal is held at +120 dBFS, where the clipper and limiter
  // drives cannot overflow it to infinity.
  const double* inL = (inputs && inputs[0]) ? inputs[0] + offset : nullptr;
  const double* inR = (inputs && inputs[1] && IsInputConnected(1)) ? inputs[1] + offset : inL;
  double* left = channels_[0].data();
  double* right = channels_[1].data();
  for (int k = 0; k < nFrames; ++k) {
    const double l = inL ? inL[k] : 0.0;
    const double r = inR ? inR[k] : 0.0;
    left[k] = std::isfinite(l) ? std::clamp(l, -kLargestInput, kLargestInput) : 0.0;
    right[k] = std::isfinite(r) ? std::clamp(r, -kLargestInput, kLargestInput) : 0.0;
  }
  double* io[2] = {left, right};

  clipper_->Process(io, nFrames);
  const double clipperDb = GainToDb(clipper_->readout);
  limiter_->Process(io, nFrames);
  const double limiterDb = GainToDb(limiter_->readout);

  double* work = work_.data();
  for (int k = 0; k < nFrames; ++k) {
    work[2 * k] = left[k];
    work[2 * k + 1] = right[k];
  }
  if (GetParam(kAutoOutputLevel)->Value() >= 0.5) ApplyAutomaticOutput(nFrames);

  const double gain = DbToGain(GetParam(kOutputLevel)->Value());
  for (int i = 0; i < 2 * nFrames; ++i) work[i] *= gain;

  FeedLongTermRms(nFrames);
  FeedLoudness(nFrames);

  double* outL = outputs[0] + offset;
  double* outR = outputs[1] + offset;
  for (int k = 0; k < nFrames; ++k) {
    outL[k] = work[2 * k];
    outR[k] = work[2 * k + 1];
  }

  rmsLeft_.Push(outL, nFrames);
  rmsRight_.Push(outR, nFrames);
  const double* outs[2] = {outL, outR};
  for (int c = 0; c < 2; ++c) {
    PeakFollower& p = peak_[c];
    double env = p.envelope;
    for (int k = 0; k < nFrames; ++k) {
      const double a = std::fabs(outs[c][k]);
      const double coefficient = a > env ? p.attack : p.release;
      env = a + (env - a) * coefficient;
    }
    p.envelope = env;
  }

  UpdateGainReductionMeters(clipperDb, limiterDb, nFrames);
  if (Editor()) PushMetersToEditor();
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
  BeginParamEdit(kOutputLevel);
  ReportParamChange(kOutputLevel, output->Normalized());
  EndParamEdit(kOutputLevel);
  if (PluginEditor* editor = Editor()) editor->UpdateParamControls(kOutputLevel, d, false);
}

void QuarloDorvantix::FeedLongTermRms(int nFrames) {
  // A plain sum over the block, then one compensated step into the session's total.
  const double* work = work_.data();
  double blockSum = 0.0;
  for (int i = 0; i < 2 * nFrames; ++i) blockSum += work[i] * work[i];
  CompensatedAdd(longTermSum_, longTermCompensation_, blockSum);
  longTermCount_ += 2 * static_cast<int64_t>(nFrames);
}

void QuarloDorvantix::FeedLoudness(int nFrames) {
  Lock lock(Mutex());
  if (!loudness_) {
    lastIntegrated_ = 0.0;
    lastRange_ = 0.0;
    return;
  }
  const int64_t step = std::max<int64_t>(1, loudness_->FramesPer100ms());
  const int64_t before = loudness_->FramesFed() / step;
  loudness_->AddFrames(work_.data(), nFrames);
  // The gated measurements change only when a new 100 ms block completes.
  if (loudness_->FramesFed() / step != before) {
    lastIntegrated_ = loudness_->Integrated();
    lastRange_ = loudness_->Range();
  }
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
    const int blocksPerSecond = TruncateToInt(sr / nFrames);
    for (EnvelopeFollower* f : {&clipperMeter_, &limiterMeter_}) {
      f->rate = blocksPerSecond;
      f->envelope = 0.0;
      f->attack = std::exp(-1.0 / (blocksPerSecond * 0.001));
      f->release = std::exp(-1.0 / (blocksPerSecond * 0.1));
    }
    lastBlockSize_ = nFrames;
    restartHold();
  } else if (holdBlocksLeft_ <= 0) {
    restartHold();
  }
  const double clip = clipperMeter_.Update(std::fabs(clipperDb));
  if (clip > clipperHold_ || holdBlocksLeft_ <= 0) clipperHold_ = clip;
  const double lim = limiterMeter_.Update(std::fabs(limiterDb));
  if (lim > limiterHold_ || holdBlocksLeft_ <= 0) limiterHold_ = lim;
  --holdBlocksLeft_;
}

MeterReadings QuarloDorvantix::ReadMeters() const {
  MeterReadings m;
  if (longTermCount_ > 0) {
    const double sum = std::max(0.0, longTermSum_ + longTermCompensation_);
    const double d = GainToDb(std::sqrt(sum / static_cast<double>(longTermCount_)));
    if (d > -40.0) {
      std::snprintf(m.rmsText, sizeof(m.rmsText), "%.2f dB", d);
    } else {
      std::snprintf(m.rmsText, sizeof(m.rmsText), "---");
    }
  }
  if (lastIntegrated_ > -40.0) {
    std::snprintf(m.integratedText, sizeof(m.integratedText), "%.2f LUFS", lastIntegrated_);
  } else {
    std::snprintf(m.integratedText, sizeof(m.integratedText), "---");
  }
  if (lastRange_ < 40.0) {
    std::snprintf(m.rangeText, sizeof(m.rangeText), "%.2f LU", lastRange_);
  } else {
    std::snprintf(m.rangeText, sizeof(m.rangeText), "---");
  }
  m.rmsLeft = BarPosition(rmsLeft_.Rms());
  m.rmsRight = BarPosition(rmsRight_.Rms());
  m.peakLeft = BarPosition(peak_[0].envelope);
  m.peakRight = BarPosition(peak_[1].envelope);
  m.clipperReduction = ReductionPosition(clipperMeter_.envelope);
  m.clipperHold = ReductionPosition(clipperHold_);
  m.limiterReduction = ReductionPosition(limiterMeter_.envelope);
  m.limiterHold = ReductionPosition(limiterHold_);
  return m;
}

void QuarloDorvantix::PushMetersToEditor() {
  PluginEditor* editor = Editor();
  const MeterReadings m = ReadMeters();
  if (rmsText_ && m.rmsText[0] != '\0') rmsText_->SetText(m.rmsText);
  if (integratedText_) integratedText_->SetText(m.integratedText);
  if (rangeText_) rangeText_->SetText(m.rangeText);
  editor->UpdateControlValue(rmsLeftControl_, m.rmsLeft);
  editor->UpdateControlValue(rmsRightControl_, m.rmsRight);
  editor->UpdateControlValue(peakLeftControl_, m.peakLeft);
  editor->UpdateControlValue(peakRightControl_, m.peakRight);
  editor->UpdateControlValue(clipperBarControl_, m.clipperReduction);
  editor->UpdateControlValue(clipperHoldControl_, m.clipperHold);
  editor->UpdateControlValue(limiterBarControl_, m.limiterReduction);
  editor->UpdateControlValue(limiterHoldControl_, m.limiterHold);
  editor->MarkAllControlsDirty();
}

void QuarloDorvantix::SetLongTermAccumulator(double sumOfSquares, int64_t count) {
  Lock lock(Mutex());
  longTermSum_ = sumOfSquares;
  longTermCompensation_ = 0.0;
  longTermCount_ = count;
}

}  // namespace qd
