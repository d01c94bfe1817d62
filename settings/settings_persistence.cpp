#include "settings_persistence.h"

#include <cstdio>
#include <cstring>

#include "encoder_settings.h"
#include "output_extension.h"
#include "registry_values.h"
#include "settings_access.h"

namespace {

const HKEY kRoot = HKEY_CURRENT_USER;
const char kPath[] = "Software\\Harborlane\\Tonewright";

constexpr int kStoredAudiences = 8;  // index 8 has no registry value

// "ZVKRMTarget0" .. "ZVKRMTarget7"
struct AudienceValueName {
  char text[16];
  explicit AudienceValueName(int index) { std::snprintf(text, sizeof text, "ZVKRMTarget%d", index); }
};

uint32_t readDword(const char* name) { return readRegistryDword(name, kRoot, kPath); }
void writeDword(int32_t value, const char* name) {
  writeRegistryDword(static_cast<uint32_t>(value), name, kRoot, kPath);
}

void resetAudiencesToDefault(EncoderSettings& settings) {
  for (int32_t& flag : settings.targetAudiences) flag = 0;
  settings.targetAudiences[0] = 1;
}

// A stored extension that a host could not use safely (one that names another
// folder, say) reads as the default; the next save then stores that.
void readStoredExtension(EncoderSettings& settings) {
  char stored[sizeof settings.extension];
  readRegistryString(stored, sizeof stored, "ZVKRMExt", kRoot, kPath);
  const char* usable = usableExtension(stored);
  std::memcpy(settings.extension, usable, std::strlen(usable) + 1);
}

// Fills `settings` from the registry as a load does, starting with the
// audience defaults. Fields without a stored value keep what `settings` holds.
void readStoredSettings(EncoderSettings& settings, HINSTANCE moduleHandle) {
  resetAudiencesToDefault(settings);
  settings.moduleHandle = moduleHandle;

  // This first read also creates the (empty) key on a fresh machine.
  const uint32_t storedRate = readDword("ZVKRMFreq");
  if (storedRate != 0) settings.sampleRate = static_cast<int32_t>(storedRate);
  settings.audioFormat = static_cast<int32_t>(readDword("ZVKRMAudioFormat"));
  settings.sureStream = static_cast<int32_t>(readDword("ZVKRMSurestream"));

  // The audience values count only as a set: without the first one the
  // defaults stay; with it, every missing one reads as 0.
  if (registryValueExists("ZVKRMTarget0", kRoot, kPath)) {
    for (int i = 0; i < kStoredAudiences; ++i) {
      settings.targetAudiences[i] = static_cast<int32_t>(readDword(AudienceValueName(i).text));
    }
  }
  settings.titleArtistOrder = static_cast<int32_t>(readDword("ZVKRMTitleArtist"));
  if (registryValueExists("ZVKRMExt", kRoot, kPath)) readStoredExtension(settings);
}

}  // namespace

BOOL loadEncoderSettings(HINSTANCE moduleHandle, DWORD reason) {
  if (reason != DLL_PROCESS_ATTACH && reason != DLL_THREAD_ATTACH) return TRUE;
  // The new record is complete before anyone can see it: a conversion set up
  // meanwhile copies the previous one, never the reset audience defaults.
  SettingsEdit edit;
  readStoredSettings(edit.record(), moduleHandle);
  edit.publish();
  return TRUE;
}

void saveEncoderSettings(const EncoderSettings& settings) {
  writeDword(settings.sampleRate, "ZVKRMFreq");
  writeDword(settings.audioFormat, "ZVKRMAudioFormat");
  writeDword(settings.sureStream, "ZVKRMSurestream");
  for (int i = 0; i < kStoredAudiences; ++i) {
    writeDword(settings.targetAudiences[i], AudienceValueName(i).text);
  }
  writeDword(settings.titleArtistOrder, "ZVKRMTitleArtist");
  writeRegistryString(settings.extension, "ZVKRMExt", kRoot, kPath);
}
