#include "host/failure_diagnosis.h"

#include <windows.h>

#include "resample/sample_rate_converter.h"
#include "settings/settings_catalogue.h"
#include "host/wide_text.h"

namespace {

// Less free space than this after a failure counts as a full disk: a write
// that failed for want of space may have needed far more than is left.
const uint64_t kFullDiskBytes = 1 << 20;

// Null when the converter takes the pair; otherwise its reason.
const char* converterRefusal(const WavFormat& input, uint32_t outputRate) {
  PcmFormat format;
  format.channels = int(input.channels);
  format.sampleRate = int(input.sampleRate);
  format.bitsPerSample = int(input.bitsPerSample);
  return SampleRateConverter::refusalFor(format, int(outputRate));
}

std::string supportedRates(const WavFormat& input) {
  std::string list;
  const SettingDefinition& rates = rateSetting();
  for (size_t i = 0; i < rates.choiceCount; ++i) {
    const uint32_t rate = uint32_t(rates.choices[i].value);
    if (converterRefusal(input, rate) == nullptr) list += (list.empty() ? "" : ", ") + std::to_string(rate);
  }
  return list;
}

// The free bytes when the disk is all but full, otherwise UINT64_MAX.
uint64_t freeBytesWhenFull(const std::wstring& folder) {
  ULARGE_INTEGER free = {};
  if (!GetDiskFreeSpaceExW(folder.c_str(), &free, nullptr, nullptr) || free.QuadPart >= kFullDiskBytes) {
    return UINT64_MAX;
  }
  return free.QuadPart;
}

}  // namespace

std::string diskFullReason(const std::wstring& folder) {
  uint64_t freeBytes = freeBytesWhenFull(folder);
  if (freeBytes == UINT64_MAX) return std::string();
  return "disk full: the disk holding " + narrowedToUtf8(folder) + " has " + std::to_string(freeBytes / 1024) +
         " KiB free";
}

std::string rateRefusalReason(const WavFormat& input, uint32_t outputRate) {
  const char* reason = converterRefusal(input, outputRate);
  if (reason == nullptr) return std::string();
  const std::string from = std::to_string(input.sampleRate) + " Hz";
  const std::string rates = supportedRates(input);
  const std::string channels = std::to_string(input.channels) + (input.channels == 1 ? " channel" : " channels");
  return "the converter cannot take " + channels + " from " + from + " to " + std::to_string(outputRate) + " Hz (" +
         reason + "); " +
         (rates.empty() ? "it takes none of the panel's rates from " + from
                        : "from " + from + " it takes " + rates + " Hz (--set ZVKRMFreq=RATE)");
}

std::string pluginFailureReason(const WavFormat& input, uint32_t outputRate, const FileOutcome& outcome) {
  if (!outcome.diskFull.empty()) return outcome.diskFull;
  const std::string rates = rateRefusalReason(input, outputRate);
  if (!rates.empty()) return rates;
  if (outcome.createError != 0 || outcome.blockCalls == 0) {
    return "the plug-in could not set up the conversion (error 3 from CreateNewCompressionObject)";
  }
  return "the plug-in reported error 3 for " + std::to_string(outcome.failedBlockCalls) + " of " +
         std::to_string(outcome.blockCalls) + " blocks";
}
