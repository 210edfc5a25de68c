// The VST3 binary interface between a host and a plug-in module, declared from its published
// interface identifiers, method order, argument types and record layouts: the reference-
// counted base interface, the factory, component, audio processor, edit controller, plug-in
// view and frame, the Linux run loop, streams, parameter-change queues, events, process data
// and context, bus information and speaker arrangements.
//
// Header only, no code: the binding and the test host both include it. Every interface is a
// class of pure virtual methods in the format's order, with no data and no virtual
// destructor, so its vtable is the one hosts call through (COM-compatible on Windows). The
// static assertions at the end pin the record layouts hosts depend on (x86_64 Linux and
// Windows lay them out alike: natural alignment).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// The calling convention of every interface method: the platform's default. Windows x64 has
// one convention only (the stdcall keyword is accepted and ignored there), x86_64 Linux the
// System V one.
#if defined(_WIN32)
#define QD_VST3_CALL __stdcall
#else
#define QD_VST3_CALL
#endif

namespace qd::vst3 {

using int8 = int8_t;
using uint8 = uint8_t;
using int16 = int16_t;
using uint16 = uint16_t;
using int32 = int32_t;
using uint32 = uint32_t;
using int64 = int64_t;
using uint64 = uint64_t;
using tresult = int32_t;
using TBool = uint8_t;
using char8 = char;
using char16 = char16_t;
using TChar = char16;
using String128 = TChar[128];
using FIDString = const char8*;
using TUID = char8[16];
using ParamID = uint32;
using ParamValue = double;
using SpeakerArrangement = uint64;
using MediaType = int32;
using BusDirection = int32;
using BusType = int32;
using IoMode = int32;
using TimerInterval = uint64;
using FileDescriptor = int;
using Sample32 = float;
using Sample64 = double;
using UnitID = int32;
using ProgramListID = int32;
using KnobMode = int32;
using ScaleFactor = float;
using AttrID = const char8*;
using CString = const char8*;

// ---- result codes: COM's values on Windows, small integers elsewhere ----
#if defined(_WIN32)
constexpr tresult kNoInterface = static_cast<tresult>(0x80004002L);
constexpr tresult kResultOk = 0;
constexpr tresult kResultTrue = kResultOk;
constexpr tresult kResultFalse = 1;
constexpr tresult kInvalidArgument = static_cast<tresult>(0x80070057L);
constexpr tresult kNotImplemented = static_cast<tresult>(0x80004001L);
constexpr tresult kInternalError = static_cast<tresult>(0x80004005L);
constexpr tresult kNotInitialized = static_cast<tresult>(0x8000FFFFL);
constexpr tresult kOutOfMemory = static_cast<tresult>(0x8007000EL);
#else
constexpr tresult kNoInterface = -1;
constexpr tresult kResultOk = 0;
constexpr tresult kResultTrue = kResultOk;
constexpr tresult kResultFalse = 1;
constexpr tresult kInvalidArgument = 2;
constexpr tresult kNotImplemented = 3;
constexpr tresult kInternalError = 4;
constexpr tresult kNotInitialized = 5;
constexpr tresult kOutOfMemory = 6;
#endif

// ---- interface identifiers ----
// An identifier is four 32-bit words. Elsewhere than on Windows each word is stored big-
// endian, in order. On Windows the layout is COM's GUID: the first word little-endian, then
// the high and the low half of the second word, each little-endian, then the third and
// fourth words big-endian.
struct Uid {
  char8 bytes[16];
};

constexpr Uid MakeUid(uint32 l1, uint32 l2, uint32 l3, uint32 l4) {
  Uid uid{};
  const auto put = [&uid](int at, uint32 word, int shift) {
    uid.bytes[at] = static_cast<char8>((word >> shift) & 0xFF);
  };
#if defined(_WIN32)
  for (int i = 0; i < 4; ++i) put(i, l1, 8 * i);
  put(4, l2, 16);
  put(5, l2, 24);
  put(6, l2, 0);
  put(7, l2, 8);
#else
  for (int i = 0; i < 4; ++i) put(i, l1, 24 - 8 * i);
  for (int i = 0; i < 4; ++i) put(4 + i, l2, 24 - 8 * i);
#endif
  for (int i = 0; i < 4; ++i) put(8 + i, l3, 24 - 8 * i);
  for (int i = 0; i < 4; ++i) put(12 + i, l4, 24 - 8 * i);
  return uid;
}

// True when the 16 bytes at `id` (which may be null) name `uid`.
inline bool SameUid(const char8* id, const Uid& uid) {
  return id && std::memcmp(id, uid.bytes, sizeof(uid.bytes)) == 0;
}

// ---- the base of every interface ----
class FUnknown {
 public:
  static constexpr Uid kIid = MakeUid(0x00000000, 0x00000000, 0xC0000000, 0x00000046);
  virtual tresult QD_VST3_CALL queryInterface(const TUID iid, void** obj) = 0;
  virtual uint32 QD_VST3_CALL addRef() = 0;
  virtual uint32 QD_VST3_CALL release() = 0;

 protected:
  ~FUnknown() = default;
};

class IPluginBase : public FUnknown {
 public:
  static constexpr Uid kIid = MakeUid(0x22888DDB, 0x156E45AE, 0x8358B348, 0x08190625);
  virtual tresult QD_VST3_CALL initialize(FUnknown* context) = 0;
  virtual tresult QD_VST3_CALL terminate() = 0;

 protected:
  ~IPluginBase() = default;
};

// ---- the factory ----
struct PFactoryInfo {
  enum : int32 {
    kNoFlags = 0,
    kClassesDiscardable = 0x1,
    kLicenseCheck = 0x2,
    kComponentNonDiscardable = 0x8,
    kUnicode = 0x10,
  };
  static constexpr int kNameSize = 64;
  static constexpr int kURLSize = 256;
  static constexpr int kEmailSize = 128;
  char8 vendor[kNameSize];
  char8 url[kURLSize];
  char8 email[kEmailSize];
  int32 flags;
};

struct PClassInfo {
  static constexpr int32 kManyInstances = 0x7FFFFFFF;
  static constexpr int kCategorySize = 32;
  static constexpr int kNameSize = 64;
  TUID cid;
  int32 cardinality;
  char8 category[kCategorySize];
  char8 name[kNameSize];
};

struct PClassInfo2 {
  static constexpr int kVendorSize = 64;
  static constexpr int kVersionSize = 64;
  static constexpr int kSubCategoriesSize = 128;
  TUID cid;
  int32 cardinality;
  char8 category[PClassInfo::kCategorySize];
  char8 name[PClassInfo::kNameSize];
  uint32 classFlags;
  char8 subCategories[kSubCategoriesSize];
  char8 vendor[kVendorSize];
  char8 version[kVersionSize];
  char8 sdkVersion[kVersionSize];
};

struct PClassInfoW {
  TUID cid;
  int32 cardinality;
  char8 category[PClassInfo::kCategorySize];
  char16 name[PClassInfo::kNameSize];
  uint32 classFlags;
  char8 subCategories[PClassInfo2::kSubCategoriesSize];
  char16 vendor[PClassInfo2::kVendorSize];
  char16 version[PClassInfo2::kVersionSize];
  char16 sdkVersion[PClassInfo2::kVersionSize];
};

class IPluginFactory : public FUnknown {
 public:
  static constexpr Uid kIid = MakeUid(0x7A4D811C, 0x52114A1F, 0xAED9D2EE, 0x0B43BF9F);
  virtual tresult QD_VST3_CALL getFactoryInfo(PFactoryInfo* info) = 0;
  virtual int32 QD_VST3_CALL countClasses() = 0;
  virtual tresult QD_VST3_CALL getClassInfo(int32 index, PClassInfo* info) = 0;
  virtual tresult QD_VST3_CALL createInstance(FIDString cid, FIDString iid, void** obj) = 0;

 protected:
  ~IPluginFactory() = default;
};

class IPluginFactory2 : public IPluginFactory {
 public:
  static constexpr Uid kIid = MakeUid(0x0007B650, 0xF24B4C0B, 0xA464EDB9, 0xF00B2ABB);
  virtual tresult QD_VST3_CALL getClassInfo2(int32 index, PClassInfo2* info) = 0;

 protected:
  ~IPluginFactory2() = default;
};

class IPluginFactory3 : public IPluginFactory2 {
 public:
  static constexpr Uid kIid = MakeUid(0x4555A2AB, 0xC1234E57, 0x9B122910, 0x36878931);
  virtual tresult QD_VST3_CALL getClassInfoUnicode(int32 index, PClassInfoW* info) = 0;
  virtual tresult QD_VST3_CALL setHostContext(FUnknown* context) = 0;

 protected:
  ~IPluginFactory3() = default;
};

constexpr const char* kVstAudioEffectClass = "Audio Module Class";
constexpr const char* kVstComponentControllerClass = "Component Controller Class";
constexpr const char* kVstVersionString = "VST 3.7.14";

// ---- streams ----
class IBStream : public FUnknown {
 public:
  static constexpr Uid kIid = MakeUid(0xC3BF6EA2, 0x30994752, 0x9B6BF990, 0x1EE33E9B);
  enum : int32 { kIBSeekSet = 0, kIBSeekCur = 1, kIBSeekEnd = 2 };
  virtual tresult QD_VST3_CALL read(void* buffer, int32 numBytes, int32* numBytesRead) = 0;
  virtual tresult QD_VST3_CALL write(void* buffer, int32 numBytes, int32* numBytesWritten) = 0;
  virtual tresult QD_VST3_CALL seek(int64 pos, int32 mode, int64* result) = 0;
  virtual tresult QD_VST3_CALL tell(int64* pos) = 0;

 protected:
  ~IBStream() = default;
};

class ISizeableStream : public FUnknown {
 public:
  static constexpr Uid kIid = MakeUid(0x04F9549E, 0xE02F4E6E, 0x87E86A87, 0x47F4E17F);
  virtual tresult QD_VST3_CALL getStreamSize(int64& size) = 0;
  virtual tresult QD_VST3_CALL setStreamSize(int64 size) = 0;

 protected:
  ~ISizeableStream() = default;
};

// ---- buses ----
enum MediaTypes : int32 { kAudio = 0, kEvent = 1 };
enum BusDirections : int32 { kInput = 0, kOutput = 1 };
enum BusTypes : int32 { kMain = 0, kAux = 1 };
enum IoModes : int32 { kSimple = 0, kAdvanced = 1, kOfflineProcessing = 2 };

namespace SpeakerArr {
constexpr SpeakerArrangement kEmpty = 0;
constexpr SpeakerArrangement kMono = 0x80000;
constexpr SpeakerArrangement kStereo = 0x3;
}  // namespace SpeakerArr

struct BusInfo {
  enum BusFlags : uint32 { kDefaultActive = 0x1 };
  MediaType mediaType;
  BusDirection direction;
  int32 channelCount;
  String128 name;
  BusType busType;
  uint32 flags;
};

struct RoutingInfo {
  MediaType mediaType;
  int32 busIndex;
  int32 channel;
};

class IComponent : public IPluginBase {
 public:
  static constexpr Uid kIid = MakeUid(0xE831FF31, 0xF2D54301, 0x928EBBEE, 0x25697802);
  virtual tresult QD_VST3_CALL getControllerClassId(TUID classId) = 0;
  virtual tresult QD_VST3_CALL setIoMode(IoMode mode) = 0;
  virtual int32 QD_VST3_CALL getBusCount(MediaType type, BusDirection dir) = 0;
  virtual tresult QD_VST3_CALL getBusInfo(MediaType type, BusDirection dir, int32 index,
                                          BusInfo& bus) = 0;
  virtual tresult QD_VST3_CALL getRoutingInfo(RoutingInfo& inInfo, RoutingInfo& outInfo) = 0;
  virtual tresult QD_VST3_CALL activateBus(MediaType type, BusDirection dir, int32 index,
                                           TBool state) = 0;
  virtual tresult QD_VST3_CALL setActive(TBool state) = 0;
  virtual tresult QD_VST3_CALL setState(IBStream* state) = 0;
  virtual tresult QD_VST3_CALL getState(IBStream* state) = 0;

 protected:
  ~IComponent() = default;
};

// ---- parameter changes and events ----
class IParamValueQueue : public FUnknown {
 public:
  static constexpr Uid kIid = MakeUid(0x01263A18, 0xED074F6F, 0x98C9D356, 0x4686F9BA);
  virtual ParamID QD_VST3_CALL getParameterId() = 0;
  virtual int32 QD_VST3_CALL getPointCount() = 0;
  virtual tresult QD_VST3_CALL getPoint(int32 index, int32& sampleOffset, ParamValue& value) = 0;
  virtual tresult QD_VST3_CALL addPoint(int32 sampleOffset, ParamValue value, int32& index) = 0;

 protected:
  ~IParamValueQueue() = default;
};

class IParameterChanges : public FUnknown {
 public:
  static constexpr Uid kIid = MakeUid(0xA4779663, 0x0BB64A56, 0xB44384A8, 0x466FEB9D);
  virtual int32 QD_VST3_CALL getParameterCount() = 0;
  virtual IParamValueQueue* QD_VST3_CALL getParameterData(int32 index) = 0;
  virtual IParamValueQueue* QD_VST3_CALL addParameterData(const ParamID& id, int32& index) = 0;

 protected:
  ~IParameterChanges() = default;
};

struct Event {
  int32 busIndex;
  int32 sampleOffset;
  double ppqPosition;
  uint16 flags;
  uint16 type;
  // The event-specific record (notes, data, expression); this plug-in takes no events.
  alignas(8) uint8 payload[24];
};

class IEventList : public FUnknown {
 public:
  static constexpr Uid kIid = MakeUid(0x3A2C4214, 0x346349FE, 0xB2C4F397, 0xB9695A44);
  virtual int32 QD_VST3_CALL getEventCount() = 0;
  virtual tresult QD_VST3_CALL getEvent(int32 index, Event& e) = 0;
  virtual tresult QD_VST3_CALL addEvent(Event& e) = 0;

 protected:
  ~IEventList() = default;
};

// ---- processing ----
enum SymbolicSampleSizes : int32 { kSample32 = 0, kSample64 = 1 };
enum ProcessModes : int32 { kRealtime = 0, kPrefetch = 1, kOffline = 2 };

struct ProcessSetup {
  int32 processMode;
  int32 symbolicSampleSize;
  int32 maxSamplesPerBlock;
  double sampleRate;
};

struct AudioBusBuffers {
  int32 numChannels;
  uint64 silenceFlags;  // bit i set: channel i holds only zeros
  union {
    Sample32** channelBuffers32;
    Sample64** channelBuffers64;
  };
};

struct Chord {
  uint8 keyNote;
  uint8 rootNote;
  int16 chordMask;
};

struct FrameRate {
  uint32 framesPerSecond;
  uint32 flags;
};

struct ProcessContext {
  enum StatesAndFlags : uint32 {
    kPlaying = 0x2,
    kCycleActive = 0x4,
    kRecording = 0x8,
    kSystemTimeValid = 0x100,
    kProjectTimeMusicValid = 0x200,
    kTempoValid = 0x400,
    kBarPositionValid = 0x800,
    kCycleValid = 0x1000,
    kTimeSigValid = 0x2000,
    kContTimeValid = 0x20000,
  };
  uint32 state;
  double sampleRate;
  int64 projectTimeSamples;
  int64 systemTime;
  int64 continousTimeSamples;
  double projectTimeMusic;
  double barPositionMusic;
  double cycleStartMusic;
  double cycleEndMusic;
  double tempo;
  int32 timeSigNumerator;
  int32 timeSigDenominator;
  Chord chord;
  int32 smpteOffsetSubframes;
  FrameRate frameRate;
  int32 samplesToNextClock;
};

struct ProcessData {
  int32 processMode;
  int32 symbolicSampleSize;
  int32 numSamples;
  int32 numInputs;
  int32 numOutputs;
  AudioBusBuffers* inputs;
  AudioBusBuffers* outputs;
  IParameterChanges* inputParameterChanges;
  IParameterChanges* outputParameterChanges;
  IEventList* inputEvents;
  IEventList* outputEvents;
  ProcessContext* processContext;
};

class IAudioProcessor : public FUnknown {
 public:
  static constexpr Uid kIid = MakeUid(0x42043F99, 0xB7DA453C, 0xA569E79D, 0x9AAEC33D);
  virtual tresult QD_VST3_CALL setBusArrangements(SpeakerArrangement* inputs, int32 numIns,
                                                  SpeakerArrangement* outputs, int32 numOuts) = 0;
  virtual tresult QD_VST3_CALL getBusArrangement(BusDirection dir, int32 index,
                                                 SpeakerArrangement& arr) = 0;
  virtual tresult QD_VST3_CALL canProcessSampleSize(int32 symbolicSampleSize) = 0;
  virtual uint32 QD_VST3_CALL getLatencySamples() = 0;
  virtual tresult QD_VST3_CALL setupProcessing(ProcessSetup& setup) = 0;
  virtual tresult QD_VST3_CALL setProcessing(TBool state) = 0;
  virtual tresult QD_VST3_CALL process(ProcessData& data) = 0;
  virtual uint32 QD_VST3_CALL getTailSamples() = 0;

 protected:
  ~IAudioProcessor() = default;
};

class IProcessContextRequirements : public FUnknown {
 public:
  static constexpr Uid kIid = MakeUid(0x2A654303, 0xEF764E3D, 0x95B5FE83, 0x730EF6D0);
  enum Flags : uint32 {
    kNeedTempo = 1 << 6,
    kNeedTimeSignature = 1 << 7,
    kNeedTransportState = 1 << 10,
  };
  virtual uint32 QD_VST3_CALL getProcessContextRequirements() = 0;

 protected:
  ~IProcessContextRequirements() = default;
};

// ---- the edit controller ----
struct ParameterInfo {
  enum ParameterFlags : int32 {
    kNoFlags = 0,
    kCanAutomate = 0x1,
    kIsReadOnly = 0x2,
    kIsWrapAround = 0x4,
    kIsList = 0x8,
    kIsHidden = 0x10,
    kIsProgramChange = 0x8000,
    kIsBypass = 0x10000,
  };
  ParamID id;
  String128 title;
  String128 shortTitle;
  String128 units;
  int32 stepCount;  // 0 continuous, n: n + 1 discrete values
  ParamValue defaultNormalizedValue;
  UnitID unitId;
  int32 flags;
};

constexpr UnitID kRootUnitId = 0;

enum RestartFlags : int32 {
  kReloadComponent = 0x1,
  kIoChanged = 0x2,
  kParamValuesChanged = 0x4,
  kLatencyChanged = 0x8,
  kParamTitlesChanged = 0x10,
};

class IComponentHandler : public FUnknown {
 public:
  static constexpr Uid kIid = MakeUid(0x93A0BEA3, 0x0BD045DB, 0x8E890B0C, 0xC1E46AC6);
  virtual tresult QD_VST3_CALL beginEdit(ParamID id) = 0;
  virtual tresult QD_VST3_CALL performEdit(ParamID id, ParamValue valueNormalized) = 0;
  virtual tresult QD_VST3_CALL endEdit(ParamID id) = 0;
  virtual tresult QD_VST3_CALL restartComponent(int32 flags) = 0;

 protected:
  ~IComponentHandler() = default;
};

class IComponentHandler2 : public FUnknown {
 public:
  static constexpr Uid kIid = MakeUid(0xF040B4B3, 0xA36045EC, 0xABCDC045, 0xB4D5A2CC);
  virtual tresult QD_VST3_CALL setDirty(TBool state) = 0;
  virtual tresult QD_VST3_CALL requestOpenEditor(FIDString name) = 0;
  virtual tresult QD_VST3_CALL startGroupEdit() = 0;
  virtual tresult QD_VST3_CALL finishGroupEdit() = 0;

 protected:
  ~IComponentHandler2() = default;
};

class IPlugView;

class IEditController : public IPluginBase {
 public:
  static constexpr Uid kIid = MakeUid(0xDCD7BBE3, 0x7742448D, 0xA874AACC, 0x979C759E);
  virtual tresult QD_VST3_CALL setComponentState(IBStream* state) = 0;
  virtual tresult QD_VST3_CALL setState(IBStream* state) = 0;
  virtual tresult QD_VST3_CALL getState(IBStream* state) = 0;
  virtual int32 QD_VST3_CALL getParameterCount() = 0;
  virtual tresult QD_VST3_CALL getParameterInfo(int32 paramIndex, ParameterInfo& info) = 0;
  virtual tresult QD_VST3_CALL getParamStringByValue(ParamID id, ParamValue valueNormalized,
                                                     String128 string) = 0;
  virtual tresult QD_VST3_CALL getParamValueByString(ParamID id, TChar* string,
                                                     ParamValue& valueNormalized) = 0;
  virtual ParamValue QD_VST3_CALL normalizedParamToPlain(ParamID id,
                                                         ParamValue valueNormalized) = 0;
  virtual ParamValue QD_VST3_CALL plainParamToNormalized(ParamID id, ParamValue plainValue) = 0;
  virtual ParamValue QD_VST3_CALL getParamNormalized(ParamID id) = 0;
  virtual tresult QD_VST3_CALL setParamNormalized(ParamID id, ParamValue value) = 0;
  virtual tresult QD_VST3_CALL setComponentHandler(IComponentHandler* handler) = 0;
  virtual IPlugView* QD_VST3_CALL createView(FIDString name) = 0;

 protected:
  ~IEditController() = default;
};

class IEditController2 : public FUnknown {
 public:
  static constexpr Uid kIid = MakeUid(0x7F4EFE59, 0xF3204967, 0xAC27A3AE, 0xAFB63038);
  virtual tresult QD_VST3_CALL setKnobMode(KnobMode mode) = 0;
  virtual tresult QD_VST3_CALL openHelp(TBool onlyCheck) = 0;
  virtual tresult QD_VST3_CALL openAboutBox(TBool onlyCheck) = 0;

 protected:
  ~IEditController2() = default;
};

constexpr const char* kEditorViewType = "editor";

// ---- messages between a separate component and controller ----
class IAttributeList : public FUnknown {
 public:
  static constexpr Uid kIid = MakeUid(0x1E5F0AEB, 0xCC7F4533, 0xA2544011, 0x38AD5EE4);
  virtual tresult QD_VST3_CALL setInt(AttrID id, int64 value) = 0;
  virtual tresult QD_VST3_CALL getInt(AttrID id, int64& value) = 0;
  virtual tresult QD_VST3_CALL setFloat(AttrID id, double value) = 0;
  virtual tresult QD_VST3_CALL getFloat(AttrID id, double& value) = 0;
  virtual tresult QD_VST3_CALL setString(AttrID id, const TChar* string) = 0;
  virtual tresult QD_VST3_CALL getString(AttrID id, TChar* string, uint32 sizeInBytes) = 0;
  virtual tresult QD_VST3_CALL setBinary(AttrID id, const void* data, uint32 sizeInBytes) = 0;
  virtual tresult QD_VST3_CALL getBinary(AttrID id, const void*& data, uint32& sizeInBytes) = 0;

 protected:
  ~IAttributeList() = default;
};

class IMessage : public FUnknown {
 public:
  static constexpr Uid kIid = MakeUid(0x936F033B, 0xC6C047DB, 0xBB0882F8, 0x13C1E613);
  virtual FIDString QD_VST3_CALL getMessageID() = 0;
  virtual void QD_VST3_CALL setMessageID(FIDString id) = 0;
  virtual IAttributeList* QD_VST3_CALL getAttributes() = 0;

 protected:
  ~IMessage() = default;
};

class IConnectionPoint : public FUnknown {
 public:
  static constexpr Uid kIid = MakeUid(0x70A4156F, 0x6E6E4026, 0x989148BF, 0xAA60D8D1);
  virtual tresult QD_VST3_CALL connect(IConnectionPoint* other) = 0;
  virtual tresult QD_VST3_CALL disconnect(IConnectionPoint* other) = 0;
  virtual tresult QD_VST3_CALL notify(IMessage* message) = 0;

 protected:
  ~IConnectionPoint() = default;
};

// ---- the host ----
class IHostApplication : public FUnknown {
 public:
  static constexpr Uid kIid = MakeUid(0x58E595CC, 0xDB2D4969, 0x8B6AAF8C, 0x36A664E5);
  virtual tresult QD_VST3_CALL getName(String128 name) = 0;
  virtual tresult QD_VST3_CALL createInstance(TUID cid, TUID iid, void** obj) = 0;

 protected:
  ~IHostApplication() = default;
};

// ---- the editor view ----
struct ViewRect {
  int32 left;
  int32 top;
  int32 right;
  int32 bottom;
};

constexpr const char* kPlatformTypeHWND = "HWND";
constexpr const char* kPlatformTypeX11EmbedWindowID = "X11EmbedWindowID";

class IPlugFrame;

class IPlugView : public FUnknown {
 public:
  static constexpr Uid kIid = MakeUid(0x5BC32507, 0xD06049EA, 0xA6151B52, 0x2B755B29);
  virtual tresult QD_VST3_CALL isPlatformTypeSupported(FIDString type) = 0;
  virtual tresult QD_VST3_CALL attached(void* parent, FIDString type) = 0;
  virtual tresult QD_VST3_CALL removed() = 0;
  virtual tresult QD_VST3_CALL onWheel(float distance) = 0;
  virtual tresult QD_VST3_CALL onKeyDown(char16 key, int16 keyCode, int16 modifiers) = 0;
  virtual tresult QD_VST3_CALL onKeyUp(char16 key, int16 keyCode, int16 modifiers) = 0;
  virtual tresult QD_VST3_CALL getSize(ViewRect* size) = 0;
  virtual tresult QD_VST3_CALL onSize(ViewRect* newSize) = 0;
  virtual tresult QD_VST3_CALL onFocus(TBool state) = 0;
  virtual tresult QD_VST3_CALL setFrame(IPlugFrame* frame) = 0;
  virtual tresult QD_VST3_CALL canResize() = 0;
  virtual tresult QD_VST3_CALL checkSizeConstraint(ViewRect* rect) = 0;

 protected:
  ~IPlugView() = default;
};

class IPlugFrame : public FUnknown {
 public:
  static constexpr Uid kIid = MakeUid(0x367FAF01, 0xAFA94693, 0x8D4DA2A0, 0xED0882A3);
  virtual tresult QD_VST3_CALL resizeView(IPlugView* view, ViewRect* newSize) = 0;

 protected:
  ~IPlugFrame() = default;
};

class IPlugViewContentScaleSupport : public FUnknown {
 public:
  static constexpr Uid kIid = MakeUid(0x65ED9690, 0x8AC44525, 0x8AADEF7A, 0x72EA703F);
  virtual tresult QD_VST3_CALL setContentScaleFactor(ScaleFactor factor) = 0;

 protected:
  ~IPlugViewContentScaleSupport() = default;
};

// ---- the Linux run loop: the host's user-interface thread runs these handlers ----
class IEventHandler : public FUnknown {
 public:
  static constexpr Uid kIid = MakeUid(0x561E65C9, 0x13A0496F, 0x813A2C35, 0x654D7983);
  virtual void QD_VST3_CALL onFDIsSet(FileDescriptor fd) = 0;

 protected:
  ~IEventHandler() = default;
};

class ITimerHandler : public FUnknown {
 public:
  static constexpr Uid kIid = MakeUid(0x10BDD94F, 0x41424774, 0x821FAD8F, 0xECA72CA9);
  virtual void QD_VST3_CALL onTimer() = 0;

 protected:
  ~ITimerHandler() = default;
};

class IRunLoop : public FUnknown {
 public:
  static constexpr Uid kIid = MakeUid(0x18C35366, 0x97764F1A, 0x9C5B8385, 0x7A871389);
  virtual tresult QD_VST3_CALL registerEventHandler(IEventHandler* handler, FileDescriptor fd) = 0;
  virtual tresult QD_VST3_CALL unregisterEventHandler(IEventHandler* handler) = 0;
  virtual tresult QD_VST3_CALL registerTimer(ITimerHandler* handler,
                                             TimerInterval milliseconds) = 0;
  virtual tresult QD_VST3_CALL unregisterTimer(ITimerHandler* handler) = 0;

 protected:
  ~IRunLoop() = default;
};

// ---- module exports ----
// Linux: ModuleEntry(void* libraryHandle), ModuleExit(), GetPluginFactory().
// Windows: InitDll(), ExitDll(), GetPluginFactory().
using GetFactoryProc = IPluginFactory* (*)();
using ModuleEntryProc = bool (*)(void* libraryHandle);
using ModuleExitProc = bool (*)();
using InitDllProc = bool (*)();
using ExitDllProc = bool (*)();

// ---- the layouts hosts depend on (x86_64 Linux and Windows) ----
static_assert(sizeof(void*) == 8, "the layouts below are those of 64-bit hosts");
static_assert(sizeof(char16) == 2 && sizeof(TUID) == 16 && sizeof(Uid) == 16);

static_assert(offsetof(PFactoryInfo, vendor) == 0);
static_assert(offsetof(PFactoryInfo, url) == 64);
static_assert(offsetof(PFactoryInfo, email) == 320);
static_assert(offsetof(PFactoryInfo, flags) == 448);
static_assert(sizeof(PFactoryInfo) == 452);

static_assert(offsetof(PClassInfo, cardinality) == 16);
static_assert(offsetof(PClassInfo, category) == 20);
static_assert(offsetof(PClassInfo, name) == 52);
static_assert(sizeof(PClassInfo) == 116);

static_assert(offsetof(PClassInfo2, name) == 52);
static_assert(offsetof(PClassInfo2, classFlags) == 116);
static_assert(offsetof(PClassInfo2, subCategories) == 120);
static_assert(offsetof(PClassInfo2, vendor) == 248);
static_assert(offsetof(PClassInfo2, version) == 312);
static_assert(offsetof(PClassInfo2, sdkVersion) == 376);
static_assert(sizeof(PClassInfo2) == 440);

static_assert(offsetof(PClassInfoW, name) == 52);
static_assert(offsetof(PClassInfoW, classFlags) == 180);
static_assert(offsetof(PClassInfoW, subCategories) == 184);
static_assert(offsetof(PClassInfoW, vendor) == 312);
static_assert(offsetof(PClassInfoW, version) == 440);
static_assert(offsetof(PClassInfoW, sdkVersion) == 568);
static_assert(sizeof(PClassInfoW) == 696);

static_assert(offsetof(BusInfo, channelCount) == 8);
static_assert(offsetof(BusInfo, name) == 12);
static_assert(offsetof(BusInfo, busType) == 268);
static_assert(offsetof(BusInfo, flags) == 272);
static_assert(sizeof(BusInfo) == 276);
static_assert(sizeof(RoutingInfo) == 12);

static_assert(offsetof(ParameterInfo, title) == 4);
static_assert(offsetof(ParameterInfo, shortTitle) == 260);
static_assert(offsetof(ParameterInfo, units) == 516);
static_assert(offsetof(ParameterInfo, stepCount) == 772);
static_assert(offsetof(ParameterInfo, defaultNormalizedValue) == 776);
static_assert(offsetof(ParameterInfo, unitId) == 784);
static_assert(offsetof(ParameterInfo, flags) == 788);
static_assert(sizeof(ParameterInfo) == 792);

static_assert(offsetof(ProcessSetup, maxSamplesPerBlock) == 8);
static_assert(offsetof(ProcessSetup, sampleRate) == 16);
static_assert(sizeof(ProcessSetup) == 24);

static_assert(offsetof(AudioBusBuffers, silenceFlags) == 8);
static_assert(offsetof(AudioBusBuffers, channelBuffers32) == 16);
static_assert(sizeof(AudioBusBuffers) == 24);

static_assert(offsetof(ProcessData, numSamples) == 8);
static_assert(offsetof(ProcessData, numOutputs) == 16);
static_assert(offsetof(ProcessData, inputs) == 24);
static_assert(offsetof(ProcessData, outputs) == 32);
static_assert(offsetof(ProcessData, inputParameterChanges) == 40);
static_assert(offsetof(ProcessData, outputParameterChanges) == 48);
static_assert(offsetof(ProcessData, inputEvents) == 56);
static_assert(offsetof(ProcessData, outputEvents) == 64);
static_assert(offsetof(ProcessData, processContext) == 72);
static_assert(sizeof(ProcessData) == 80);

static_assert(offsetof(ProcessContext, sampleRate) == 8);
static_assert(offsetof(ProcessContext, projectTimeSamples) == 16);
static_assert(offsetof(ProcessContext, systemTime) == 24);
static_assert(offsetof(ProcessContext, continousTimeSamples) == 32);
static_assert(offsetof(ProcessContext, projectTimeMusic) == 40);
static_assert(offsetof(ProcessContext, barPositionMusic) == 48);
static_assert(offsetof(ProcessContext, cycleStartMusic) == 56);
static_assert(offsetof(ProcessContext, cycleEndMusic) == 64);
static_assert(offsetof(ProcessContext, tempo) == 72);
static_assert(offsetof(ProcessContext, timeSigNumerator) == 80);
static_assert(offsetof(ProcessContext, timeSigDenominator) == 84);
static_assert(offsetof(ProcessContext, chord) == 88);
static_assert(offsetof(ProcessContext, smpteOffsetSubframes) == 92);
static_assert(offsetof(ProcessContext, frameRate) == 96);
static_assert(offsetof(ProcessContext, samplesToNextClock) == 104);
static_assert(sizeof(ProcessContext) == 112);

static_assert(sizeof(ViewRect) == 16);
static_assert(offsetof(Event, sampleOffset) == 4);
static_assert(offsetof(Event, ppqPosition) == 8);
static_assert(offsetof(Event, flags) == 16);
static_assert(offsetof(Event, type) == 18);
static_assert(sizeof(Event) == 48);

// An interface is one vtable pointer: no data, no virtual destructor.
static_assert(sizeof(FUnknown) == sizeof(void*) && sizeof(IPlugView) == sizeof(void*));

}  // namespace qd::vst3
