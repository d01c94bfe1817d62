#pragma once
#include <string>

#include "host/file_outcome.h"
#include "settings/encoder_settings.h"
#include "wavfile/wav_format.h"

// What a file's line says of its conversion (file_report.h puts the line
// together).

// "44100 Hz 2 ch Stereo Music, 0.500 s": what the plug-in coded, from the
// settings it used, and the length of what reached it.
std::string convertedOutcomeText(const EncoderSettings& used, const WavFormat& input, const FileOutcome& outcome);

// The plug-in's calls and codes, for --verbose.
std::string technicalDetails(const WavFormat& input, const FileOutcome& outcome);
