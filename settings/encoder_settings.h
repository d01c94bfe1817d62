#pragma once
#include <cstddef>
#include <cstdint>

#include "settings/settings_catalogue.h"

// The plug-in's settings. One process-wide record (encoderSettings) is loaded
// from the registry by the first entry point that needs it after a process or
// thread attach, and edited by the settings panel. Those run on different threads from the conversions: code
// that may run beside them reads the record only through
// currentEncoderSettings() and changes it only through a SettingsEdit
// (settings_access.h). A conversion takes one copy when it is set up.
// A new record holds the catalogue's defaults (settings_catalogue.h).
struct EncoderSettings {
  // Constant: the process-wide record is part of the library image.
  constexpr EncoderSettings() {
    for (size_t i = 0; i < sizeof kDefaultExtension; ++i) extension[i] = kDefaultExtension[i];
  }

  // Nonzero: audience number i is coded for. Indices 0..7 have a check box and
  // a registry value; index 8 has neither and stays off. All off until a load
  // selects the stored audiences or the default one.
  int32_t targetAudiences[9] = {0, 0, 0, 0, 0, 0, 0, 0, 0};
  void* moduleHandle = nullptr;                         // HINSTANCE of the plug-in library
  int32_t audioFormat = kDefaultAudioFormat;            // 0 Voice, 1 Voice & Music, 2 Music, 3 Stereo Music
  int32_t sureStream = kDefaultSureStream;              // nonzero: multi-rate coding
  int32_t titleArtistOrder = kDefaultTitleArtistOrder;  // 0: file names read "artist - title"
  int32_t sampleRate = kDefaultSampleRate;              // Hz, the rate the audio is coded at
  char extension[260] = {};                             // output extension, NUL-terminated
};

// The one settings record of the process (defined in encoder_settings.cpp).
extern EncoderSettings encoderSettings;

// Coded channel count for an audio format: only "Stereo Music" codes two.
inline int codedChannelsFor(int32_t audioFormat) { return audioFormat == 3 ? 2 : 1; }
