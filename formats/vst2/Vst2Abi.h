// The VST2 binary interface between a host and a plug-in module, declared from its
// published record layouts and opcode numbers: the AEffect record, time information,
// events, pin properties, speaker arrangements, key names and the editor rectangle.
//
// Header only, no code: the plug-in binding and the command-line host both include it.
// The static assertions below pin the sizes and offsets that hosts rely on for x86_64
// (LP64); a compiler that laid a record out differently would break every host.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qd::vst2 {

struct AEffect;

// Every callback uses the platform's C calling convention on x86_64 Linux.
using HostCallback = intptr_t (*)(AEffect* effect, int32_t opcode, int32_t index, intptr_t value,
                                  void* ptr, float opt);
using DispatcherProc = intptr_t (*)(AEffect* effect, int32_t opcode, int32_t index, intptr_t value,
                                    void* ptr, float opt);
using ProcessProc = void (*)(AEffect* effect, float** inputs, float** outputs,
                             int32_t sampleFrames);
using ProcessDoubleProc = void (*)(AEffect* effect, double** inputs, double** outputs,
                                   int32_t sampleFrames);
using SetParameterProc = void (*)(AEffect* effect, int32_t index, float value);
using GetParameterProc = float (*)(AEffect* effect, int32_t index);
// The module's entry point, exported as VSTPluginMain and as main.
using EntryProc = AEffect* (*)(HostCallback host);

constexpr int32_t kEffectMagic = 0x56737450;  // 'VstP'

struct AEffect {
  int32_t magic;
  DispatcherProc dispatcher;
  ProcessProc process;  // accumulating float processing (deprecated by hosts, still called)
  SetParameterProc setParameter;
  GetParameterProc getParameter;
  int32_t numPrograms;
  int32_t numParams;
  int32_t numInputs;
  int32_t numOutputs;
  int32_t flags;
  intptr_t reserved1;
  intptr_t reserved2;
  int32_t initialDelay;
  int32_t realQualities;
  int32_t offQualities;
  float ioRatio;
  void* object;  // the plug-in's own pointer
  void* user;    // free for the host
  int32_t uniqueID;
  int32_t version;
  ProcessProc processReplacing;
  ProcessDoubleProc processDoubleReplacing;
  char future[56];
};

// AEffect::flags
enum EffectFlags : int32_t {
  kEffFlagsHasEditor = 0x01,
  kEffFlagsCanMono = 0x08,
  kEffFlagsCanReplacing = 0x10,
  kEffFlagsProgramChunks = 0x20,
  kEffFlagsIsSynth = 0x100,
  kEffFlagsNoSoundInStop = 0x200,
  kEffFlagsCanDoubleReplacing = 0x1000,
};

// Opcodes the host sends through AEffect::dispatcher.
enum EffectOpcode : int32_t {
  effOpen = 0,
  effClose = 1,
  effSetProgram = 2,
  effGetProgram = 3,
  effSetProgramName = 4,
  effGetProgramName = 5,
  effGetParamLabel = 6,
  effGetParamDisplay = 7,
  effGetParamName = 8,
  effGetVu = 9,
  effSetSampleRate = 10,
  effSetBlockSize = 11,
  effMainsChanged = 12,
  effEditGetRect = 13,
  effEditOpen = 14,
  effEditClose = 15,
  effEditDraw = 16,
  effEditMouse = 17,
  effEditKey = 18,
  effEditIdle = 19,
  effEditTop = 20,
  effEditSleep = 21,
  effIdentify = 22,
  effGetChunk = 23,
  effSetChunk = 24,
  effProcessEvents = 25,
  effCanBeAutomated = 26,
  effString2Parameter = 27,
  effGetNumProgramCategories = 28,
  effGetProgramNameIndexed = 29,
  effCopyProgram = 30,
  effConnectInput = 31,
  effConnectOutput = 32,
  effGetInputProperties = 33,
  effGetOutputProperties = 34,
  effGetPlugCategory = 35,
  effGetCurrentPosition = 36,
  effGetDestinationBuffer = 37,
  effOfflineNotify = 38,
  effOfflinePrepare = 39,
  effOfflineRun = 40,
  effProcessVarIo = 41,
  effSetSpeakerArrangement = 42,
  effSetBlockSizeAndSampleRate = 43,
  effSetBypass = 44,
  effGetEffectName = 45,
  effGetErrorText = 46,
  effGetVendorString = 47,
  effGetProductString = 48,
  effGetVendorVersion = 49,
  effVendorSpecific = 50,
  effCanDo = 51,
  effGetTailSize = 52,
  effIdle = 53,
  effGetIcon = 54,
  effSetViewPosition = 55,
  effGetParameterProperties = 56,
  effKeysRequired = 57,
  effGetVstVersion = 58,
  effEditKeyDown = 59,
  effEditKeyUp = 60,
  effSetEditKnobMode = 61,
  effGetMidiProgramName = 62,
  effGetCurrentMidiProgram = 63,
  effGetMidiProgramCategory = 64,
  effHasMidiProgramsChanged = 65,
  effGetMidiKeyName = 66,
  effBeginSetProgram = 67,
  effEndSetProgram = 68,
  effGetSpeakerArrangement = 69,
  effShellGetNextPlugin = 70,
  effStartProcess = 71,
  effStopProcess = 72,
  effSetTotalSampleToProcess = 73,
  effSetPanLaw = 74,
  effBeginLoadBank = 75,
  effBeginLoadProgram = 76,
  effSetProcessPrecision = 77,
  effGetNumMidiInputChannels = 78,
  effGetNumMidiOutputChannels = 79,
};

// Opcodes the plug-in sends through the host callback.
enum HostOpcode : int32_t {
  audioMasterAutomate = 0,
  audioMasterVersion = 1,
  audioMasterCurrentId = 2,
  audioMasterIdle = 3,
  audioMasterWantMidi = 6,
  audioMasterGetTime = 7,
  audioMasterProcessEvents = 8,
  audioMasterIOChanged = 13,
  audioMasterSizeWindow = 15,
  audioMasterGetSampleRate = 16,
  audioMasterGetBlockSize = 17,
  audioMasterGetInputLatency = 18,
  audioMasterGetOutputLatency = 19,
  audioMasterGetCurrentProcessLevel = 23,
  audioMasterGetAutomationState = 24,
  audioMasterGetVendorString = 32,
  audioMasterGetProductString = 33,
  audioMasterGetVendorVersion = 34,
  audioMasterVendorSpecific = 35,
  audioMasterCanDo = 37,
  audioMasterGetLanguage = 38,
  audioMasterGetDirectory = 41,
  audioMasterUpdateDisplay = 42,
  audioMasterBeginEdit = 43,
  audioMasterEndEdit = 44,
};

// audioMasterGetCurrentProcessLevel answers.
enum ProcessLevel : int32_t {
  kVstProcessLevelUnknown = 0,
  kVstProcessLevelUser = 1,
  kVstProcessLevelRealtime = 2,
  kVstProcessLevelPrefetch = 3,
  kVstProcessLevelOffline = 4,
};

// effGetPlugCategory answers.
enum PlugCategory : int32_t {
  kPlugCategUnknown = 0,
  kPlugCategEffect = 1,
  kPlugCategSynth = 2,
};

struct VstTimeInfo {
  double samplePos;
  double sampleRate;
  double nanoSeconds;
  double ppqPos;
  double tempo;
  double barStartPos;
  double cycleStartPos;
  double cycleEndPos;
  int32_t timeSigNumerator;
  int32_t timeSigDenominator;
  int32_t smpteOffset;
  int32_t smpteFrameRate;
  int32_t samplesToNextClock;
  int32_t flags;
};

// VstTimeInfo::flags; the "valid" bits are also the request mask passed as value to
// audioMasterGetTime.
enum TimeInfoFlags : int32_t {
  kVstTransportChanged = 0x1,
  kVstTransportPlaying = 0x2,
  kVstTransportCycleActive = 0x4,
  kVstTransportRecording = 0x8,
  kVstAutomationWriting = 0x40,
  kVstAutomationReading = 0x80,
  kVstNanosValid = 0x100,
  kVstPpqPosValid = 0x200,
  kVstTempoValid = 0x400,
  kVstBarsValid = 0x800,
  kVstCyclePosValid = 0x1000,
  kVstTimeSigValid = 0x2000,
  kVstSmpteValid = 0x4000,
  kVstClockValid = 0x8000,
};

enum EventType : int32_t {
  kVstMidiType = 1,
  kVstSysExType = 6,
};

// The common head of every event; byteSize counts the bytes after it would be read.
struct VstEvent {
  int32_t type;
  int32_t byteSize;
  int32_t deltaFrames;
  int32_t flags;
  char data[16];
};

struct VstMidiEvent {
  int32_t type;
  int32_t byteSize;
  int32_t deltaFrames;
  int32_t flags;
  int32_t noteLength;
  int32_t noteOffset;
  char midiData[4];
  char detune;
  char noteOffVelocity;
  char reserved1;
  char reserved2;
};

struct VstMidiSysexEvent {
  int32_t type;
  int32_t byteSize;
  int32_t deltaFrames;
  int32_t flags;
  int32_t dumpBytes;
  intptr_t reserved1;
  char* sysexDump;
  intptr_t reserved2;
};

// A variable-length list: events has numEvents entries (declared with two).
struct VstEvents {
  int32_t numEvents;
  intptr_t reserved;
  VstEvent* events[2];
};

constexpr int kVstMaxLabelLen = 64;
constexpr int kVstMaxShortLabelLen = 8;
constexpr int kVstMaxNameLen = 64;

enum PinFlags : int32_t {
  kVstPinIsActive = 0x1,
  kVstPinIsStereo = 0x2,
  kVstPinUseSpeaker = 0x4,
};

struct VstPinProperties {
  char label[kVstMaxLabelLen];
  int32_t flags;
  int32_t arrangementType;
  char shortLabel[kVstMaxShortLabelLen];
  char future[48];
};

enum SpeakerArrangementType : int32_t {
  kSpeakerArrUserDefined = -2,
  kSpeakerArrEmpty = -1,
  kSpeakerArrMono = 0,
  kSpeakerArrStereo = 1,
};

struct VstSpeakerProperties {
  float azimuth;
  float elevation;
  float radius;
  float reserved;
  char name[kVstMaxNameLen];
  int32_t type;
  char future[28];
};

// Declared with eight speakers; hosts may pass longer records for more channels.
struct VstSpeakerArrangement {
  int32_t type;
  int32_t numChannels;
  VstSpeakerProperties speakers[8];
};

struct MidiKeyName {
  int32_t thisProgramIndex;
  int32_t thisKeyNumber;
  char keyName[kVstMaxNameLen];
  int32_t reserved;
  int32_t flags;
};

struct ERect {
  int16_t top;
  int16_t left;
  int16_t bottom;
  int16_t right;
};

constexpr int32_t kVstVersion = 2400;  // effGetVstVersion, audioMasterVersion

// ---- the layout hosts depend on (x86_64, LP64) ----
static_assert(sizeof(void*) == 8, "the layouts below are those of 64-bit hosts");
static_assert(offsetof(AEffect, magic) == 0);
static_assert(offsetof(AEffect, dispatcher) == 8);
static_assert(offsetof(AEffect, process) == 16);
static_assert(offsetof(AEffect, setParameter) == 24);
static_assert(offsetof(AEffect, getParameter) == 32);
static_assert(offsetof(AEffect, numPrograms) == 40);
static_assert(offsetof(AEffect, numParams) == 44);
static_assert(offsetof(AEffect, numInputs) == 48);
static_assert(offsetof(AEffect, numOutputs) == 52);
static_assert(offsetof(AEffect, flags) == 56);
static_assert(offsetof(AEffect, reserved1) == 64);
static_assert(offsetof(AEffect, reserved2) == 72);
static_assert(offsetof(AEffect, initialDelay) == 80);
static_assert(offsetof(AEffect, ioRatio) == 92);
static_assert(offsetof(AEffect, object) == 96);
static_assert(offsetof(AEffect, user) == 104);
static_assert(offsetof(AEffect, uniqueID) == 112);
static_assert(offsetof(AEffect, version) == 116);
static_assert(offsetof(AEffect, processReplacing) == 120);
static_assert(offsetof(AEffect, processDoubleReplacing) == 128);
static_assert(sizeof(AEffect) == 192);

static_assert(offsetof(VstTimeInfo, tempo) == 32);
static_assert(offsetof(VstTimeInfo, cycleEndPos) == 56);
static_assert(offsetof(VstTimeInfo, timeSigNumerator) == 64);
static_assert(offsetof(VstTimeInfo, flags) == 84);
static_assert(sizeof(VstTimeInfo) == 88);

static_assert(sizeof(VstEvent) == 32);
static_assert(offsetof(VstMidiEvent, midiData) == 24);
static_assert(sizeof(VstMidiEvent) == 32);
static_assert(offsetof(VstMidiSysexEvent, dumpBytes) == 16);
static_assert(offsetof(VstMidiSysexEvent, sysexDump) == 32);
static_assert(sizeof(VstMidiSysexEvent) == 48);
static_assert(offsetof(VstEvents, events) == 16);

static_assert(offsetof(VstPinProperties, flags) == 64);
static_assert(offsetof(VstPinProperties, arrangementType) == 68);
static_assert(offsetof(VstPinProperties, shortLabel) == 72);
static_assert(sizeof(VstPinProperties) == 128);

static_assert(offsetof(VstSpeakerProperties, name) == 16);
static_assert(offsetof(VstSpeakerProperties, type) == 80);
static_assert(sizeof(VstSpeakerProperties) == 112);
static_assert(offsetof(VstSpeakerArrangement, speakers) == 8);
static_assert(sizeof(VstSpeakerArrangement) == 8 + 8 * 112);

static_assert(offsetof(MidiKeyName, keyName) == 8);
static_assert(sizeof(MidiKeyName) == 80);
static_assert(sizeof(ERect) == 8);

}  // namespace qd::vst2
