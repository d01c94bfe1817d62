#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "settings/encoder_settings.h"
#include "host/setting_rules.h"

// The plug-in reads its settings from HKCU\Software\Harborlane\Tonewright
// after load and after every thread attach, when an entry point next needs them. A run's --set values must hold for
// the whole run without reaching other runs or the stored settings, so a run
// gives this process a HKEY_CURRENT_USER of its own: a volatile key seeded
// with every stored value and then the --set ones (RegOverridePredefKey).
// The key goes at end(); being volatile, one left by a killed run vanishes
// when the registry is next loaded. It is named after the run, and a named
// mutex of the same name, which dies with the process, tells a live run's
// key from one a killed run left: begin() removes those.
class RunSettings {
public:
  RunSettings() = default;
  ~RunSettings() { end(); }
  RunSettings(const RunSettings&) = delete;
  RunSettings& operator=(const RunSettings&) = delete;

  // False: `error` says which step failed; nothing is left behind.
  bool begin(const std::vector<SettingOverride>& overrides, std::string& error);
  // Gives HKEY_CURRENT_USER back and deletes the private key. Safe to call twice.
  void end();

  // The private key's path under the real HKEY_CURRENT_USER (for cleanup
  // after a kill); empty before begin.
  const std::wstring& privateKeyPath() const { return keyPath; }

  // What the run's plug-in uses: the stored settings after the --set values,
  // read as the plug-in reads them; and the stored values it ignores.
  const EncoderSettings& used() const { return pluginSettings; }
  const std::vector<std::string>& ignoredValues() const { return ignored; }

private:
  HKEY root = nullptr;  // the private key that stands in for HKEY_CURRENT_USER
  HANDLE alive = nullptr;  // the mutex that marks the key's run as alive
  std::wstring keyPath;
  EncoderSettings pluginSettings;
  std::vector<std::string> ignored;
};

// Deletes a private key left by a run (its path under HKEY_CURRENT_USER).
void deletePrivateSettingsKey(const std::wstring& path);

// `plughost settings`: stores `overrides` in the host's key for good, then
// prints what the plug-in will use of every setting, naming the stored values
// it ignores. Returns the exit status.
int runSettingsCommand(const std::vector<SettingOverride>& overrides);
