// The binary interface between an AAX host and this plug-in, declared in one place: the
// component object model (interface identifiers, add-reference, release, query-interface,
// the component factory), the host interfaces the binding calls, the plug-in interfaces the
// host calls, the records both sides exchange, and the identifiers, stem formats, property
// numbers, context field indices and result codes. Everything else in formats/aax reaches
// the host only through the proxies (AaxProxies.h), so these declarations can be replaced
// by another set without touching the binding's logic.
//
// Threads: an interface says nothing about threads by itself; see the callers. Every method
// returns a result code (0 = success) unless it is add-reference, release or a plain getter.
#pragma once

#include <cstddef>
#include <cstdint>

namespace aax {

// ---------------------------------------------------------------- results

using Result = int32_t;

constexpr Result kSuccess = 0;
constexpr Result kErrorInvalidParameterId = -20001;
constexpr Result kErrorNullObject = -20004;
constexpr Result kErrorInvalidChunkIndex = -20006;
constexpr Result kErrorInvalidChunkId = -20007;
constexpr Result kErrorUnimplemented = -20009;
constexpr Result kErrorNullController = -20011;

// Results of the object model (32-bit patterns, read as signed).
constexpr Result kAcfUnexpected = static_cast<Result>(0x8000FFFFu);
constexpr Result kAcfNoInterface = static_cast<Result>(0x80004002u);
constexpr Result kAcfPointer = static_cast<Result>(0x80004003u);
constexpr Result kAcfOutOfMemory = static_cast<Result>(0x80000005u);

// ---------------------------------------------------------------- identifiers

struct Uid {
  uint32_t data1;
  uint16_t data2;
  uint16_t data3;
  uint8_t data4[8];
  friend bool operator==(const Uid& a, const Uid& b) {
    if (a.data1 != b.data1 || a.data2 != b.data2 || a.data3 != b.data3) return false;
    for (int i = 0; i < 8; ++i) {
      if (a.data4[i] != b.data4[i]) return false;
    }
    return true;
  }
};

// The object model's own interfaces.
inline constexpr Uid kIidUnknown = {
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr Uid kIidComponentFactory = {
    0x382B6A96, 0x7FD0, 0x11D6, {0xBC, 0xFE, 0x00, 0x30, 0x65, 0x42, 0xA0, 0x24}};
inline constexpr Uid kIidPluginDefinition = {
    0x00EEF015, 0x7FD0, 0x11D6, {0x84, 0x85, 0x00, 0x30, 0x65, 0x42, 0xA0, 0x24}};
// The host's description object: class and interface.
inline constexpr Uid kClsidDescription = {
    0x89882C2D, 0x77BC, 0x42EF, {0x70, 0x7B, 0x79, 0x81, 0xB7, 0xBD, 0x0C, 0xCA}};
inline constexpr Uid kIidDescriptionCollection = {
    0x96D42C2D, 0xEBBC, 0x41DF, {0xB1, 0xAB, 0x99, 0x91, 0xA2, 0xEE, 0x0C, 0xCA}};
// The host's services object: class and interface.
inline constexpr Uid kClsidHostServices = {
    0x88882C2D, 0xEBBC, 0x42EF, {0xC0, 0xAB, 0x89, 0x81, 0xB0, 0xBD, 0x0C, 0xCA}};
inline constexpr Uid kIidHostServices = {
    0x96D42C2D, 0xEBBC, 0x41EF, {0xB0, 0xAB, 0x99, 0x91, 0xA0, 0xED, 0x0C, 0xCA}};
// Interfaces reached on the objects the host passes at run time.
inline constexpr Uid kIidController = {
    0x5D3C0A11, 0x4E21, 0x4B6A, {0x9C, 0x01, 0x51, 0x75, 0x4C, 0x6F, 0x00, 0x01}};
inline constexpr Uid kIidAutomationDelegate = {
    0x5D3C0A11, 0x4E21, 0x4B6A, {0x9C, 0x01, 0x51, 0x75, 0x4C, 0x6F, 0x00, 0x02}};
inline constexpr Uid kIidTransport = {
    0x5D3C0A11, 0x4E21, 0x4B6A, {0x9C, 0x01, 0x51, 0x75, 0x4C, 0x6F, 0x00, 0x03}};
inline constexpr Uid kIidViewContainer = {
    0x5D3C0A11, 0x4E21, 0x4B6A, {0x9C, 0x01, 0x51, 0x75, 0x4C, 0x6F, 0x00, 0x04}};
// Interfaces of the plug-in's own objects.
inline constexpr Uid kIidEffectParameters = {
    0x5D3C0A11, 0x4E21, 0x4B6A, {0x9C, 0x01, 0x51, 0x75, 0x4C, 0x6F, 0x00, 0x10}};
inline constexpr Uid kIidEffectGui = {
    0x5D3C0A11, 0x4E21, 0x4B6A, {0x9C, 0x01, 0x51, 0x75, 0x4C, 0x6F, 0x00, 0x11}};

// ---------------------------------------------------------------- four-character codes

constexpr uint32_t FourCc(const char (&s)[5]) {
  return (static_cast<uint32_t>(static_cast<uint8_t>(s[0])) << 24) |
         (static_cast<uint32_t>(static_cast<uint8_t>(s[1])) << 16) |
         (static_cast<uint32_t>(static_cast<uint8_t>(s[2])) << 8) |
         static_cast<uint32_t>(static_cast<uint8_t>(s[3]));
}

constexpr uint32_t kFourCcNone = FourCc("none");           // 0x6E6F6E65
constexpr uint32_t kNotificationPreview = FourCc("ASPv");  // 0x41535076

// ---------------------------------------------------------------- stem formats

// (layout index << 16) | channel count.
constexpr int32_t kStemMono = 0x00000001;
constexpr int32_t kStemStereo = 0x00010002;
constexpr int32_t kStemLcr = 0x00020003;
constexpr int32_t kStemQuad = 0x00040004;
constexpr int32_t kStem50 = 0x00050005;
constexpr int32_t kStem51 = 0x00060006;
constexpr int32_t kStem61 = 0x00080007;
constexpr int32_t kStem71 = 0x000C0008;
constexpr int32_t kStemNone = static_cast<int32_t>(0xFF9C0000u);

constexpr int StemChannelCount(int32_t stemFormat) {
  return static_cast<int>(static_cast<uint32_t>(stemFormat) & 0xFFFFu);
}

// ---------------------------------------------------------------- description values

constexpr uint32_t kCategoryDynamics = 2;

// Node types of the MIDI and transport nodes.
constexpr uint32_t kNodeLocalMidiInput = 0;
constexpr uint32_t kNodeGlobalMidi = 2;
constexpr uint32_t kNodeTransport = 3;

// Properties of a component's property map.
constexpr uint32_t kPropManufacturerId = 11;
constexpr uint32_t kPropProductId = 12;
constexpr uint32_t kPropNativePluginId = 13;
constexpr uint32_t kPropAudioSuitePluginId = 14;
constexpr uint32_t kPropInputStemFormat = 51;
constexpr uint32_t kPropOutputStemFormat = 52;
constexpr uint32_t kPropLatency = 56;
constexpr uint32_t kPropCanBypass = 60;
constexpr uint32_t kPropUsesClientGui = 151;

// Create procedures registered on the effect descriptor, by procedure ID.
constexpr int32_t kProcCreateEffectParameters = 0;
constexpr int32_t kProcCreateEffectGui = 1;

// Field indices of the per-instance render context: one pointer-sized slot each.
constexpr int kFieldAudioIn = 0;       // float* const* : one pointer per input channel
constexpr int kFieldAudioOut = 1;      // float* const* : one pointer per output channel
constexpr int kFieldBufferLength = 3;  // const int32_t* : frames in this block
constexpr int kFieldMidiIn = 5;        // MidiNodeBuffer* : the local MIDI input node
constexpr int kFieldGlobalMidi = 6;    // private data (4 bytes) when no global MIDI node
constexpr int kFieldTransport = 7;     // ITransport* : the transport node
constexpr int kFieldPrivateData = 8;   // void* const* : 8 bytes holding the instance pointer
constexpr int kFieldMeters = 9;        // private data (4 bytes) when there are no meters
constexpr int kContextFieldCount = 10;

constexpr int kMaxAuxOutputStems = 16;

// ---------------------------------------------------------------- records

// A state chunk as the host allocates it: header fields, then `size` data bytes.
struct ChunkRecord {
  int32_t size;  // data bytes that follow `name`
  int32_t version;
  uint32_t manufacturerId;
  uint32_t productId;
  uint32_t pluginId;
  uint32_t chunkId;
  char name[32];
  char data[1];  // the first of `size` bytes
};
constexpr size_t kChunkHeaderSize = offsetof(ChunkRecord, data);

struct MidiPacket {
  uint32_t timestamp;  // sample offset within the block
  uint32_t length;
  uint8_t data[4];
  bool immediate;
};

// The buffer of a MIDI node for one block.
struct MidiNodeBuffer {
  uint32_t packetCount;
  MidiPacket* packets;
};

struct Point {
  float vertical;
  float horizontal;
};

struct Rect {
  float top, left, width, height;
};

// ---------------------------------------------------------------- the object model

class IUnknown {
 public:
  virtual Result QueryInterface(const Uid& iid, void** out) = 0;
  virtual uint32_t AddRef() = 0;
  virtual uint32_t Release() = 0;

 protected:
  ~IUnknown() = default;
};

class IComponentFactory : public IUnknown {
 public:
  virtual Result CreateInstance(IUnknown* outer, const Uid& clsid, const Uid& iid, void** out) = 0;

 protected:
  ~IComponentFactory() = default;
};

// Marker interface of the host's description object once the plug-in has filled it.
class IPluginDefinition : public IUnknown {
 protected:
  ~IPluginDefinition() = default;
};

// ---------------------------------------------------------------- description (host side)

class IPropertyMap : public IUnknown {
 public:
  virtual Result AddProperty(uint32_t property, int32_t value) = 0;

 protected:
  ~IPropertyMap() = default;
};

// contexts: one render context (an array of kContextFieldCount slots) per instance.
using RenderProc = void (*)(void* const contexts[], const void* end);
using InstanceInitProc = Result (*)(const void* context, int32_t action);
using BackgroundProc = Result (*)();
// A create procedure returns a new object with one reference, owned by the caller.
using CreateProc = IUnknown* (*)();

class IComponentDescriptor : public IUnknown {
 public:
  virtual Result AddAudioIn(int32_t field) = 0;
  virtual Result AddAudioOut(int32_t field) = 0;
  virtual Result AddAudioBufferLength(int32_t field) = 0;
  virtual Result AddAuxOutputStem(int32_t field, int32_t stemFormat, const char* name) = 0;
  virtual Result AddPrivateData(int32_t field, int32_t size, int32_t options) = 0;
  virtual Result AddMeters(int32_t field, const uint32_t* meterIds, uint32_t count) = 0;
  virtual Result AddMidiNode(int32_t field, uint32_t nodeType, const char* name, uint32_t mask) = 0;
  // The new map carries one reference owned by the caller; null when the host has none.
  virtual IPropertyMap* NewPropertyMap() = 0;
  virtual Result AddProcessProcNative(RenderProc render, IPropertyMap* properties,
                                      InstanceInitProc init, BackgroundProc background) = 0;

 protected:
  ~IComponentDescriptor() = default;
};

class IEffectDescriptor : public IUnknown {
 public:
  virtual IComponentDescriptor* NewComponentDescriptor() = 0;
  virtual Result AddComponent(IComponentDescriptor* component) = 0;
  virtual Result AddName(const char* name) = 0;
  virtual Result AddCategory(uint32_t category) = 0;
  virtual Result AddProcPtr(void* proc, int32_t procId) = 0;

 protected:
  ~IEffectDescriptor() = default;
};

class IDescriptionCollection : public IUnknown {
 public:
  virtual IEffectDescriptor* NewDescriptor() = 0;
  virtual Result AddEffect(const char* effectId, IEffectDescriptor* effect) = 0;
  virtual Result SetManufacturerName(const char* name) = 0;
  virtual Result AddPackageName(const char* name) = 0;
  virtual Result SetPackageVersion(uint32_t version) = 0;

 protected:
  ~IDescriptionCollection() = default;
};

// ---------------------------------------------------------------- run time (host side)

class IHostServices : public IUnknown {
 protected:
  ~IHostServices() = default;
};

class IController : public IUnknown {
 public:
  virtual Result GetSampleRate(double* rate) = 0;
  virtual Result GetInputStemFormat(int32_t* stemFormat) = 0;
  virtual Result GetOutputStemFormat(int32_t* stemFormat) = 0;
  virtual Result SetSignalLatency(int32_t samples) = 0;
  // The effect-parameters object of the instance this controller belongs to (one reference).
  virtual Result GetEffectParameters(IUnknown** out) = 0;

 protected:
  ~IController() = default;
};

class IAutomationDelegate : public IUnknown {
 public:
  virtual Result PostTouchRequest(const char* parameterId) = 0;
  virtual Result PostSetValueRequest(const char* parameterId, double normalized) = 0;
  virtual Result PostReleaseRequest(const char* parameterId) = 0;
  virtual Result PostCurrentValue(const char* parameterId, double normalized) = 0;

 protected:
  ~IAutomationDelegate() = default;
};

constexpr int64_t kTicksPerQuarterNote = 960000;

class ITransport : public IUnknown {
 public:
  virtual Result GetCurrentTempo(double* bpm) = 0;
  virtual Result GetCurrentMeter(int32_t* numerator, int32_t* denominator) = 0;
  virtual Result IsTransportPlaying(bool* playing) = 0;
  virtual Result GetCurrentTickPosition(int64_t* ticks) = 0;
  virtual Result GetCurrentLoopPosition(bool* looping, int64_t* startTick, int64_t* endTick) = 0;
  virtual Result GetCurrentNativeSampleLocation(int64_t* sample) = 0;

 protected:
  ~ITransport() = default;
};

class IViewContainer : public IUnknown {
 public:
  // The native parent window (an X11 window id on Linux), or null.
  virtual void* GetPtr() = 0;
  virtual Result SetViewSize(const Point& size) = 0;

 protected:
  ~IViewContainer() = default;
};

// ---------------------------------------------------------------- plug-in side

// Text results: out receives at most outSize bytes, always terminated when outSize > 0.
class IEffectParameters : public IUnknown {
 public:
  virtual Result Initialize(IUnknown* controller) = 0;
  virtual Result Uninitialize() = 0;
  virtual Result NotificationReceived(uint32_t type, const void* data, uint32_t size) = 0;

  virtual Result GetNumberOfParameters(int32_t* count) = 0;
  virtual Result GetMasterBypassParameter(char* out, int32_t outSize) = 0;
  virtual Result GetParameterIsAutomatable(const char* id, bool* automatable) = 0;
  virtual Result GetParameterNumberOfSteps(const char* id, int32_t* steps) = 0;
  virtual Result GetParameterName(const char* id, char* out, int32_t outSize) = 0;
  virtual Result GetParameterDefaultNormalizedValue(const char* id, double* value) = 0;
  virtual Result GetParameterType(const char* id, int32_t* type) = 0;
  virtual Result GetParameterOrientation(const char* id, int32_t* orientation) = 0;
  // The current value as text of at most maxLength characters.
  virtual Result GetParameterValueString(const char* id, char* out, int32_t maxLength,
                                         int32_t outSize) = 0;
  virtual Result GetParameterStringFromValue(const char* id, double normalized, char* out,
                                             int32_t maxLength, int32_t outSize) = 0;
  virtual Result GetParameterValueFromString(const char* id, double* normalized,
                                             const char* text) = 0;
  virtual Result GetParameterNormalizedValue(const char* id, double* value) = 0;
  virtual Result SetParameterNormalizedValue(const char* id, double value) = 0;
  virtual Result SetParameterNormalizedRelative(const char* id, double delta) = 0;
  virtual Result TouchParameter(const char* id) = 0;
  virtual Result ReleaseParameter(const char* id) = 0;
  virtual Result UpdateParameterTouch(const char* id, bool touched) = 0;
  virtual Result UpdateParameterNormalizedValue(const char* id, double value, int32_t source) = 0;

  virtual Result GetNumberOfChunks(int32_t* count) = 0;
  virtual Result GetChunkIDFromIndex(int32_t index, uint32_t* chunkId) = 0;
  virtual Result GetChunkSize(uint32_t chunkId, uint32_t* size) = 0;
  // chunk->size holds the data room the host allocated; it receives the bytes written.
  virtual Result GetChunk(uint32_t chunkId, ChunkRecord* chunk) = 0;
  virtual Result SetChunk(uint32_t chunkId, const ChunkRecord* chunk) = 0;
  virtual Result CompareActiveChunk(const ChunkRecord* chunk, bool* equal) = 0;
  virtual Result GetNumberOfChanges(int32_t* changes) = 0;

  virtual Result ResetFieldData(int32_t field, void* data, uint32_t size) = 0;
  virtual Result TimerWakeup() = 0;
  virtual Result SetCustomData(const void* data, uint32_t size) = 0;
  virtual Result DoMidiTransfers() = 0;
  virtual Result UpdateControlMidiNodes() = 0;
  virtual Result RenderAudioHybrid(void* info) = 0;

 protected:
  ~IEffectParameters() = default;
};

class IEffectGui : public IUnknown {
 public:
  virtual Result Initialize(IUnknown* controller) = 0;
  virtual Result Uninitialize() = 0;
  virtual Result SetViewContainer(IUnknown* container) = 0;
  virtual Result GetViewSize(Point* size) = 0;
  virtual Result Draw(const Rect* area) = 0;
  virtual Result TimerWakeup() = 0;
  virtual Result ParameterUpdated(const char* id) = 0;
  virtual Result NotificationReceived(uint32_t type, const void* data, uint32_t size) = 0;
  virtual Result SetControlHighlightInfo(const char* id, bool highlighted, int32_t color) = 0;
  virtual Result GetCustomLabel(const char* id, char* out, int32_t outSize) = 0;

 protected:
  ~IEffectGui() = default;
};

// ---------------------------------------------------------------- module exports

extern "C" {
using RegisterPluginFn = Result (*)(IUnknown* host, IPluginDefinition** definition);
using RegisterComponentFn = Result (*)(IUnknown* host, uint32_t index, IUnknown** component);
using GetClassFactoryFn = Result (*)(IUnknown* host, const Uid& clsid, const Uid& iid,
                                     void** factory);
using CanUnloadNowFn = Result (*)();
using StartupFn = Result (*)(IUnknown* host);
using ShutdownFn = Result (*)(IUnknown* host);
using GetSdkVersionFn = Result (*)(uint64_t* version);
}

constexpr uint64_t kSdkVersion = 0x00000201007756BFull;

}  // namespace aax
