#pragma once
// Writes a RealMedia file with one audio stream made from the 16-bit PCM it
// is given: coded as AC-3 (RealAudio "dnet", each packet one sync frame), or
// stored as it came (this engine's own codec tag "XPCM", for tests that
// compare samples). Packets are streamed to a temporary file of the session's own beside the
// output, created when the output is named; finish() writes the index, fills
// in the counts and sizes, and gives the temporary file the output name in
// one step, so an unfinished file never appears under that name. The
// temporary file also claims the output name: a second writer naming the same
// output while the first is at work is refused.
//
// Layout: .RMF, PROP, CONT, MDPR (audio/x-pn-realaudio with a RealAudio v5
// header, interleaver Int0, codec tag "dnet" or "XPCM"), DATA, INDX. All
// integers big-endian; PCM inside the packets stays little-endian as
// submitted. Each packet's time stamp is the time its first sample plays.
// The duration is that of the PCM given, whatever the codec pads.
#include <cstdint>
#include <cstdio>
#include <string>
#include <memory>
#include <vector>

#include "standin-engine/dnet_stream.h"

enum class RmAudioCodec { Pcm, Dnet };

struct RmClipInfo {
  std::string title;
  std::string author;
  std::string copyright;
  std::string comment;
  uint32_t sampleRate = 44100;  // Hz, at most 65535 (a 16-bit header field)
  uint16_t channels = 1;
  uint16_t bitsPerSample = 16;
  uint16_t fileFlags = 0;  // PROP flags: 1 saved, 2 perfect play (4, live, is never set)
  RmAudioCodec codec = RmAudioCodec::Pcm;
  uint32_t codedBitRate = 0;  // bits per second, for Dnet
};

constexpr uint32_t kRmMaxPacketBytes = 65535;  // header included
constexpr uint32_t kRmPacketHeaderBytes = 12;
// The longest path Windows opens (MAX_PATH without its NUL).
constexpr size_t kRmMaxPathChars = 259;

class RmFileWriter {
 public:
  RmFileWriter() = default;
  ~RmFileWriter();
  RmFileWriter(const RmFileWriter&) = delete;
  RmFileWriter& operator=(const RmFileWriter&) = delete;

  // Creates the temporary file outputPath + ".partial", exclusively, and
  // drops an earlier one. Null on success, otherwise why it failed.
  const char* create(const std::string& outputPath);
  // Writes the headers for `info` into the temporary file. False: the
  // temporary file is gone and beginFailure() says why.
  bool begin(const RmClipInfo& info);
  const char* beginFailure() const { return beginFailure_; }
  // Appends PCM (whole frames): coded, or split at whole frames into
  // packets of at most kRmMaxPacketBytes.
  bool writeAudio(const uint8_t* data, size_t bytes);
  // Completes the file and gives it the output name, waiting a little for
  // readers that hold an older output open. False: the temporary file is
  // gone and the output name untouched.
  bool finish();
  // Drops the temporary file; nothing appears under the output name.
  void abandon();

  bool isOpen() const { return file_ != nullptr; }
  // PCM taken so far.
  uint64_t audioBytes() const { return audioBytes_; }
  uint64_t framesWritten() const { return audioBytes_ / frameBytes(); }
  // The stream's bit rate as written in the headers.
  uint32_t bitRate() const;
  const std::string& temporaryPath() const { return temporaryPath_; }

 private:
  struct PacketEntry {
    uint32_t timeMs;
    uint32_t fileOffset;
  };
  bool writeHeaders(bool final);
  bool writePacket(const uint8_t* payload, size_t bytes, uint32_t timeMs);
  bool writeCodedFrames();
  uint32_t durationMs() const;
  size_t frameBytes() const;

  FILE* file_ = nullptr;
  std::string outputPath_;
  std::string temporaryPath_;
  RmClipInfo info_;
  std::vector<PacketEntry> packets_;
  std::unique_ptr<DnetStream> dnet_;
  std::vector<uint8_t> codedFrames_;  // frames coded, not yet written
  uint64_t codedFramesWritten_ = 0;
  uint64_t audioBytes_ = 0;
  uint64_t payloadBytes_ = 0;
  uint32_t maxPacketBytes_ = 0;
  uint32_t dataOffset_ = 0;
  uint32_t indexOffset_ = 0;
  bool failed_ = false;
  const char* beginFailure_ = nullptr;
};
