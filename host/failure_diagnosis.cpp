#include "failure_diagnosis.h"

#include <windows.h>

#include "sample_rate_converter.h"
#include "wide_text.h"

namespace {

const uint32_t kDefaultRate = 44100;
const uint32_t kPanelRates[] = {8000, 11025, 16000, 22050, 32000, 44100, 48000};
// Less than this free space counts as a full disk: the engine writes in
// pieces far larger than a few kilobytes.
const uint64_t kFullDiskBytes = 64 * 1024;

// Null when the converter takes the pair; otherwise its reason.
const char* converterRefusal(const WavFormat& input, uint32_t outputRate, std::string& reason) {
  PcmFormat format;
  format.channels = int(input.channels);
  format.sampleRate = int(input.sampleRate);
  format.bitsPerSample = int(input.bitsPerSample);
  SampleRateConverter converter;
  if (converter.configure(format, int(outputRate))) return nullptr;
  reason = converter.refusalReason() != nullptr ? converter.refusalReason() : "";
  return reason == SampleRateConverter::kOutOfMemoryReason ? nullptr : reason.c_str();
}

std::string supportedRates(const WavFormat& input) {
  std::string list, unused;
  for (uint32_t rate : kPanelRates) {
    if (converterRefusal(input, rate, unused) == nullptr) list += (list.empty() ? "" : ", ") + std::to_string(rate);
  }
  return list.empty() ? "none of the panel's rates" : list;
}

bool diskFull(const std::wstring& folder) {
  ULARGE_INTEGER free = {};
  return GetDiskFreeSpaceExW(folder.c_str(), &free, nullptr, nullptr) && free.QuadPart < kFullDiskBytes;
}

}  // namespace

uint32_t effectiveOutputRate(uint32_t storedRate) { return storedRate == 0 ? kDefaultRate : storedRate; }

std::string explainPluginFailure(const WavFormat& input, uint32_t outputRate, const std::wstring& outputFolder) {
  if (diskFull(outputFolder)) return "the disk holding " + narrowedToUtf8(outputFolder) + " is full";
  std::string reason;
  if (converterRefusal(input, outputRate, reason) != nullptr) {
    return "the converter cannot take " + std::to_string(input.sampleRate) + " Hz to " +
           std::to_string(outputRate) + " Hz (" + reason + "); from " + std::to_string(input.sampleRate) +
           " Hz it takes the output rates " + supportedRates(input);
  }
  return std::string();
}
