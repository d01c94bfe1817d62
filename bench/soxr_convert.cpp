// Reference resampler for scripts/bench-speed.py: libsoxr at its very high
// quality recipe, one thread, converting raw 16-bit interleaved PCM from
// stdin to stdout in host blocks of 65536 bytes, like srconv does.
//
// usage: soxr_convert IN_RATE OUT_RATE CHANNELS [PASSBAND_END]
//   PASSBAND_END 0 or absent: the recipe's default pass band.

#include <soxr.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: soxr_convert IN_RATE OUT_RATE CHANNELS [PASSBAND_END]\n");
    return 1;
  }
  const double inRate = std::atof(argv[1]);
  const double outRate = std::atof(argv[2]);
  const unsigned channels = unsigned(std::atoi(argv[3]));
  const double passbandEnd = argc > 4 ? std::atof(argv[4]) : 0.0;

  soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, SOXR_INT16_I);
  soxr_quality_spec_t quality = soxr_quality_spec(SOXR_VHQ, 0);
  if (passbandEnd > 0.0) quality.passband_end = passbandEnd;
  soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
  soxr_error_t error = nullptr;
  soxr_t soxr = soxr_create(inRate, outRate, channels, &error, &io, &quality, &runtime);
  if (error != nullptr) {
    std::fprintf(stderr, "soxr_create: %s\n", error);
    return 1;
  }
  const size_t blockFrames = 65536 / (2 * channels);
  const size_t outCapacity = size_t(double(blockFrames) * outRate / inRate) + 1024;
  std::vector<int16_t> in(blockFrames * channels), out(outCapacity * channels);
  for (;;) {
    const size_t frames = std::fread(in.data(), 2 * channels, blockFrames, stdin);
    size_t done = 0;
    do {
      size_t used = 0, produced = 0;
      // A null input (frames == 0) tells soxr that the stream ended.
      soxr_process(soxr, frames ? in.data() + done * channels : nullptr, frames - done, &used, out.data(),
                   outCapacity, &produced);
      done += used;
      std::fwrite(out.data(), 2 * channels, produced, stdout);
      if (frames == 0 && produced == 0) break;
    } while (done < frames || frames == 0);
    if (frames == 0) break;
  }
  soxr_delete(soxr);
  return 0;
}
