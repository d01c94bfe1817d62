#pragma once
#include <windows.h>
// mmsystem.h by name: WIN32_LEAN_AND_MEAN leaves it out of windows.h.
#include <mmsystem.h>
#include <mmreg.h>
#include <msacm.h>
#include <cstdint>

class ByteFifo;

// The msacm32 calls the converter makes. Production code uses
// systemAcmFunctions(); tests pass a table that forwards to it and records
// what was asked (flags, sizes, drivers).
struct AcmFunctions {
  decltype(&acmStreamOpen) open;
  decltype(&acmStreamSize) size;
  decltype(&acmStreamPrepareHeader) prepareHeader;
  decltype(&acmStreamConvert) convert;
  decltype(&acmStreamUnprepareHeader) unprepareHeader;
  decltype(&acmStreamClose) close;
  decltype(&acmDriverID) driverId;
  decltype(&acmDriverOpen) driverOpen;
  decltype(&acmDriverClose) driverClose;
};
const AcmFunctions& systemAcmFunctions();

// Converts PCM between sample widths and channel counts at one sample rate
// through an Audio Compression Manager stream (8 -> 16 bits, 24 -> 16 bits,
// mono <-> stereo). When source and destination agree in tag, channels, width
// and rate it only copies. Source bytes ACM did not consume (a partial frame)
// are carried to the front of the next call. Opening and closing the stream
// hold the process's ACM stream lock (acm_stream_lock.h).
//
// Left to choose a driver, ACM opens and closes every driver it has until
// one takes the stream, and does so again at each close: tens of
// milliseconds, and codec libraries loaded and freed, per stream. So only
// the process's first PCM-to-PCM stream leaves the choice to ACM; the driver
// it chose is remembered, and each later converter opens an instance of that
// driver for its stream (a few microseconds), closed with the stream. A pair
// that driver refuses, or one that is not PCM, is left to ACM as before.
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
  bool openStream(WAVEFORMATEX* source, WAVEFORMATEX* destination);
  bool openOnPcmDriver(WAVEFORMATEX* source, WAVEFORMATEX* destination);
  void closeStream();
  bool copyThrough(const uint8_t* data, uint32_t byteCount, uint8_t*& output, uint32_t& outputBytes);
  uint32_t destinationCapacity(uint32_t sourceBytes) const;
  bool carryOnly(const uint8_t* data, uint32_t byteCount);
  bool keepUnconsumed(const uint8_t* tail, uint32_t tailBytes, uint8_t* leftover,
                      uint32_t leftoverBytes);

  const AcmFunctions& acm;
  HACMSTREAM stream = nullptr;
  HACMDRIVER driver = nullptr;  // the instance `stream` runs on, when this converter opened one
  bool firstConversion = true;
  ByteFifo* carry = nullptr;
  uint32_t sourceFrameBytes = 0;
  uint32_t destinationFrameBytes = 0;
};
