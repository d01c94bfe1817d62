// Speed of the SampleRateConverter against two reference resamplers on the
// same input: 60 s of 16-bit stereo white noise, fed in host blocks of
// 65536 bytes (16384 frames), for four rate pairs. Reports each one's speed
// as a multiple of real time (audio seconds per second of thread CPU time,
// best of N runs, set-up excluded), this
// converter's ratio to each, the time configure takes, and the set-up time
// and heap of N converters of one rate pair alive at once.
//
// usage: converter_bench [--repeats N] [--seconds S] [--ours-only] [--batch N] [--setup-only]
//
// Built without WITH_REFERENCE_RESAMPLERS (the 32-bit Windows build, run
// under Wine), it times this converter alone.

#if defined(WITH_REFERENCE_RESAMPLERS)
#include <samplerate.h>
#include <soxr.h>
#endif

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "resample/sample_rate_converter.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

constexpr int kChannels = 2;
constexpr int kFrameBytes = kChannels * 2;
constexpr size_t kBlockFrames = 16384;

// Every resampler here runs on the calling thread only, so its thread's CPU
// time is its cost, and unlike wall-clock time it is not inflated when other
// processes compete for the cores.
struct Clock {
  using time_point = double;  // seconds of this thread's CPU time
  static time_point now() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
  }
};

double secondsSince(Clock::time_point start) { return Clock::now() - start; }

// Uniform white noise at half of full scale, so no resampler clips.
std::vector<int16_t> makeNoise(int rate, double seconds) {
  std::mt19937 random(12345);
  std::uniform_int_distribution<int> sample(-16384, 16383);
  std::vector<int16_t> pcm(size_t(rate * seconds) * kChannels);
  for (auto& s : pcm) s = int16_t(sample(random));
  return pcm;
}

struct Timing {
  double setupSeconds = 0;    // object creation and filter design
  double convertSeconds = 0;  // all blocks to the end of the stream
  uint64_t framesOut = 0;
};

// The benchmark's input: 16-bit samples, kChannels channels.
PcmFormat benchFormat(int rate) {
  PcmFormat format;
  format.channels = kChannels;
  format.sampleRate = rate;
  format.bitsPerSample = 16;
  return format;
}

Timing runOurs(const std::vector<int16_t>& pcm, int inRate, int outRate) {
  Timing timing;
  SampleRateConverter converter;
  Clock::time_point start = Clock::now();
  if (!converter.configure(benchFormat(inRate), outRate)) {
    std::fprintf(stderr, "configure refused %d -> %d\n", inRate, outRate);
    std::exit(1);
  }
  timing.setupSeconds = secondsSince(start);
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(pcm.data());
  size_t totalBytes = pcm.size() * sizeof(int16_t);
  start = Clock::now();
  for (size_t offset = 0; offset < totalBytes;) {
    size_t count = std::min(totalBytes - offset, kBlockFrames * kFrameBytes);
    uint32_t byteCount = uint32_t(count);
    uint8_t* output = nullptr;
    if (!converter.convertBlock(bytes + offset, byteCount, offset + count == totalBytes, output)) std::exit(3);
    delete[] output;
    offset += count;
  }
  timing.convertSeconds = secondsSince(start);
  timing.framesOut = converter.framesOut();
  return timing;
}

#if defined(WITH_REFERENCE_RESAMPLERS)
Timing runSoxr(const std::vector<int16_t>& pcm, int inRate, int outRate, double passbandEnd) {
  Timing timing;
  soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, SOXR_INT16_I);
  soxr_quality_spec_t quality = soxr_quality_spec(SOXR_VHQ, 0);
  if (passbandEnd > 0) quality.passband_end = passbandEnd;
  soxr_runtime_spec_t runtime = soxr_runtime_spec(1);  // one thread, like ours
  soxr_error_t error = nullptr;
  Clock::time_point start = Clock::now();
  soxr_t soxr = soxr_create(inRate, outRate, kChannels, &error, &io, &quality, &runtime);
  timing.setupSeconds = secondsSince(start);
  if (error != nullptr) {
    std::fprintf(stderr, "soxr: %s\n", error);
    std::exit(1);
  }
  size_t inFrames = pcm.size() / kChannels;
  std::vector<int16_t> out((kBlockFrames * size_t(outRate) / size_t(inRate) + 1024) * kChannels);
  size_t outCapacity = out.size() / kChannels;
  start = Clock::now();
  for (size_t frame = 0; frame < inFrames;) {
    size_t count = std::min(inFrames - frame, kBlockFrames);
    size_t used = 0, produced = 0;
    soxr_process(soxr, pcm.data() + frame * kChannels, count, &used, out.data(), outCapacity, &produced);
    timing.framesOut += produced;
    frame += used;
  }
  size_t produced = 0;
  do {  // flush: no more input
    soxr_process(soxr, nullptr, 0, nullptr, out.data(), outCapacity, &produced);
    timing.framesOut += produced;
  } while (produced > 0);
  timing.convertSeconds = secondsSince(start);
  soxr_delete(soxr);
  return timing;
}

Timing runLibsamplerate(const std::vector<int16_t>& pcm, int inRate, int outRate) {
  Timing timing;
  int error = 0;
  Clock::time_point start = Clock::now();
  SRC_STATE* state = src_new(SRC_SINC_BEST_QUALITY, kChannels, &error);
  timing.setupSeconds = secondsSince(start);
  if (state == nullptr) {
    std::fprintf(stderr, "libsamplerate: %s\n", src_strerror(error));
    std::exit(1);
  }
  double ratio = double(outRate) / inRate;
  size_t inFrames = pcm.size() / kChannels;
  size_t outCapacity = size_t(kBlockFrames * ratio) + 1024;
  std::vector<float> in(kBlockFrames * kChannels), out(outCapacity * kChannels);
  std::vector<int16_t> out16(outCapacity * kChannels);
  start = Clock::now();
  for (size_t frame = 0; frame < inFrames;) {
    size_t count = std::min(inFrames - frame, kBlockFrames);
    src_short_to_float_array(pcm.data() + frame * kChannels, in.data(), int(count * kChannels));
    SRC_DATA data;
    std::memset(&data, 0, sizeof data);
    data.data_in = in.data();
    data.input_frames = long(count);
    data.data_out = out.data();
    data.output_frames = long(outCapacity);
    data.end_of_input = frame + count == inFrames;
    data.src_ratio = ratio;
    do {  // until this block is consumed and, at the end, the tail drained
      if (src_process(state, &data) != 0) std::exit(1);
      src_float_to_short_array(out.data(), out16.data(), int(data.output_frames_gen * kChannels));
      timing.framesOut += uint64_t(data.output_frames_gen);
      data.data_in += data.input_frames_used * kChannels;
      data.input_frames -= data.input_frames_used;
    } while (data.input_frames > 0 || (data.end_of_input && data.output_frames_gen > 0));
    frame += count;
  }
  timing.convertSeconds = secondsSince(start);
  src_delete(state);
  return timing;
}
#endif

enum Resampler { kOurs, kSoxr, kSoxr997, kLibsamplerate, kResamplerCount };
const char* const kNames[kResamplerCount] = {"this", "soxr VHQ", "soxr VHQ pb 0.997", "lsr SINC_BEST"};

Timing runOnce(Resampler which, const std::vector<int16_t>& pcm, int inRate, int outRate) {
#if defined(WITH_REFERENCE_RESAMPLERS)
  switch (which) {
    case kSoxr: return runSoxr(pcm, inRate, outRate, 0);
    case kSoxr997: return runSoxr(pcm, inRate, outRate, 0.997);
    case kLibsamplerate: return runLibsamplerate(pcm, inRate, outRate);
    default: break;
  }
#endif
  (void)which;
  return runOurs(pcm, inRate, outRate);
}

// The fastest of `repeats` runs: the least disturbed by other load.
Timing bestOf(int repeats, Resampler which, const std::vector<int16_t>& pcm, int inRate, int outRate) {
  Timing best = runOnce(which, pcm, inRate, outRate);
  for (int i = 1; i < repeats; ++i) {
    Timing t = runOnce(which, pcm, inRate, outRate);
    if (t.convertSeconds < best.convertSeconds) best = t;
  }
  return best;
}

void benchmarkPair(int inRate, int outRate, double seconds, int repeats, int resamplers) {
  std::vector<int16_t> pcm = makeNoise(inRate, seconds);
  double speed[kResamplerCount];
  std::printf("%6d -> %-7d", inRate, outRate);
  for (int r = 0; r < resamplers; ++r) {
    Timing t = bestOf(repeats, Resampler(r), pcm, inRate, outRate);
    speed[r] = seconds / t.convertSeconds;
    uint64_t expected = uint64_t(seconds * outRate);
    if (t.framesOut + outRate / 10 < expected || t.framesOut > expected + outRate / 10)
      std::fprintf(stderr, "warning: %s produced %llu frames, about %llu expected\n", kNames[r],
                   static_cast<unsigned long long>(t.framesOut), static_cast<unsigned long long>(expected));
    std::printf(" | %16.1fx", speed[r]);
    std::fflush(stdout);
  }
  for (int r = 1; r < resamplers; ++r) std::printf(" | %6.2f", speed[kOurs] / speed[r]);
  std::printf("\n");
}

// Median of several configure calls (fresh converter each time).
double configureMilliseconds(int inRate, int outRate, int runs) {
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    SampleRateConverter converter;
    Clock::time_point start = Clock::now();
    bool ok = converter.configure(benchFormat(inRate), outRate);
    times.push_back(secondsSince(start) * 1000.0);
    if (!ok) std::exit(1);
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

// Bytes the heap has handed out (glibc only; 0 elsewhere).
double heapBytes() {
#if defined(__GLIBC__)
  return double(mallinfo2().uordblks) + double(mallinfo2().hblkhd);
#else
  return 0.0;
#endif
}

// A batch conversion's set-up: `count` converters of one rate pair, all
// alive at once, configured one after another. Prints the CPU time of all
// configure calls and the heap they hold together.
void measureBatchSetup(int inRate, int outRate, int count) {
  std::vector<std::unique_ptr<SampleRateConverter>> batch;
  const double heapBefore = heapBytes();
  Clock::time_point start = Clock::now();
  for (int i = 0; i < count; ++i) {
    batch.emplace_back(new SampleRateConverter);
    if (!batch.back()->configure(benchFormat(inRate), outRate)) std::exit(1);
  }
  const double seconds = secondsSince(start);
  const double heapMb = (heapBytes() - heapBefore) / (1024.0 * 1024.0);
  std::printf("  %6d -> %-6d %8.1f ms %8.1f MB\n", inRate, outRate, seconds * 1000.0, heapMb);
}

}  // namespace

int main(int argc, char** argv) {
  int repeats = 3;
  double seconds = 60.0;
  int resamplers = kResamplerCount;
  int batch = 8;
  bool setupOnly = false;
#if !defined(WITH_REFERENCE_RESAMPLERS)
  resamplers = 1;
#endif
  for (int i = 1; i < argc; ++i) {
    const bool hasValue = i + 1 < argc;
    if (std::strcmp(argv[i], "--ours-only") == 0) resamplers = 1;
    if (std::strcmp(argv[i], "--setup-only") == 0) setupOnly = true;
    if (std::strcmp(argv[i], "--repeats") == 0 && hasValue) repeats = std::max(1, std::atoi(argv[++i]));
    if (std::strcmp(argv[i], "--seconds") == 0 && hasValue) seconds = std::max(1.0, std::atof(argv[++i]));
    if (std::strcmp(argv[i], "--batch") == 0 && hasValue) batch = std::max(1, std::atoi(argv[++i]));
  }
  std::printf("%.0f s of 16-bit stereo noise, host blocks of %zu frames, best of %d runs, set-up excluded\n"
              "times are thread CPU time\n",
              seconds, kBlockFrames, repeats);
  std::printf("speed in multiples of real time; ratio = this converter's speed / the other's\n\n");
  std::printf("%-17s", "pair");
  for (int r = 0; r < resamplers; ++r) std::printf(" | %17s", kNames[r]);
  if (resamplers > 1) std::printf(" | %6s | %6s | %6s", "/soxr", "/.997", "/lsr");
  std::printf("\n");
  const int pairs[][2] = {{44100, 48000}, {48000, 44100}, {44100, 22050}, {22050, 44100}};
  if (!setupOnly) {
    for (const auto& pair : pairs) benchmarkPair(pair[0], pair[1], seconds, repeats, resamplers);
  }

  std::printf("\nconfigure (16-bit stereo, median of 5):\n");
  for (const auto& pair : {std::pair<int, int>{44100, 48000}, std::pair<int, int>{96000, 44100}})
    std::printf("  %6d -> %-6d %8.1f ms\n", pair.first, pair.second, configureMilliseconds(pair.first, pair.second, 5));

  std::printf("\nset-up of %d converters alive at once (16-bit stereo): configure time in all, heap held\n", batch);
  measureBatchSetup(44100, 48000, batch);
  measureBatchSetup(96000, 44100, batch);
  return 0;
}
