#pragma once
// Writes a RealMedia file with one uncompressed 16-bit PCM audio stream.
// Packets are streamed to a temporary file beside the output; finish() writes
// the index, fills in the counts and sizes, and renames the temporary file to
// the output name, so an unfinished file never appears under that name.
//
// Layout: .RMF, PROP, CONT, MDPR (audio/x-pn-realaudio with a RealAudio v5
// header, interleaver Int0, codec tag "XPCM"), DATA, INDX. All integers
// big-endian; the PCM inside the packets stays little-endian as submitted.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct RmClipInfo {
  std::string title;
  std::string author;
  std::string copyright;
  std::string comment;
  uint32_t sampleRate = 44100;  // Hz, at most 65535 (a 16-bit header field)
  uint16_t channels = 1;
  uint16_t bitsPerSample = 16;
  uint16_t fileFlags = 0;  // PROP flags: 1 saved, 2 perfect play (4, live, is never set)
};

constexpr uint32_t kRmMaxPacketBytes = 65535;  // header included
constexpr uint32_t kRmPacketHeaderBytes = 12;

class RmFileWriter {
 public:
  RmFileWriter() = default;
  ~RmFileWriter();
  RmFileWriter(const RmFileWriter&) = delete;
  RmFileWriter& operator=(const RmFileWriter&) = delete;

  // Opens the temporary file outputPath + ".partial" and writes the headers.
  bool begin(const std::string& outputPath, const RmClipInfo& info);
  // Appends PCM, split into packets of at most kRmMaxPacketBytes, each
  // carrying timeMs.
  bool writeAudio(const uint8_t* data, size_t bytes, uint32_t timeMs);
  // Completes the file and gives it the output name.
  bool finish();
  // Drops the temporary file; nothing appears under the output name.
  void abandon();

  bool isOpen() const { return file_ != nullptr; }
  uint64_t audioBytes() const { return audioBytes_; }
  const std::string& temporaryPath() const { return temporaryPath_; }

 private:
  struct PacketEntry {
    uint32_t timeMs;
    uint32_t fileOffset;
  };
  bool writeHeaders(bool final);
  uint32_t durationMs() const;

  FILE* file_ = nullptr;
  std::string outputPath_;
  std::string temporaryPath_;
  RmClipInfo info_;
  std::vector<PacketEntry> packets_;
  uint64_t audioBytes_ = 0;
  uint32_t maxPacketBytes_ = 0;
  uint32_t dataOffset_ = 0;
  uint32_t indexOffset_ = 0;
  bool failed_ = false;
};
