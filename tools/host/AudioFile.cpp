#include "tools/host/AudioFile.h"

#include <sys/stat.h>

#include "tools/host/HostError.h"

namespace qd::host {

AudioReader::AudioReader(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) throw HostError("no such file: '" + path + "'");
  if (S_ISDIR(st.st_mode)) throw HostError("'" + path + "' is a directory, not an audio file");
  file_ = sf_open(path.c_str(), SFM_READ, &info_);
  if (!file_) {
    throw HostError("cannot read '" + path + "' as audio: " + sf_strerror(nullptr));
  }
  if (info_.channels < 1 || info_.samplerate < 1) {
    sf_close(file_);
    file_ = nullptr;
    throw HostError("'" + path + "' has no channels or no sample rate");
  }
}

AudioReader::~AudioReader() {
  if (file_) sf_close(file_);
}

int AudioReader::Read(double* interleaved, int frames) {
  return static_cast<int>(sf_readf_double(file_, interleaved, frames));
}

AudioWriter::AudioWriter(const std::string& path, int format, int channels, int sampleRate)
    : path_(path) {
  SF_INFO info{};
  info.samplerate = sampleRate;
  info.channels = channels;
  info.format = format;
  if (!sf_format_check(&info)) {
    throw HostError("cannot write " + FormatName(format) + " with " + std::to_string(channels) +
                    " channels at " + std::to_string(sampleRate) + " Hz");
  }
  file_ = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!file_) throw HostError("cannot write '" + path + "': " + sf_strerror(nullptr));
  sf_command(file_, SFC_SET_CLIPPING, nullptr, SF_TRUE);
}

AudioWriter::~AudioWriter() {
  if (file_) sf_close(file_);
}

void AudioWriter::Write(const double* interleaved, int frames) {
  if (sf_writef_double(file_, interleaved, frames) != frames) {
    throw HostError("writing '" + path_ + "' failed: " + sf_strerror(file_));
  }
}

void AudioWriter::WriteInt(const int32_t* interleaved, int frames) {
  if (sf_writef_int(file_, interleaved, frames) != frames) {
    throw HostError("writing '" + path_ + "' failed: " + sf_strerror(file_));
  }
}

void AudioWriter::Close() {
  if (file_ && sf_close(file_) != 0) {
    file_ = nullptr;
    throw HostError("closing '" + path_ + "' failed");
  }
  file_ = nullptr;
}

std::string FormatName(int format) {
  SF_FORMAT_INFO major{};
  major.format = format & SF_FORMAT_TYPEMASK;
  std::string name = "audio";
  if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &major, sizeof(major)) == 0 && major.name) {
    name = major.name;
  }
  SF_FORMAT_INFO sub{};
  sub.format = format & SF_FORMAT_SUBMASK;
  if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &sub, sizeof(sub)) == 0 && sub.name) {
    name += ", ";
    name += sub.name;
  }
  return name;
}

}  // namespace qd::host
