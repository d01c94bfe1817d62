#include "plugin/acm_format_converter.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>

#include "plugin/acm_stream_lock.h"
#include "fifo/byte_fifo.h"

const AcmFunctions& systemAcmFunctions() {
  static const AcmFunctions functions = {acmStreamOpen,    acmStreamSize,
                                         acmStreamPrepareHeader, acmStreamConvert,
                                         acmStreamUnprepareHeader, acmStreamClose,
                                         acmDriverID,      acmDriverOpen,
                                         acmDriverClose};
  return functions;
}

namespace {

// The driver ACM chose for the first PCM-to-PCM stream it was left to
// choose for; null until then. Guarded by the ACM stream lock.
HACMDRIVERID pcmDriver = nullptr;

// Only PCM pairs go to the remembered driver: opened on a driver named by
// the caller, ACM asks nothing about the format tags (Wine's PCM converter
// then takes any tag for PCM).
bool pcmToPcm(const WAVEFORMATEX& source, const WAVEFORMATEX& destination) {
  return source.wFormatTag == WAVE_FORMAT_PCM && destination.wFormatTag == WAVE_FORMAT_PCM;
}

bool sameSampleLayout(const WAVEFORMATEX& a, const WAVEFORMATEX& b) {
  return a.wFormatTag == b.wFormatTag && a.nChannels == b.nChannels &&
         a.wBitsPerSample == b.wBitsPerSample && a.nSamplesPerSec == b.nSamplesPerSec;
}

// Bytes of one frame (one sample of every channel), from width and channels
// rather than nBlockAlign, which the caller may have filled carelessly.
uint32_t frameBytes(const WAVEFORMATEX& format) {
  return uint32_t(format.wBitsPerSample) / 8 * format.nChannels;
}

}  // namespace

AcmFormatConverter::AcmFormatConverter(const WAVEFORMATEX& source, const WAVEFORMATEX& destination,
                                       bool* failed, const AcmFunctions& acmFunctions)
    : acm(acmFunctions) {
  *failed = false;
  if (sameSampleLayout(source, destination)) return;

  sourceFrameBytes = frameBytes(source);
  destinationFrameBytes = frameBytes(destination);
  carry = new (std::nothrow) ByteFifo();
  if (carry == nullptr || sourceFrameBytes == 0 || destinationFrameBytes == 0) {
    *failed = true;
    return;
  }
  carry->reset();
  // acmStreamOpen does not modify the formats; the header merely lacks const.
  AcmStreamLock oneOpenOrCloseAtATime;
  if (!openStream(const_cast<WAVEFORMATEX*>(&source), const_cast<WAVEFORMATEX*>(&destination))) *failed = true;
}

AcmFormatConverter::~AcmFormatConverter() {
  if (stream != nullptr) {
    AcmStreamLock oneOpenOrCloseAtATime;
    closeStream();
  }
  if (carry != nullptr) {
    carry->release();
    delete carry;
    carry = nullptr;
  }
}

// Under the ACM stream lock. A PCM pair goes on the remembered driver if
// that takes it; otherwise ACM chooses, and its choice for a PCM pair is
// remembered if none is yet.
bool AcmFormatConverter::openStream(WAVEFORMATEX* source, WAVEFORMATEX* destination) {
  const bool pcm = pcmToPcm(*source, *destination);
  if (pcm && pcmDriver != nullptr && openOnPcmDriver(source, destination)) return true;
  if (acm.open(&stream, nullptr, source, destination, nullptr, 0, 0, ACM_STREAMOPENF_NONREALTIME) !=
      MMSYSERR_NOERROR) {
    stream = nullptr;
    return false;
  }
  HACMDRIVERID chosen = nullptr;
  if (pcm && pcmDriver == nullptr && acm.driverId(reinterpret_cast<HACMOBJ>(stream), &chosen, 0) == MMSYSERR_NOERROR) {
    pcmDriver = chosen;
  }
  return true;
}

// Under the ACM stream lock: a stream on a new instance of the remembered driver.
bool AcmFormatConverter::openOnPcmDriver(WAVEFORMATEX* source, WAVEFORMATEX* destination) {
  if (acm.driverOpen(&driver, pcmDriver, 0) != MMSYSERR_NOERROR) {
    // Gone: ACM's drivers were reloaded (a codec installed). ACM chooses again.
    driver = nullptr;
    pcmDriver = nullptr;
    return false;
  }
  if (acm.open(&stream, driver, source, destination, nullptr, 0, 0, ACM_STREAMOPENF_NONREALTIME) ==
      MMSYSERR_NOERROR) {
    return true;
  }
  stream = nullptr;
  acm.driverClose(driver, 0);
  driver = nullptr;
  return false;
}

// Under the ACM stream lock.
void AcmFormatConverter::closeStream() {
  acm.close(stream, 0);
  stream = nullptr;
  if (driver != nullptr) acm.driverClose(driver, 0);
  driver = nullptr;
}

uint32_t AcmFormatConverter::carriedBytes() const { return carry ? carry->size() : 0; }

bool AcmFormatConverter::copyThrough(const uint8_t* data, uint32_t byteCount, uint8_t*& output,
                                     uint32_t& outputBytes) {
  if (byteCount == 0) return true;
  output = new (std::nothrow) uint8_t[byteCount];
  if (output == nullptr) return false;
  std::memcpy(output, data, byteCount);
  outputBytes = byteCount;
  return true;
}

// Destination bytes for converting `sourceBytes` joined bytes. ACM's own
// estimate is taken when it is larger, but never less than the exact size of
// the whole frames: Wine's estimate for 24-bit sources falls a frame short,
// and a short destination would leave whole frames in the carry,
// where they would pile up from call to call.
uint32_t AcmFormatConverter::destinationCapacity(uint32_t sourceBytes) const {
  uint32_t exact = sourceBytes / sourceFrameBytes * destinationFrameBytes;
  DWORD estimate = 0;
  if (acm.size(stream, sourceBytes, &estimate, ACM_STREAMSIZEF_SOURCE) != MMSYSERR_NOERROR) {
    estimate = 0;
  }
  return std::max<uint32_t>(exact, estimate);
}

bool AcmFormatConverter::convert(const uint8_t* data, uint32_t byteCount, bool endOfStream,
                                 uint8_t*& output, uint32_t& outputBytes) {
  output = nullptr;
  outputBytes = 0;
  if (stream == nullptr) return copyThrough(data, byteCount, output, outputBytes);
  if (byteCount > UINT32_MAX - carry->size()) return false;

  uint32_t joinedBytes = carry->size() + byteCount;
  if (joinedBytes < sourceFrameBytes) return carryOnly(data, byteCount);

  // Everything that can fail is allocated before any state changes: the
  // destination, the joined buffer and the storage for the expected leftover
  // (the partial frame at the end).
  uint32_t capacity = destinationCapacity(joinedBytes);
  uint32_t expectedLeftover = joinedBytes % sourceFrameBytes;
  uint8_t* destination = new (std::nothrow) uint8_t[capacity];
  uint8_t* leftover = expectedLeftover ? new (std::nothrow) uint8_t[expectedLeftover] : nullptr;
  if (destination == nullptr || (expectedLeftover != 0 && leftover == nullptr)) {
    delete[] destination;
    delete[] leftover;
    return false;
  }
  uint32_t joinedCount = byteCount;
  uint8_t* joined = carry->drainAndAppend(data, joinedCount);
  if (joined == nullptr) {
    delete[] destination;
    delete[] leftover;
    return false;
  }

  ACMSTREAMHEADER header;
  std::memset(&header, 0, sizeof header);
  header.cbStruct = sizeof header;
  header.pbSrc = joined;
  header.cbSrcLength = joinedCount;
  header.pbDst = destination;
  header.cbDstLength = capacity;
  acm.prepareHeader(stream, &header, 0);
  // Without the end flag only whole source blocks are converted; the last
  // call converts whatever is there. START resets the stream's state and so
  // goes with the first conversion only.
  DWORD flags = endOfStream ? 0 : ACM_STREAMCONVERTF_BLOCKALIGN;
  if (firstConversion) {
    flags |= ACM_STREAMCONVERTF_START;
    firstConversion = false;
  }
  acm.convert(stream, &header, flags);
  acm.unprepareHeader(stream, &header, 0);

  uint32_t consumed = std::min<uint32_t>(header.cbSrcLengthUsed, joinedCount);
  uint32_t produced = std::min<uint32_t>(header.cbDstLengthUsed, capacity);
  bool kept = keepUnconsumed(joined + consumed, joinedCount - consumed, leftover, expectedLeftover);
  delete[] joined;
  if (produced == 0) {
    delete[] destination;
  } else {
    output = destination;
    outputBytes = produced;
  }
  return kept;
}

// Fewer bytes than one source frame in all: nothing for ACM yet (an empty
// header would be refused); they wait for the next call.
bool AcmFormatConverter::carryOnly(const uint8_t* data, uint32_t byteCount) {
  if (byteCount == 0) return true;
  uint32_t joinedCount = byteCount;
  uint8_t* joined = carry->drainAndAppend(data, joinedCount);
  if (joined == nullptr) return false;
  carry->adopt(joined, joinedCount);
  return true;
}

// Stores the bytes ACM left unconsumed, normally the partial frame whose
// storage was allocated up front. Should ACM have consumed less than all
// whole frames, a fresh copy is needed, which can fail; the tail is then lost
// and the failure reported.
bool AcmFormatConverter::keepUnconsumed(const uint8_t* tail, uint32_t tailBytes, uint8_t* leftover,
                                        uint32_t leftoverBytes) {
  if (tailBytes == leftoverBytes) {
    if (tailBytes != 0) std::memcpy(leftover, tail, tailBytes);
    carry->adopt(leftover, tailBytes);
    return true;
  }
  delete[] leftover;
  return carry->keepRemainder(tail, tailBytes);
}
