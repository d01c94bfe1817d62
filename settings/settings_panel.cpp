#include "settings/settings_panel.h"

#include <cstdlib>

#include "settings/encoder_settings.h"
#include "settings/settings_access.h"
#include "settings/settings_catalogue.h"
#include "settings/settings_panel_ids.h"
#include "settings/settings_persistence.h"

namespace {

constexpr int kAudienceBoxes = IDC_AUDIENCE_LAST - IDC_AUDIENCE_FIRST + 1;  // 8
constexpr int kPanelX = 20;  // client coordinates of the parent
constexpr int kPanelY = 34;

LRESULT sendItem(HWND panel, int id, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
  return SendDlgItemMessageA(panel, id, message, wParam, lParam);
}

// Fills a list with a setting's choices, in the catalogue's order.
void addChoices(HWND panel, int listId, const SettingDefinition& setting) {
  for (size_t i = 0; i < setting.choiceCount; ++i) {
    sendItem(panel, listId, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(setting.choices[i].text));
  }
}

// List entry for a rate; rates the list does not offer fall back to entry 0.
int frequencyEntryFor(int32_t sampleRate) {
  const int entry = choiceIndexOf(rateSetting(), sampleRate);
  return entry < 0 ? 0 : entry;
}

void clearAllAudiences(EncoderSettings& settings) {
  for (int32_t& flag : settings.targetAudiences) flag = 0;
}

// With none of the eight boxes' flags set, the default audience is set. True
// when the record changed.
bool ensureAnAudience(EncoderSettings& settings) {
  for (int i = 0; i < kAudienceBoxes; ++i) {
    if (settings.targetAudiences[i] != 0) return false;
  }
  settings.targetAudiences[kDefaultAudience] = 1;
  return true;
}

// The record as the panel shows it: the default audience set (in memory
// only) when no audience is. Controls are only touched after the edit has
// ended, so no window message is ever sent while a load may be waiting on
// the edit.
EncoderSettings settingsToShow() {
  SettingsEdit edit;
  if (ensureAnAudience(edit.record())) edit.publish();
  return edit.record();
}

// Shows the eight audience flags on their check boxes. When none is set,
// the default audience is set (in memory only) and its box checked.
void refreshAudienceBoxes(HWND panel) {
  const EncoderSettings settings = settingsToShow();
  for (int i = 0; i < kAudienceBoxes; ++i) {
    const bool set = settings.targetAudiences[i] != 0;
    sendItem(panel, IDC_AUDIENCE_FIRST + i, BM_SETCHECK, set ? BST_CHECKED : BST_UNCHECKED);
  }
}

void fillControls(HWND panel) {
  const EncoderSettings settings = currentEncoderSettings();
  addChoices(panel, IDC_FREQUENCY_LIST, rateSetting());
  const int frequencyEntry = frequencyEntryFor(settings.sampleRate);
  sendItem(panel, IDC_FREQUENCY_LIST, CB_SETCURSEL, frequencyEntry);

  addChoices(panel, IDC_AUDIO_FORMAT_LIST, audioFormatSetting());
  // A format the list does not offer (only a record changed in memory holds
  // one: a load reads it as the default) reuses the frequency entry's index,
  // which selects nothing when it is past the four formats.
  const int formatEntry = choiceIndexOf(audioFormatSetting(), settings.audioFormat);
  sendItem(panel, IDC_AUDIO_FORMAT_LIST, CB_SETCURSEL, formatEntry >= 0 ? formatEntry : frequencyEntry);

  const int modeButton = settings.sureStream != 0 ? IDC_SURESTREAM : IDC_SINGLE_RATE;
  sendItem(panel, modeButton, BM_SETCHECK, BST_CHECKED);
  refreshAudienceBoxes(panel);
}

int32_t frequencyListValue(HWND panel) {
  char text[260] = "";
  sendItem(panel, IDC_FREQUENCY_LIST, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
  return static_cast<int32_t>(std::strtol(text, nullptr, 10));
}

// The chosen format's value; -1 when nothing is selected.
int32_t audioFormatListValue(HWND panel) {
  const LRESULT entry = sendItem(panel, IDC_AUDIO_FORMAT_LIST, CB_GETCURSEL);
  const SettingDefinition& formats = audioFormatSetting();
  return entry >= 0 && size_t(entry) < formats.choiceCount ? formats.choices[entry].value : -1;
}

// What one command does to the record, with everything it needs from the
// controls read beforehand.
struct Command {
  int id = 0;
  int32_t controlValue = 0;  // list selection, rate or check state
};

// Single rate allows one audience: a box's command first clears the others.
void applyAudienceBox(EncoderSettings& settings, const Command& command) {
  if (settings.sureStream == 0) clearAllAudiences(settings);
  settings.targetAudiences[command.id - IDC_AUDIENCE_FIRST] = command.controlValue;
  ensureAnAudience(settings);
}

bool isAudienceBox(int id) { return id >= IDC_AUDIENCE_FIRST && id <= IDC_AUDIENCE_LAST; }

// Reads the control state a command acts on; false for ids that are not
// settings controls. The notification code is deliberately not examined.
bool readCommand(HWND panel, int id, Command& command) {
  command.id = id;
  switch (id) {
    case IDC_SURESTREAM:
    case IDC_SINGLE_RATE:
      return true;
    case IDC_AUDIO_FORMAT_LIST:
      command.controlValue = audioFormatListValue(panel);
      return true;
    case IDC_FREQUENCY_LIST:
      command.controlValue = frequencyListValue(panel);
      return true;
    default:
      if (!isAudienceBox(id)) return false;
      command.controlValue = static_cast<int32_t>(sendItem(panel, id, BM_GETCHECK));
      return true;
  }
}

void applyCommand(EncoderSettings& settings, const Command& command) {
  switch (command.id) {
    case IDC_SURESTREAM:
      settings.sureStream = 1;
      break;
    case IDC_SINGLE_RATE:
      settings.sureStream = 0;
      clearAllAudiences(settings);
      ensureAnAudience(settings);
      break;
    case IDC_AUDIO_FORMAT_LIST:
      settings.audioFormat = command.controlValue;
      break;
    case IDC_FREQUENCY_LIST:
      settings.sampleRate = command.controlValue;
      break;
    default:
      applyAudienceBox(settings, command);
      break;
  }
}

// One panel edit: change, publish and save as a single edit, so that a load
// on another thread sees either none of it or all of it, saved.
void runCommand(HWND panel, const Command& command) {
  {
    SettingsEdit edit;
    applyCommand(edit.record(), command);
    edit.publish();
    saveEncoderSettings(edit.record());
  }
  if (command.id == IDC_SINGLE_RATE || isAudienceBox(command.id)) refreshAudienceBoxes(panel);
}

// The panel's dialog procedure: fills the controls on WM_INITDIALOG (and
// leaves the focus alone), acts on WM_COMMAND by control id whatever the
// notification code.
INT_PTR CALLBACK settingsPanelProc(HWND panel, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      fillControls(panel);
      return FALSE;  // keep the keyboard focus where the host has it
    case WM_COMMAND: {
      // An edit starts from the settings as stored, when a thread has
      // started since the panel last read them.
      reloadEncoderSettingsIfDue();
      Command command;
      if (readCommand(panel, LOWORD(wParam), command)) runCommand(panel, command);
      return TRUE;
    }
    default:
      return FALSE;
  }
}

}  // namespace

BOOL showSettingsPanel(HWND parent) {
  HINSTANCE module = static_cast<HINSTANCE>(storedEncoderSettings().moduleHandle);
  HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(IDD_SETTINGS_PANEL),
                                 RT_DIALOG);
  HGLOBAL loaded = LoadResource(module, resource);
  auto* dialogTemplate = static_cast<LPCDLGTEMPLATEA>(LockResource(loaded));
  // Resource failures are not checked one by one: they leave a null panel,
  // and moving a null window fails, which is the result reported.
  HWND panel = dialogTemplate ? CreateDialogIndirectParamA(module, dialogTemplate, parent,
                                                           settingsPanelProc, 0)
                              : nullptr;
  RECT frame{};
  GetWindowRect(panel, &frame);
  return MoveWindow(panel, kPanelX, kPanelY, frame.right - frame.left, frame.bottom - frame.top,
                    FALSE);
}
