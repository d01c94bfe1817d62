#include "settings_persistence.h"

#include "encoder_settings.h"
#include "registry_values.h"
#include "settings_access.h"
#include "settings_catalogue.h"

namespace {

const HKEY kRoot = HKEY_CURRENT_USER;
const char kPath[] = "Software\\Harborlane\\Tonewright";

void resetAudiencesToDefault(EncoderSettings& settings) {
  for (int32_t& flag : settings.targetAudiences) flag = 0;
  settings.targetAudiences[0] = 1;
}

// Fills `settings` from the registry as a load does, starting with the
// audience defaults; the catalogue decides what each stored value gives.
void readStoredSettings(EncoderSettings& settings, HINSTANCE moduleHandle) {
  resetAudiencesToDefault(settings);
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
  EncoderSettings record = settings;  // the catalogue's field accessors take a modifiable record
  for (const SettingDefinition& setting : kSettingCatalogue) {
    if (setting.type == SettingType::Text) {
      writeRegistryString(record.extension, setting.valueName, kRoot, kPath);
    } else {
      writeRegistryDword(static_cast<uint32_t>(setting.field(record)), setting.valueName, kRoot, kPath);
    }
  }
}
