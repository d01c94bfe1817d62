#pragma once
#include <cstdint>
#include <string>

#include "host/file_outcome.h"
#include "wavfile/wav_format.h"

// Why the plug-in may have refused to create an output or to take blocks,
// as far as plughost can tell from outside. Each is empty when it does not
// explain the failure.

// The disk holding `folder` is all but full. Asked at the failure itself,
// before the engine's partial file is gone.
std::string diskFullReason(const std::wstring& folder);

// A rate pair the sample-rate converter does not take, with the panel's
// rates it does take from this input.
std::string rateRefusalReason(const WavFormat& input, uint32_t outputRate);

// Why the plug-in failed a file (error 3 at creation or for some blocks),
// from what its conversion saw and the rate it was to convert to; never
// empty.
std::string pluginFailureReason(const WavFormat& input, uint32_t outputRate, const FileOutcome& outcome);
