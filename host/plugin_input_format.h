#pragma once
// The description of the input that plughost hands to the plug-in, as the
// converter does: plain PCM for one or two channels of 8 or 16 bits, and
// otherwise WAVE_FORMAT_EXTENSIBLE with the file's channel mask, so that the
// plug-in folds more than two channels by the speakers they belong to.
#include <windows.h>

#include <mmreg.h>

#include <string>

#include "wavfile/wav_format.h"

// Pass &record.Format: cbSize says whether the extensible fields follow.
WAVEFORMATEXTENSIBLE pluginInputFormat(const WavFormat& format);

// False when the plug-in cannot take the input at all, which plughost then
// says instead of the plug-in's bare error 3; `error` says why.
bool pluginTakes(const WavFormat& format, std::string& error);
