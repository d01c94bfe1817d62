#include "settings/settings_persistence.h"

#include "settings/encoder_settings.h"
#include "settings/registry_values.h"
#include "settings/settings_access.h"
#include "settings/settings_catalogue.h"

namespace {

const HKEY kRoot = HKEY_CURRENT_USER;
const char kPath[] = "Software\\Harborlane\\Tonewright";

// Reloads noted by attach notifications, and how many of them the last
// reload took in (written only under an edit).
volatile LONG reloadsNoted = 0;
volatile LONG reloadsDone = 0;
HINSTANCE reloadModule = nullptr;

// Fills `settings` from the registry as a load does; the catalogue decides
// what each stored value gives.
void readStoredSettings(EncoderSettings& settings, HINSTANCE moduleHandle) {
  settings.moduleHandle = moduleHandle;
  // One text buffer per value: each stored value keeps its own text.
  char texts[kSettingCount][sizeof settings.extension];
  StoredValue stored[kSettingCount];
  // The first read also creates the (empty) key on a fresh machine.
  for (size_t i = 0; i < kSettingCount; ++i) {
    stored[i] = readRegistryValue(kSettingCatalogue[i].valueName, kRoot, kPath, texts[i], sizeof texts[i]);
  }
  applyStoredValues(stored, settings);
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

EncoderSettings storedEncoderSettings() {
  reloadEncoderSettingsIfDue();
  return currentEncoderSettings();
}

void saveEncoderSettings(const EncoderSettings& settings) {
  for (const SettingDefinition& setting : kSettingCatalogue) {
    if (setting.type == SettingType::Text) {
      writeRegistryString(settings.extension, setting.valueName, kRoot, kPath);
    } else {
      writeRegistryDword(static_cast<uint32_t>(setting.valueIn(settings)), setting.valueName, kRoot, kPath);
    }
  }
}
