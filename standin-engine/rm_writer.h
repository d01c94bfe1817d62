#pragma once
// Writes a RealMedia file with one uncompressed 16-bit PCM audio stream.
// Packets are streamed to a temporary file of the session's own beside the
// output, created when the output is named; finish() writes the index, fills
// in the counts and sizes, and gives the temporary file the output name in
// one step, so an unfinished file never appears under that name. The
// temporary file also claims the output name: a second writer naming the same
// output while the first is at work is refused.
//
// Layout: .RMF, PROP, CONT, MDPR (audio/x-pn-realaudio with a RealAudio v5
// header, interleaver Int0, codec tag "XPCM"), DATA, INDX. All integers
// big-endian; the PCM inside the packets stays little-endian as submitted.
// Each packet's time stamp is the time its first frame plays, counted from
// the frames written before it.
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
  // Writes the headers for `info` into the temporary file.
  bool begin(const RmClipInfo& info);
  // Appends PCM, split at whole frames into packets of at most
  // kRmMaxPacketBytes, each stamped with its own start time.
  bool writeAudio(const uint8_t* data, size_t bytes);
  // Completes the file and gives it the output name, waiting a little for
  // readers that hold an older output open. False: the temporary file is
  // gone and the output name untouched.
  bool finish();
  // Drops the temporary file; nothing appears under the output name.
  void abandon();

  bool isOpen() const { return file_ != nullptr; }
  uint64_t audioBytes() const { return audioBytes_; }
  uint64_t framesWritten() const { return audioBytes_ / frameBytes(); }
  const std::string& temporaryPath() const { return temporaryPath_; }

 private:
  struct PacketEntry {
    uint32_t timeMs;
    uint32_t fileOffset;
  };
  bool writeHeaders(bool final);
  uint32_t durationMs() const;
  size_t frameBytes() const;

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
