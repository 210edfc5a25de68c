// Reading and writing audio files through libsndfile (WAV, FLAC and whatever else it
// reads), frame by frame as interleaved doubles in -1..1. Throws HostError with a message
// that says what is wrong with the file.
#pragma once

#include <sndfile.h>

#include <cstdint>
#include <string>

namespace qd::host {

class AudioReader {
 public:
  explicit AudioReader(const std::string& path);
  ~AudioReader();
  AudioReader(const AudioReader&) = delete;
  AudioReader& operator=(const AudioReader&) = delete;

  int Channels() const { return info_.channels; }
  int SampleRate() const { return info_.samplerate; }
  int64_t Frames() const { return info_.frames; }
  int Format() const { return info_.format; }
  // Reads up to `frames` interleaved frames; returns the number read (0 at the end).
  int Read(double* interleaved, int frames);

 private:
  SNDFILE* file_ = nullptr;
  SF_INFO info_{};
};

class AudioWriter {
 public:
  // format: a libsndfile format word (major type | subtype); values beyond full scale are
  // clipped for integer formats rather than wrapped.
  AudioWriter(const std::string& path, int format, int channels, int sampleRate);
  ~AudioWriter();
  AudioWriter(const AudioWriter&) = delete;
  AudioWriter& operator=(const AudioWriter&) = delete;

  void Write(const double* interleaved, int frames);
  // Integer samples left-justified in 32 bits (a 16-bit code shifted up by 16, a 24-bit one
  // by 8), written without any conversion of their own.
  void WriteInt(const int32_t* interleaved, int frames);
  void Close();

 private:
  std::string path_;
  SNDFILE* file_ = nullptr;
};

// A short name of a file's format, such as "WAV float" or "FLAC 24-bit".
std::string FormatName(int format);

}  // namespace qd::host
