#include "host/outcome_text.h"

#include <cstdarg>
#include <cstdio>

#include "settings/settings_catalogue.h"

namespace {

std::string formatted(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string formatted(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  va_list counting;
  va_copy(counting, arguments);
  int length = std::vsnprintf(nullptr, 0, format, counting);
  va_end(counting);
  std::string text(length > 0 ? size_t(length) : 0, '\0');
  if (length > 0) std::vsnprintf(&text[0], text.size() + 1, format, arguments);
  va_end(arguments);
  return text;
}

// "44100 Hz 2 ch Stereo Music": what the plug-in codes.
std::string outputFormatText(const EncoderSettings& used) {
  const char* name = choiceText(audioFormatSetting(), used.audioFormat);
  return formatted("%d Hz %d ch %s", int(used.sampleRate), codedChannelsFor(used.audioFormat), name ? name : "?");
}

// The length of what reached the plug-in: short after a read error.
double secondsSent(const WavFormat& format, const FileOutcome& outcome) {
  return double(outcome.bytesSent) / double(format.frameBytes()) / double(format.sampleRate);
}

}  // namespace

std::string convertedOutcomeText(const EncoderSettings& used, const WavFormat& input, const FileOutcome& outcome) {
  return outputFormatText(used) + formatted(", %.3f s", secondsSent(input, outcome));
}

std::string technicalDetails(const WavFormat& input, const FileOutcome& outcome) {
  return formatted("in: %d Hz %d-bit %d ch, %.3f s sent; create error %d, %u block calls, %u with error 3",
                   input.sampleRate, input.bitsPerSample, input.channels, secondsSent(input, outcome),
                   int(outcome.createError), outcome.blockCalls, outcome.failedBlockCalls);
}
