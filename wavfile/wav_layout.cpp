#include "wavfile/wav_layout.h"

#include <cstring>

#include "wavfile/little_endian.h"

namespace {

constexpr uint32_t kRiffHeaderBytes = 12;  // "RIFF", size, "WAVE"
constexpr uint32_t kW64HeaderBytes = 40;   // riff GUID, size, wave GUID
constexpr uint64_t kAllOnes32 = 0xFFFFFFFFu;

// Wave64 GUIDs: the riff GUID, and every other one a four-character tag
// followed by one fixed tail (as stored in the file).
constexpr uint8_t kW64RiffGuid[16] = {'r', 'i', 'f', 'f', 0x2E, 0x91, 0xCF, 0x11,
                                      0xA5, 0xD6, 0x28, 0xDB, 0x04, 0xC1, 0x00, 0x00};
constexpr uint8_t kW64Tail[12] = {0xF3, 0xAC, 0xD3, 0x11, 0x8C, 0xD1, 0x00, 0xC0, 0x4F, 0x8E, 0xDB, 0x8A};

std::string printableId(const uint8_t* id) {
  std::string text = "'";
  for (int i = 0; i < 4; ++i) text += (id[i] >= 0x20 && id[i] < 0x7F) ? char(id[i]) : '?';
  return text + "'";
}

std::string number(uint64_t value) { return std::to_string(value); }

// The chunk grammar of one container.
struct Container {
  const char* name;
  uint32_t headerBytes;       // of the file header
  uint32_t chunkHeaderBytes;  // id and size
  uint32_t alignment;
  bool wave64;
  bool rf64;

  // The pad bytes that follow a chunk body of size bytes.
  uint64_t paddingAfter(uint64_t size) const { return (alignment - size % alignment) % alignment; }
};

constexpr Container kRiff = {"RIFF", kRiffHeaderBytes, 8, 2, false, false};
constexpr Container kRf64 = {"RF64", kRiffHeaderBytes, 8, 2, false, true};
constexpr Container kWave64 = {"Wave64", kW64HeaderBytes, 24, 8, true, false};

// A 64-bit size that is a placeholder (or too large to be real).
bool isPlaceholder64(uint64_t size) { return size == 0 || size > UINT64_MAX - 8; }

struct Chunk {
  uint8_t id[4];
  bool known;     // Wave64: a GUID of the common tail; RIFF: always
  uint64_t size;  // of the body
  bool sizeIsAllOnes;
};

class LayoutWalk {
 public:
  LayoutWalk(RandomAccessInput& input, WavLayout& layout, std::string& error)
      : input_(input), layout_(layout), error_(error) {}

  bool run();

 private:
  bool fail(const std::string& reason) {
    error_ = reason;
    return false;
  }
  bool repeatedChunk(const char* name, uint64_t offset) {
    return fail(std::string("more than one ") + name + " chunk (a second one at byte " + number(offset) + ")");
  }
  bool readHeader();
  bool setFormEnd(uint64_t declaredSize, uint64_t declaredEnd, bool placeholder);
  bool readChunk(uint64_t offset, Chunk& chunk, bool afterOddChunk);
  bool readDs64(uint64_t body, uint64_t size);
  bool walkChunks();
  bool walkTail(uint64_t offset);
  bool takeChunk(const Chunk& chunk, uint64_t body, uint64_t& size);
  uint64_t dataSize(const Chunk& chunk, uint64_t body, bool& toEnd);
  bool chunkFollows(uint64_t offset);

  RandomAccessInput& input_;
  WavLayout& layout_;
  std::string& error_;
  Container container_ = kRiff;
  uint64_t formEnd_ = 0;
  uint64_t formSize_ = 0;  // as declared, for messages
  bool formStreamed_ = false;
  bool haveFormat_ = false;
  bool haveData_ = false;
  bool haveDs64_ = false;
  uint64_t ds64DataBytes_ = 0;
};

bool LayoutWalk::run() {
  uint64_t fileSize = input_.size();
  if (fileSize == 0) return fail("empty file (0 bytes)");
  if (fileSize < kRiffHeaderBytes)
    return fail("file too short for a RIFF/WAVE header (" + number(fileSize) + " bytes)");
  if (!readHeader() || !walkChunks()) return false;
  if (!haveFormat_) return fail("no fmt chunk");
  if (!haveData_) return fail("no data chunk");
  layout_.container = container_.name;
  return true;
}

bool LayoutWalk::setFormEnd(uint64_t declaredSize, uint64_t declaredEnd, bool placeholder) {
  formStreamed_ = placeholder;
  formSize_ = declaredSize;
  formEnd_ = placeholder ? input_.size() : declaredEnd;
  if (formEnd_ > input_.size())
    return fail(std::string(container_.name) + " size " + number(declaredSize) + " runs past the end of the " +
                number(input_.size()) + "-byte file (truncated or wrong size)");
  return true;
}

bool LayoutWalk::readHeader() {
  uint8_t header[kW64HeaderBytes];
  if (!input_.readAt(0, header, kRiffHeaderBytes)) return fail("cannot read the RIFF header: " + input_.error());
  if (std::memcmp(header, kW64RiffGuid, 4) == 0) {
    container_ = kWave64;
    if (input_.size() < kW64HeaderBytes ||
        !input_.readAt(kRiffHeaderBytes, header + kRiffHeaderBytes, kW64HeaderBytes - kRiffHeaderBytes))
      return fail("file too short for a Wave64 header");
    if (std::memcmp(header, kW64RiffGuid, 16) != 0 || std::memcmp(header + 24, "wave", 4) != 0 ||
        std::memcmp(header + 28, kW64Tail, 12) != 0)
      return fail("not a Wave64 file (wrong riff or wave GUID)");
    uint64_t size = le64(header + 16);  // of the whole form, header included
    if (!isPlaceholder64(size) && size < kW64HeaderBytes)
      return fail("Wave64 size " + number(size) + " leaves no room for the header");
    return setFormEnd(size, size, isPlaceholder64(size));
  }
  bool rf64 = std::memcmp(header, "RF64", 4) == 0 || std::memcmp(header, "BW64", 4) == 0;
  if (rf64) container_ = kRf64;
  if (!rf64 && std::memcmp(header, "RIFF", 4) != 0)
    return fail("not a RIFF file (starts with " + printableId(header) + ")");
  if (std::memcmp(header + 8, "WAVE", 4) != 0) return fail("RIFF form is " + printableId(header + 8) + ", not 'WAVE'");
  uint32_t size = le32(header + 4);
  if (rf64) return true;  // the ds64 chunk that must come first holds the sizes
  bool placeholder = size == 0 || size == kAllOnes32 || (size & 0xFFFFFF00u) == 0x7FFFF000u;
  if (!placeholder && size < 4) return fail("RIFF size " + number(size) + " leaves no room for the form type");
  return setFormEnd(size, uint64_t(size) + 8, placeholder);
}

bool LayoutWalk::readDs64(uint64_t body, uint64_t size) {
  uint8_t ds64[16];
  if (size < 16 || !input_.readAt(body, ds64, 16)) return fail("ds64 chunk too short (" + number(size) + " bytes)");
  uint64_t formSize = le64(ds64);
  ds64DataBytes_ = le64(ds64 + 8);
  haveDs64_ = true;
  return setFormEnd(formSize, formSize + 8, isPlaceholder64(formSize));
}

bool isChunk(const Chunk& chunk, const char* id) { return chunk.known && std::memcmp(chunk.id, id, 4) == 0; }

// A RIFF chunk id is four printable ASCII characters.
bool isFourCc(const uint8_t* id) {
  for (int i = 0; i < 4; ++i)
    if (id[i] < 0x20 || id[i] > 0x7E) return false;
  return true;
}

// afterOddChunk: the previous chunk had an odd size, so a pad byte should lie
// just before `offset`. A writer that left it out puts the next header one
// byte early: a garbled id here with a proper one a byte before says so.
bool LayoutWalk::readChunk(uint64_t offset, Chunk& chunk, bool afterOddChunk) {
  uint8_t header[25];
  const uint32_t back = afterOddChunk && !container_.wave64 ? 1 : 0;
  if (!input_.readAt(offset - back, header, container_.chunkHeaderBytes + back))
    return fail("cannot read a chunk header: " + input_.error());
  if (back != 0 && !isFourCc(header + 1) && isFourCc(header))
    return fail("the chunk before byte " + number(offset) + " has an odd size but no pad byte after it, so " +
                printableId(header) + " starts a byte early (the file's writer left the pad out)");
  const uint8_t* fields = header + back;
  std::memcpy(chunk.id, fields, 4);
  if (!container_.wave64) {
    chunk.known = true;
    chunk.size = le32(fields + 4);
    chunk.sizeIsAllOnes = chunk.size == kAllOnes32;
    return true;
  }
  chunk.known = std::memcmp(fields + 4, kW64Tail, 12) == 0;
  uint64_t size = le64(fields + 16);
  chunk.sizeIsAllOnes = size == UINT64_MAX;
  if (!chunk.sizeIsAllOnes && size < container_.chunkHeaderBytes)
    return fail(printableId(chunk.id) + " chunk size " + number(size) + " is smaller than its header");
  chunk.size = chunk.sizeIsAllOnes ? size : size - container_.chunkHeaderBytes;  // Wave64 counts its header
  return true;
}

// The size of a data chunk once placeholders are resolved.
uint64_t LayoutWalk::dataSize(const Chunk& chunk, uint64_t body, bool& toEnd) {
  toEnd = false;
  if (container_.rf64 && chunk.sizeIsAllOnes && ds64DataBytes_ != 0 && !formStreamed_) return ds64DataBytes_;
  uint64_t toFormEnd = formEnd_ - body;
  toEnd = chunk.sizeIsAllOnes || (formStreamed_ && (chunk.size == 0 || chunk.size > toFormEnd));
  if (!toEnd && chunk.size == 0 && toFormEnd > 0 && !chunkFollows(body)) toEnd = layout_.dataSizeUnset = true;
  return toEnd ? toFormEnd : chunk.size;
}

// A chunk header at `offset`: an id (a GUID of the common tail in Wave64)
// and a size that fits the form. Audio almost never passes for one, and a
// stream keeps the bytes looked at.
bool LayoutWalk::chunkFollows(uint64_t offset) {
  const uint32_t headerBytes = container_.chunkHeaderBytes;
  uint8_t header[24];
  if (formEnd_ - offset < headerBytes || !input_.peekAt(offset, header, headerBytes)) return false;
  const uint64_t room = formEnd_ - offset - headerBytes;
  if (!container_.wave64) return isFourCc(header) && le32(header + 4) <= room;
  const uint64_t size = le64(header + 16);  // Wave64 counts the header
  return std::memcmp(header + 4, kW64Tail, 12) == 0 && size >= headerBytes && size - headerBytes <= room;
}

bool LayoutWalk::takeChunk(const Chunk& chunk, uint64_t body, uint64_t& size) {
  bool isFormat = isChunk(chunk, "fmt ");
  bool isData = isChunk(chunk, "data");
  if (isData) {
    size = dataSize(chunk, body, layout_.streamed);
    // A stream's end is unknown: in a form of unknown size the data ends
    // where its size says or where the stream does, whichever comes first.
    if (input_.isStream() && formStreamed_) layout_.streamed = true;
  }
  if (size > input_.size() - body)
    return fail(printableId(chunk.id) + " chunk of " + number(size) + " bytes runs past the end of the file");
  if (size > formEnd_ - body)
    return fail(printableId(chunk.id) + " chunk of " + number(size) + " bytes runs past the end of the " +
                container_.name + " form (" + container_.name + " size " + number(formSize_) + " is wrong)");
  if (isFormat) {
    if (haveFormat_) return repeatedChunk("fmt", body - container_.chunkHeaderBytes);
    if (size > UINT32_MAX) return fail("fmt chunk of " + number(size) + " bytes");
    haveFormat_ = true;
    layout_.formatOffset = body;
    layout_.formatBytes = uint32_t(size);
    size_t wanted = size < sizeof layout_.formatBody ? size_t(size) : sizeof layout_.formatBody;
    if (!input_.readAt(body, layout_.formatBody, wanted)) return fail("cannot read the fmt chunk: " + input_.error());
  } else if (isData) {
    if (haveData_) return repeatedChunk("data", body - container_.chunkHeaderBytes);
    haveData_ = true;
    layout_.dataOffset = body;
    layout_.dataBytes = size;
  }
  return true;
}

// Walks the chunks inside the form until both fmt and data are known, then
// on through the rest (walkTail). A stream cannot come back: its walk ends
// at the data, which must follow the fmt chunk there.
bool LayoutWalk::walkChunks() {
  uint64_t offset = container_.headerBytes;
  uint64_t padding = 0;
  bool rf64 = container_.rf64;
  if (rf64) formEnd_ = input_.size();  // until the ds64 chunk says otherwise
  while (offset + container_.chunkHeaderBytes <= formEnd_ && !(haveFormat_ && haveData_)) {
    Chunk chunk;
    if (!readChunk(offset, chunk, padding != 0)) return false;
    uint64_t body = offset + container_.chunkHeaderBytes;
    uint64_t size = chunk.size;
    if (rf64 && !haveDs64_) {
      if (std::memcmp(chunk.id, "ds64", 4) != 0) return fail("RF64 file without a leading ds64 chunk");
      if (!readDs64(body, size)) return false;
    } else if (!takeChunk(chunk, body, size)) {
      return false;
    }
    if (input_.isStream() && haveData_) {
      if (!haveFormat_)
        return fail("the fmt chunk follows the data chunk, which a stream cannot go back for (give the file by name)");
      return true;
    }
    padding = container_.paddingAfter(size);
    if (size > formEnd_ - body) return true;  // a ds64 or data chunk that fills the form: nothing follows
    offset = body + size + padding;
  }
  return walkTail(offset);
}

// The chunks after fmt and data may only repeat neither: a second data chunk
// would be audio left out. Damage past this point (a chunk that runs past
// the form, a header cut short) spares the audio already found and ends the
// walk.
bool LayoutWalk::walkTail(uint64_t offset) {
  while (offset + container_.chunkHeaderBytes <= formEnd_) {
    Chunk chunk;
    const std::string noError = error_;
    if (!readChunk(offset, chunk, false)) {
      error_ = noError;
      return true;
    }
    if (isChunk(chunk, "data")) return repeatedChunk("data", offset);
    if (isChunk(chunk, "fmt ")) return repeatedChunk("fmt", offset);
    uint64_t body = offset + container_.chunkHeaderBytes;
    if (chunk.sizeIsAllOnes || chunk.size > formEnd_ - body) return true;
    offset = body + chunk.size + container_.paddingAfter(chunk.size);
  }
  return true;
}

}  // namespace

bool findWavLayout(RandomAccessInput& input, WavLayout& layout, std::string& error) {
  layout = WavLayout();
  LayoutWalk walk(input, layout, error);
  return walk.run();
}
