#pragma once
#include <cstdint>
#include <string>

#include "wav_format.h"

// Why the plug-in may have refused to create an output or to take blocks,
// as far as plughost can tell from outside: a rate pair the sample-rate
// converter does not take (with the rates it does take from this input), or
// a full disk. Empty when nothing explains it.
std::string explainPluginFailure(const WavFormat& input, uint32_t outputRate, const std::wstring& outputFolder);

// The rate the plug-in codes at: the stored one, or its default for 0.
uint32_t effectiveOutputRate(uint32_t storedRate);
