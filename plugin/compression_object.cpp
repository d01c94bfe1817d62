#include "plugin/compression_object.h"

#include <cstring>
#include <new>

#include "plugin/channel_downmix.h"
#include "plugin/halve_samples.h"
#include "plugin/output_file_name.h"
#include "plugin/pcm_wave_format.h"
#include "resample/sample_rate_converter.h"
#include "windows/speaker_layout.h"
#include "windows/wave_format_layout.h"

namespace {

const uint32_t kEngineBitsPerSample = 16;

// True when the host's record describes interleaved integer PCM whose
// frames are exactly channels x width / 8 bytes: plain PCM, or the
// extensible record with the PCM sub-format. Anything else (a compressed or
// floating-point format, a block alignment that disagrees) would be read as
// such PCM and come out as noise. The extensible fields lie past the plain
// record and are read only when cbSize says they are there.
bool isIntegerPcm(const WAVEFORMATEX& format) {
  const uint32_t frameBytes = uint32_t(format.nChannels) * format.wBitsPerSample / 8;
  if (format.nBlockAlign != frameBytes) return false;
  if (format.wFormatTag == WAVE_FORMAT_PCM) return true;
  if (format.wFormatTag != kWaveTagExtensible || format.cbSize < kWaveExtensionBytes) return false;
  const uint8_t* record = reinterpret_cast<const uint8_t*>(&format);
  return std::memcmp(record + kWaveSubformatOffset, kWavePcmSubformat, sizeof kWavePcmSubformat) == 0;
}

// The speaker positions of the host's channels: the mask of an extensible
// record, the usual layout for the count for a plain one or for a mask of 0
// (which several writers store meaning "not given").
uint32_t channelMaskOf(const WAVEFORMATEX& format) {
  if (format.wFormatTag != kWaveTagExtensible || format.cbSize < kWaveExtensionBytes)
    return defaultChannelMask(format.nChannels);
  uint32_t mask = 0;
  std::memcpy(&mask, reinterpret_cast<const uint8_t*>(&format) + kWaveChannelMaskOffset, sizeof mask);
  return mask != 0 ? mask : defaultChannelMask(format.nChannels);
}

// More than two channels are folded to the coded count before anything
// else; the rest of the pipeline sees the folded channels.
uint32_t pipelineChannels(const WAVEFORMATEX& format, int codedChannels) {
  return format.nChannels > 2 ? uint32_t(codedChannels) : format.nChannels;
}

}  // namespace

CompressionObject::CompressionObject(const AcmFunctions& acmFunctions) : acm(acmFunctions) {
  pending.reset();
}

// Teardown: the converters, then every engine interface; bytes still pending
// are discarded. The file is completed only by a final block that delivered
// every byte (see finishFile); an engine released without being told to end
// is relied on to leave no output behind (engine/build_engine.h). So a
// conversion whose final block never came, or whose last chunks the engine
// refused and the host did not offer again, leaves no file that looks whole
// but is short.
CompressionObject::~CompressionObject() {
  delete formatConverter;
  formatConverter = nullptr;
  delete resampler;
  resampler = nullptr;
  delete downmix;
  downmix = nullptr;
  disposeBuildSession(session);
  pending.release();
}

int32_t CompressionObject::failCreation(int step) {
  creationFailedStep = step;
  return kFailed;
}

int32_t CompressionObject::create(const char* name, const WAVEFORMATEX& inputFormat,
                                  const EncoderSettings& settings) {
  snapshot = settings;
  // A longer name would have to be cut, and the file would land elsewhere.
  if (name == nullptr || std::strlen(name) >= sizeof fileName || !namesAFile(name)) {
    return failCreation(kFileNameStep);
  }
  std::strcpy(fileName, name);
  codedChannelCount = codedChannelsFor(snapshot.audioFormat);
  engineFormat = pcmWaveFormat(uint32_t(codedChannelCount), uint32_t(snapshot.sampleRate), kEngineBitsPerSample);
  resampledFormat = pcmWaveFormat(pipelineChannels(inputFormat, codedChannelCount), uint32_t(snapshot.sampleRate),
                                  inputFormat.wBitsPerSample);

  // The session code builds texts with the standard library, which reports
  // exhausted memory by throwing; here that is one more failed step.
  BuildStartResult started;
  try {
    started = startBuildSession(session, fileName, codedChannelCount, snapshot);
  } catch (const std::bad_alloc&) {
    started.failedStep = session.platform == nullptr ? kPlatformStep : kEngineStep;
    started.result = kResultFail;
  }
  if (!started.ok()) return failCreation(started.failedStep);
  // The chunk loop needs a positive size; an engine that asks for none
  // cannot be fed.
  if (session.chunkBytes == 0) return failCreation(kChunkSizeStep);
  chunkSizeBytes = wholeFrameChunkBytes();
  int32_t result = createResampler(inputFormat);
  if (result != kOk) return result;
  result = createFormatConverter(inputFormat);
  ready = result == kOk;
  return result;
}

// The engine takes whole frames only: its preferred size is cut down to a
// whole number of frames, and is one frame when it asks for less.
uint32_t CompressionObject::wholeFrameChunkBytes() const {
  const uint32_t frameBytes = engineFormat.nBlockAlign;
  uint32_t wholeFrames = session.chunkBytes - session.chunkBytes % frameBytes;
  return wholeFrames != 0 ? wholeFrames : frameBytes;
}

// The downmix (for more than two channels) and the converter; both take
// their formats from the host's record.
int32_t CompressionObject::createResampler(const WAVEFORMATEX& inputFormat) {
  resampler = new (std::nothrow) SampleRateConverter();
  if (resampler == nullptr) return failCreation(kResamplerStep);
  if (!isIntegerPcm(inputFormat)) return failCreation(kResamplerStep);
  if (inputFormat.nChannels > 2) {
    downmix = new (std::nothrow) ChannelDownmix();
    if (downmix == nullptr || !downmix->configure(inputFormat.nChannels, channelMaskOf(inputFormat),
                                                  uint32_t(codedChannelCount), inputFormat.wBitsPerSample)) {
      return failCreation(kResamplerStep);
    }
  }
  PcmFormat input;
  input.channels = int(pipelineChannels(inputFormat, codedChannelCount));
  input.sampleRate = int(inputFormat.nSamplesPerSec);
  input.bitsPerSample = inputFormat.wBitsPerSample;
  if (!resampler->configure(input, snapshot.sampleRate)) return failCreation(kResamplerStep);
  return kOk;
}

int32_t CompressionObject::createFormatConverter(const WAVEFORMATEX& inputFormat) {
  inputBitsPerSample = inputFormat.wBitsPerSample;
  inputChannels = inputFormat.nChannels;
  bool failed = true;
  formatConverter = new (std::nothrow) AcmFormatConverter(resampledFormat, engineFormat, &failed, acm);
  if (formatConverter == nullptr || failed) return failCreation(kFormatConverterStep);
  return kOk;
}

int32_t CompressionObject::processBlock(const uint8_t* data, uint32_t byteCount, bool endOfStream) {
  if (!ready || abandoned) return kFailed;  // creation failed, or the file was given up
  // The file is complete: nothing more can go into it.
  if (finished) return byteCount == 0 ? kOk : kFailed;
  uint8_t* converted = nullptr;
  uint32_t convertedBytes = 0;
  // Memory that ran out on the way to the engine's format costs this block's
  // audio (the host does not send a block twice): the file would have a gap.
  if (!toEngineFormat(data, byteCount, endOfStream, converted, convertedBytes)) {
    delete[] converted;
    abandonFile();
    return kFailed;
  }
  int32_t result = kOk;
  // With the end flag the bytes pending from earlier blocks go out as the
  // last, short chunk even when the converters had nothing more to add.
  if (convertedBytes != 0 || (endOfStream && pending.size() != 0)) {
    result = submitChunks(converted, convertedBytes, endOfStream);
    if (result != kOk && backlogExceeded(convertedBytes)) abandonFile();
  }
  delete[] converted;
  if (endOfStream && result == kOk && pending.size() == 0) result = finishFile();
  return result;
}

// The block through the downmix, the converter, the halving and ACM: the
// engine-format bytes it yields (`converted`, the caller's to free; null and
// 0 when none yet). False when memory ran out anywhere on the way.
bool CompressionObject::toEngineFormat(const uint8_t* data, uint32_t byteCount, bool endOfStream,
                                       uint8_t*& converted, uint32_t& convertedBytes) {
  converted = nullptr;
  convertedBytes = 0;
  uint8_t* folded = nullptr;
  bool ok = foldChannels(data, byteCount, folded);
  uint8_t* resampled = nullptr;
  uint32_t resampledBytes = 0;
  ok = ok && resample(data, byteCount, endOfStream, resampled, resampledBytes);
  delete[] folded;
  if (!ok || resampled == nullptr) return ok;
  // Stereo coded as mono: ACM sums the two channels; halved first, the sum
  // stays in range (Wine's 24-bit mix would wrap around otherwise).
  if (codedChannelCount == 1 && inputChannels == 2) {
    halveSamples(resampled, resampledBytes, int(inputBitsPerSample));
  }
  ok = formatConverter->convert(resampled, resampledBytes, endOfStream, converted, convertedBytes);
  delete[] resampled;
  return ok;
}

// Has the engine complete the file once every byte is in: a file the engine
// cannot complete is reported with the final block, while the host still
// listens (teardown has no way to report it). A final block whose chunks
// were refused leaves the file open, so a repeated final call can still
// deliver them and complete it; without one the file is never completed.
int32_t CompressionObject::finishFile() {
  finished = true;
  return finishBuildSession(session) < 0 ? kFailed : kOk;
}

// Past a refusal, `pending` holds the refused chunk and everything after it.
// The bytes of this block's own output may wait as long as they need (a host
// may hand over a whole file in one block); what came from earlier blocks
// and still waits shows an engine that keeps refusing. Five seconds is well
// past any transient refusal, as every host block offers the backlog again,
// and keeps that backlog under 1 MB even at 48 kHz stereo; the limit is never
// less than one chunk, so a single refused chunk never counts as persistent.
bool CompressionObject::backlogExceeded(uint32_t newBytes) const {
  const uint32_t secondsBytes = kBacklogSeconds * engineFormat.nAvgBytesPerSec;
  const uint32_t limit = secondsBytes > chunkSizeBytes ? secondsBytes : chunkSizeBytes;
  return pending.size() > newBytes && pending.size() - newBytes > limit;
}

// Gives the file up: nothing more is kept or offered, every later block is
// refused, and the file is never completed, as the host has been told the
// conversion failed.
void CompressionObject::abandonFile() {
  abandoned = true;
  pending.release();
}

// Folds the block when the input has more than two channels: `data` and
// byteCount then describe the folded frames, held in `folded` (the caller's
// to free). False when memory ran out; the block's audio is then lost.
bool CompressionObject::foldChannels(const uint8_t*& data, uint32_t& byteCount, uint8_t*& folded) {
  folded = nullptr;
  if (downmix == nullptr) return true;
  uint32_t foldedBytes = 0;
  bool ok = downmix->fold(data, byteCount, folded, foldedBytes);
  data = folded;
  byteCount = foldedBytes;
  return ok;
}

bool CompressionObject::resample(const uint8_t* data, uint32_t byteCount, bool endOfStream,
                                 uint8_t*& output, uint32_t& outputBytes) {
  outputBytes = byteCount;
  output = nullptr;
  bool ok = resampler->convertBlock(data, outputBytes, endOfStream, output);
  if (!ok || output == nullptr || outputBytes == 0) {
    delete[] output;
    output = nullptr;
    outputBytes = 0;
  }
  return ok;
}

// The end time of the first `bytes` engine-format bytes of the file, in ms,
// at the rate fixed at creation. Computed from the running byte total and
// truncated once, so time stamps never drift from the audio they describe.
uint32_t CompressionObject::timeStampAfter(uint64_t bytes) const {
  return uint32_t(bytes * 1000 / engineFormat.nAvgBytesPerSec);
}

// Joins the pending bytes and the converter's output, submits every whole
// chunk (and, with the end flag, the short rest) and keeps what was not
// accepted in `pending`, in order.
int32_t CompressionObject::submitChunks(const uint8_t* converted, uint32_t convertedBytes, bool endOfStream) {
  static const uint8_t kNothing = 0;
  uint32_t total = convertedBytes;
  uint8_t* joined = pending.drainAndAppend(converted != nullptr ? converted : &kNothing, total);
  if (joined == nullptr) {  // the converted bytes have nowhere to wait
    abandonFile();
    return kFailed;
  }

  int32_t result = kOk;
  uint32_t chunkBytes = chunkSizeBytes;
  uint32_t offset = 0;
  while (offset < total) {
    uint32_t remaining = total - offset;
    if (remaining < chunkBytes && !endOfStream) break;  // the tail waits for the next block
    uint32_t n = remaining < chunkBytes ? remaining : chunkBytes;
    uint32_t timeStampMs = timeStampAfter(acceptedBytes + n);
    if (submitChunk(session, joined + offset, n, timeStampMs) < 0) {
      result = kFailed;  // refused: this chunk and the rest wait, nothing advances
      break;
    }
    acceptedBytes += n;
    elapsedMsValue = timeStampMs;
    offset += n;
  }
  keepUnsubmitted(joined, offset, total - offset);
  return result;
}

// Stores the unsubmitted tail in `pending` and frees `joined`. Should a copy
// of the tail not be possible, the joined buffer itself is kept, the tail
// moved to its front: the storage is then longer than the bytes it holds,
// which wastes memory until the next block but loses nothing.
void CompressionObject::keepUnsubmitted(uint8_t* joined, uint32_t offset, uint32_t remaining) {
  if (remaining == 0) {
    delete[] joined;
    return;
  }
  if (pending.keepRemainder(joined + offset, remaining)) {
    delete[] joined;
    return;
  }
  std::memmove(joined, joined + offset, remaining);
  pending.adopt(joined, remaining);
}
