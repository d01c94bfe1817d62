#include "standin-engine/rm_writer.h"

#include <algorithm>

#include "standin-engine/dnet_stream.h"
#include "standin-engine/output_files.h"

namespace {

constexpr uint16_t kStreamNumber = 0;
constexpr uint16_t kHeaderCount = 5;  // PROP, CONT, MDPR, DATA, INDX
const char kInterleaver[] = "Int0";   // no interleaving (readers skip an unknown codec only then)
const char kPcmCodecTag[] = "XPCM";   // this engine's own: raw 16-bit little-endian PCM
const char kDnetCodecTag[] = "dnet";  // AC-3, words byte-swapped
const char kStreamName[] = "Audio Stream";
const char kMimeType[] = "audio/x-pn-realaudio";

class ByteWriter {
 public:
  void u8(uint32_t v) { bytes.push_back(static_cast<uint8_t>(v)); }
  void u16(uint32_t v) { u8(v >> 8); u8(v); }
  void u32(uint32_t v) { u16(v >> 16); u16(v); }
  void tag(const char* fourCc) { bytes.insert(bytes.end(), fourCc, fourCc + 4); }
  void zeros(size_t n) { bytes.insert(bytes.end(), n, 0); }
  void text16(const std::string& s) {
    size_t n = std::min<size_t>(s.size(), 0xFFFF);
    u16(static_cast<uint32_t>(n));
    bytes.insert(bytes.end(), s.begin(), s.begin() + n);
  }
  void text8(const char* s) {
    std::string t(s);
    u8(static_cast<uint32_t>(t.size()));
    bytes.insert(bytes.end(), t.begin(), t.end());
  }
  void append(const std::vector<uint8_t>& more) { bytes.insert(bytes.end(), more.begin(), more.end()); }
  // Opens a chunk: tag, size (patched by endChunk), version 0.
  size_t beginChunk(const char* fourCc) {
    size_t start = bytes.size();
    tag(fourCc);
    u32(0);
    u16(0);
    return start;
  }
  void endChunk(size_t start) {
    uint32_t size = static_cast<uint32_t>(bytes.size() - start);
    for (int i = 0; i < 4; ++i) bytes[start + 4 + i] = static_cast<uint8_t>(size >> (24 - 8 * i));
  }
  std::vector<uint8_t> bytes;
};

// The RealAudio v5 type-specific header of the audio stream. `frameBytes`:
// a PCM frame, or an AC-3 sync frame (one a packet, never interleaved).
std::vector<uint8_t> realAudioHeader(const RmClipInfo& info, uint16_t frameBytes, uint32_t dataBytes) {
  ByteWriter w;
  w.u8('.'); w.u8('r'); w.u8('a'); w.u8(0xFD);
  w.u16(5);          // version
  w.u16(0);          // unused
  w.tag(".ra5");
  w.u32(dataBytes);  // data size
  w.u16(5);          // version again
  w.u32(0);          // header size, patched below
  w.u16(0);          // codec flavour
  w.u32(frameBytes); // coded frame size
  w.zeros(12);
  w.u16(1);          // sub-packet interleave factor
  w.u16(frameBytes); // frame size
  w.u16(frameBytes); // sub-packet size
  w.u16(0);
  w.zeros(6);
  w.u16(info.sampleRate);
  w.u16(0);
  w.u16(info.bitsPerSample);
  w.u16(info.channels);
  w.tag(kInterleaver);
  w.tag(info.codec == RmAudioCodec::Dnet ? kDnetCodecTag : kPcmCodecTag);
  w.u8(1); w.u8(0); w.u8(0); w.u8(0);
  w.u32(0);          // no extra data
  uint32_t headerSize = static_cast<uint32_t>(w.bytes.size());
  for (int i = 0; i < 4; ++i) w.bytes[18 + i] = static_cast<uint8_t>(headerSize >> (24 - 8 * i));
  return w.bytes;
}

}  // namespace

RmFileWriter::~RmFileWriter() { abandon(); }

uint32_t RmFileWriter::bitRate() const {
  if (dnet_) return dnet_->bitRate();
  return info_.sampleRate * info_.channels * info_.bitsPerSample;
}

size_t RmFileWriter::frameBytes() const { return std::max<size_t>(1, info_.channels * info_.bitsPerSample / 8); }

uint32_t RmFileWriter::durationMs() const {
  const uint64_t bytesPerSecond = uint64_t(info_.sampleRate) * info_.channels * info_.bitsPerSample / 8;
  return bytesPerSecond ? static_cast<uint32_t>(audioBytes_ * 1000 / bytesPerSecond) : 0;
}

// Writes every header up to and including the DATA chunk header at the start
// of the file. Called at begin() with zero counts and again at finish() with
// the final ones; the sizes of the variable parts do not change in between.
bool RmFileWriter::writeHeaders(bool final) {
  const uint32_t bitRate = this->bitRate();
  const uint32_t packetCount = static_cast<uint32_t>(packets_.size());
  const uint32_t averagePacket = packetCount ? static_cast<uint32_t>(
      (payloadBytes_ + uint64_t(packetCount) * kRmPacketHeaderBytes) / packetCount) : 0;
  const uint32_t dataBytes = static_cast<uint32_t>(payloadBytes_);
  const uint16_t streamFrameBytes = static_cast<uint16_t>(dnet_ ? dnet_->frameBytes() : frameBytes());

  ByteWriter w;
  size_t chunk = w.beginChunk(".RMF");
  w.u32(0);
  w.u32(kHeaderCount);
  w.endChunk(chunk);

  chunk = w.beginChunk("PROP");
  w.u32(bitRate);          // max bit rate
  w.u32(bitRate);          // average bit rate
  w.u32(maxPacketBytes_);
  w.u32(averagePacket);
  w.u32(packetCount);
  w.u32(durationMs());
  w.u32(0);                // preroll
  w.u32(final ? indexOffset_ : 0);
  w.u32(dataOffset_);
  w.u16(1);                // one stream
  w.u16(info_.fileFlags & 3u);
  w.endChunk(chunk);

  chunk = w.beginChunk("CONT");
  w.text16(info_.title);
  w.text16(info_.author);
  w.text16(info_.copyright);
  w.text16(info_.comment);
  w.endChunk(chunk);

  chunk = w.beginChunk("MDPR");
  w.u16(kStreamNumber);
  w.u32(bitRate);
  w.u32(bitRate);
  w.u32(maxPacketBytes_);
  w.u32(averagePacket);
  w.u32(0);                // start time
  w.u32(0);                // preroll
  w.u32(durationMs());
  w.text8(kStreamName);
  w.text8(kMimeType);
  std::vector<uint8_t> typeSpecific = realAudioHeader(info_, streamFrameBytes, dataBytes);
  w.u32(static_cast<uint32_t>(typeSpecific.size()));
  w.append(typeSpecific);
  w.endChunk(chunk);

  const uint32_t dataStart = static_cast<uint32_t>(w.bytes.size());
  w.tag("DATA");
  const uint64_t dataChunkBytes = 18 + payloadBytes_ + uint64_t(packetCount) * kRmPacketHeaderBytes;
  w.u32(static_cast<uint32_t>(dataChunkBytes));
  w.u16(0);
  w.u32(packetCount);
  w.u32(0);                // no further DATA chunk
  if (!final) dataOffset_ = dataStart;
  if (dataStart != dataOffset_) return false;

  if (std::fseek(file_, 0, SEEK_SET) != 0) return false;
  return std::fwrite(w.bytes.data(), 1, w.bytes.size(), file_) == w.bytes.size();
}

const char* RmFileWriter::create(const std::string& outputPath) {
  abandon();
  const std::string temporaryPath = outputPath + ".partial";
  if (temporaryPath.size() > kRmMaxPathChars) return "temporary file name too long";
  bool nameTaken = false;
  file_ = createNewFile(temporaryPath, nameTaken);
  // A temporary file nobody holds is a leftover of a session that never
  // cleaned up; one that is held belongs to a session writing this output.
  if (!file_ && nameTaken && removeUnusedFile(temporaryPath)) file_ = createNewFile(temporaryPath, nameTaken);
  if (!file_) return nameTaken ? "output file is being written by another session" : "cannot create the file";
  outputPath_ = outputPath;
  temporaryPath_ = temporaryPath;
  packets_.clear();
  dnet_.reset();
  codedFrames_.clear();
  codedFramesWritten_ = 0;
  audioBytes_ = 0;
  payloadBytes_ = 0;
  maxPacketBytes_ = 0;
  indexOffset_ = 0;
  failed_ = false;
  return nullptr;
}

bool RmFileWriter::begin(const RmClipInfo& info) {
  beginFailure_ = nullptr;
  if (!file_) {
    beginFailure_ = "no temporary file";
    return false;
  }
  if (info.sampleRate == 0 || info.sampleRate > 65535 || info.channels == 0) {
    beginFailure_ = "the rate or channel count does not fit the header";
  } else if (info.codec == RmAudioCodec::Dnet) {
    dnet_ = std::make_unique<DnetStream>();
    beginFailure_ = dnet_->configure(info.sampleRate, info.channels, info.codedBitRate);
  }
  info_ = info;
  if (!beginFailure_ && !writeHeaders(false)) beginFailure_ = "cannot write the file's headers";
  if (beginFailure_) {
    abandon();
    return false;
  }
  return true;
}

bool RmFileWriter::writePacket(const uint8_t* payload, size_t bytes, uint32_t timeMs) {
  const uint32_t packetBytes = static_cast<uint32_t>(bytes + kRmPacketHeaderBytes);
  long offset = std::ftell(file_);
  ByteWriter h;
  h.u16(0);
  h.u16(packetBytes);
  h.u16(kStreamNumber);
  h.u32(timeMs);
  h.u8(0);  // packet group
  h.u8(2);  // key frame: every packet decodes on its own
  if (offset < 0 || std::fwrite(h.bytes.data(), 1, h.bytes.size(), file_) != h.bytes.size() ||
      std::fwrite(payload, 1, bytes, file_) != bytes) {
    failed_ = true;
    return false;
  }
  packets_.push_back({timeMs, static_cast<uint32_t>(offset)});
  maxPacketBytes_ = std::max(maxPacketBytes_, packetBytes);
  payloadBytes_ += bytes;
  return true;
}

// One sync frame a packet, stamped with the time its first sample plays.
bool RmFileWriter::writeCodedFrames() {
  const size_t frameSize = dnet_->frameBytes();
  size_t done = 0;
  for (; done + frameSize <= codedFrames_.size(); done += frameSize) {
    const uint64_t firstSample = codedFramesWritten_ * kAc3SamplesPerFrame;
    if (!writePacket(codedFrames_.data() + done, frameSize,
                     static_cast<uint32_t>(firstSample * 1000 / info_.sampleRate)))
      return false;
    ++codedFramesWritten_;
  }
  codedFrames_.erase(codedFrames_.begin(), codedFrames_.begin() + done);
  return true;
}

bool RmFileWriter::writeAudio(const uint8_t* data, size_t bytes) {
  if (!file_ || failed_) return false;
  if (dnet_) {
    dnet_->code(data, bytes, codedFrames_);
    audioBytes_ += bytes;
    return writeCodedFrames();
  }
  constexpr size_t kMaxPayload = kRmMaxPacketBytes - kRmPacketHeaderBytes;
  // Cut at whole frames so that no sample straddles two packets.
  const size_t maxPayload = kMaxPayload - kMaxPayload % frameBytes();
  for (size_t done = 0; done < bytes;) {
    const size_t payload = std::min(maxPayload, bytes - done);
    const uint32_t timeMs = static_cast<uint32_t>(framesWritten() * 1000 / info_.sampleRate);
    if (!writePacket(data + done, payload, timeMs)) return false;
    audioBytes_ += payload;
    done += payload;
  }
  return true;
}

bool RmFileWriter::finish() {
  if (!file_) return false;
  if (dnet_ && !failed_) {
    dnet_->finish(codedFrames_);
    if (!writeCodedFrames()) failed_ = true;
  }
  bool ok = !failed_ && std::fseek(file_, 0, SEEK_END) == 0;
  long end = ok ? std::ftell(file_) : -1;
  ok = ok && end >= 0;
  indexOffset_ = static_cast<uint32_t>(end);
  if (ok) {
    ByteWriter w;
    size_t chunk = w.beginChunk("INDX");
    w.u32(static_cast<uint32_t>(packets_.size()));
    w.u16(kStreamNumber);
    w.u32(0);  // no further index chunk
    for (size_t i = 0; i < packets_.size(); ++i) {
      w.u16(0);
      w.u32(packets_[i].timeMs);
      w.u32(packets_[i].fileOffset);
      w.u32(static_cast<uint32_t>(i));
    }
    w.endChunk(chunk);
    ok = std::fwrite(w.bytes.data(), 1, w.bytes.size(), file_) == w.bytes.size();
  }
  ok = ok && writeHeaders(true) && std::fflush(file_) == 0;
  // Renamed (or removed) while still held, so that the temporary name stays
  // claimed until the output name is the finished file's.
  ok = ok && replaceFile(temporaryPath_, outputPath_);
  if (!ok) {
    abandon();
    return false;
  }
  std::fclose(file_);
  file_ = nullptr;
  return true;
}

void RmFileWriter::abandon() {
  if (!file_) return;
  removeHeldFile(temporaryPath_);
  std::fclose(file_);
  file_ = nullptr;
}
