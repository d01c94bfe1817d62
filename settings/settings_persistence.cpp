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

// Reloads noted by attach notifications, and how many of them the last
// reload took in (written only under an edit).
volatile LONG reloadsNoted = 0;
volatile LONG reloadsDone = 0;
HINSTANCE reloadModule = nullptr;

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

void noteEncoderSettingsReloadDue(HINSTANCE moduleHandle) {
  // Stored by the process attach, before any entry point can run; later
  // notes pass the same handle and leave it alone.
  if (reloadModule != moduleHandle) reloadModule = moduleHandle;
  InterlockedIncrement(&reloadsNoted);
}

void reloadEncoderSettingsIfDue() {
  if (InterlockedCompareExchange(&reloadsNoted, 0, 0) == InterlockedCompareExchange(&reloadsDone, 0, 0)) {
    return;
  }
  // The new record is complete before anyone can see it: a conversion set up
  // meanwhile copies the previous one, never the reset audience defaults.
  SettingsEdit edit;
  // Notes that arrive while this one reads are left for the next caller.
  const LONG noted = InterlockedCompareExchange(&reloadsNoted, 0, 0);
  if (noted == reloadsDone) return;  // another thread reloaded meanwhile
  readStoredSettings(edit.record(), reloadModule);
  edit.publish();
  InterlockedExchange(&reloadsDone, noted);
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
