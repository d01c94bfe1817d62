#pragma once
#include <windows.h>
// mmsystem.h by name: WIN32_LEAN_AND_MEAN leaves it out of windows.h.
#include <mmsystem.h>
#include <mmreg.h>
#include <msacm.h>
#include <cstdint>

class ByteFifo;

// The msacm32 stream calls the converter makes. Production code uses
// systemAcmFunctions(); tests pass a table that forwards to it and records
// what was asked (flags, sizes).
struct AcmFunctions {
  decltype(&acmStreamOpen) open;
  decltype(&acmStreamSize) size;
  decltype(&acmStreamPrepareHeader) prepareHeader;
  decltype(&acmStreamConvert) convert;
  decltype(&acmStreamUnprepareHeader) unprepareHeader;
  decltype(&acmStreamClose) close;
};
const AcmFunctions& systemAcmFunctions();

// Converts PCM between sample widths and channel counts at one sample rate
// through an Audio Compression Manager stream (8 -> 16 bits, 24 -> 16 bits,
// mono <-> stereo). When source and destination agree in tag, channels, width
// and rate it only copies. Source bytes ACM did not consume (a partial frame)
// are carried to the front of the next call. Opening and closing the stream
// hold the process's ACM stream lock (acm_stream_lock.h).
class AcmFormatConverter {
public:
  // `failed` is set to false, then to true when no stream between the two
  // formats can be opened or the carry cannot be allocated. The formats are
  // read here only.
  AcmFormatConverter(const WAVEFORMATEX& source, const WAVEFORMATEX& destination, bool* failed,
                     const AcmFunctions& acm = systemAcmFunctions());
  ~AcmFormatConverter();
  AcmFormatConverter(const AcmFormatConverter&) = delete;
  AcmFormatConverter& operator=(const AcmFormatConverter&) = delete;

  // Converts `byteCount` source bytes, preceded by whatever was carried.
  // `output` receives a new[] buffer the caller delete[]s, or null when the
  // call produced nothing; `outputBytes` its length. Returns false only when
  // memory ran out. Normally nothing has changed then (the carried bytes are
  // as before and the new bytes were not taken, no output); only when ACM
  // left more than a partial frame unconsumed and that tail could not be
  // stored is `output` still set (the tail is lost).
  bool convert(const uint8_t* data, uint32_t byteCount, bool endOfStream, uint8_t*& output,
               uint32_t& outputBytes);

  bool isPassThrough() const { return stream == nullptr; }
  uint32_t carriedBytes() const;

private:
  bool copyThrough(const uint8_t* data, uint32_t byteCount, uint8_t*& output, uint32_t& outputBytes);
  uint32_t destinationCapacity(uint32_t sourceBytes) const;
  bool carryOnly(const uint8_t* data, uint32_t byteCount);
  bool keepUnconsumed(const uint8_t* tail, uint32_t tailBytes, uint8_t* leftover,
                      uint32_t leftoverBytes);

  const AcmFunctions& acm;
  HACMSTREAM stream = nullptr;
  bool firstConversion = true;
  ByteFifo* carry = nullptr;
  uint32_t sourceFrameBytes = 0;
  uint32_t destinationFrameBytes = 0;
};
