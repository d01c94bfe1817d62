#pragma once

// The part of the host's PCM description that the converter reads: the
// portable counterpart of the Windows WAVEFORMATEX fields it needs.
struct PcmFormat {
  int channels = 0;
  int sampleRate = 0;     // Hz
  int bitsPerSample = 0;  // 8 (unsigned), 16 or 24 (signed little-endian)
};
