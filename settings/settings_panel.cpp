#include "settings_panel.h"

#include <cstdlib>

#include "encoder_settings.h"
#include "settings_panel_ids.h"
#include "settings_persistence.h"

namespace {

constexpr int kAudienceBoxes = IDC_AUDIENCE_LAST - IDC_AUDIENCE_FIRST + 1;  // 8
constexpr int kPanelX = 20;  // client coordinates of the parent
constexpr int kPanelY = 34;

const char* const kFrequencyTexts[] = {"8000", "11025", "16000", "22050", "32000", "44100", "48000"};
const char* const kAudioFormatTexts[] = {"Voice", "Voice & Music", "Music", "Stereo Music"};
constexpr int32_t kAudioFormatCount = 4;

LRESULT sendItem(HWND panel, int id, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
  return SendDlgItemMessageA(panel, id, message, wParam, lParam);
}

// List entry for a rate; rates the list does not offer fall back to entry 0.
int frequencyEntryFor(int32_t sampleRate) {
  switch (sampleRate) {
    case 11025: return 1;
    case 16000: return 2;
    case 22050: return 3;
    case 32000: return 4;
    case 44100: return 5;
    case 48000: return 6;
    default: return 0;
  }
}

void clearAllAudiences() {
  for (int32_t& flag : encoderSettings.targetAudiences) flag = 0;
}

void fillControls(HWND panel) {
  for (const char* text : kFrequencyTexts) {
    sendItem(panel, IDC_FREQUENCY_LIST, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
  }
  const int frequencyEntry = frequencyEntryFor(encoderSettings.sampleRate);
  sendItem(panel, IDC_FREQUENCY_LIST, CB_SETCURSEL, frequencyEntry);

  for (const char* text : kAudioFormatTexts) {
    sendItem(panel, IDC_AUDIO_FORMAT_LIST, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
  }
  // An unknown stored format reuses the frequency entry's index, which
  // selects nothing when it is past the four formats.
  const int32_t format = encoderSettings.audioFormat;
  const bool knownFormat = format >= 0 && format < kAudioFormatCount;
  sendItem(panel, IDC_AUDIO_FORMAT_LIST, CB_SETCURSEL, knownFormat ? format : frequencyEntry);

  const int modeButton = encoderSettings.sureStream != 0 ? IDC_SURESTREAM : IDC_SINGLE_RATE;
  sendItem(panel, modeButton, BM_SETCHECK, BST_CHECKED);
  refreshAudienceBoxes(panel);
}

void readFrequencyList(HWND panel) {
  char text[260] = "";
  sendItem(panel, IDC_FREQUENCY_LIST, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
  encoderSettings.sampleRate = static_cast<int32_t>(std::strtol(text, nullptr, 10));
}

// Single rate allows one audience: a box's command first clears the others.
void applyAudienceBox(HWND panel, int id) {
  if (encoderSettings.sureStream == 0) clearAllAudiences();
  encoderSettings.targetAudiences[id - IDC_AUDIENCE_FIRST] =
      static_cast<int32_t>(sendItem(panel, id, BM_GETCHECK));
  refreshAudienceBoxes(panel);
}

// Applies one control's command to the record; false for ids that are not
// settings controls. The notification code is deliberately not examined.
bool applyCommand(HWND panel, int id) {
  switch (id) {
    case IDC_SURESTREAM:
      encoderSettings.sureStream = 1;
      return true;
    case IDC_SINGLE_RATE:
      encoderSettings.sureStream = 0;
      clearAllAudiences();
      refreshAudienceBoxes(panel);
      return true;
    case IDC_AUDIO_FORMAT_LIST:
      encoderSettings.audioFormat = static_cast<int32_t>(sendItem(panel, id, CB_GETCURSEL));
      return true;
    case IDC_FREQUENCY_LIST:
      readFrequencyList(panel);
      return true;
    default:
      if (id >= IDC_AUDIENCE_FIRST && id <= IDC_AUDIENCE_LAST) {
        applyAudienceBox(panel, id);
        return true;
      }
      return false;
  }
}

}  // namespace

void refreshAudienceBoxes(HWND panel) {
  bool anySet = false;
  for (int i = 0; i < kAudienceBoxes; ++i) {
    const bool set = encoderSettings.targetAudiences[i] != 0;
    anySet = anySet || set;
    sendItem(panel, IDC_AUDIENCE_FIRST + i, BM_SETCHECK, set ? BST_CHECKED : BST_UNCHECKED);
  }
  if (!anySet) {
    sendItem(panel, IDC_AUDIENCE_FIRST, BM_SETCHECK, BST_CHECKED);
    encoderSettings.targetAudiences[0] = 1;
  }
}

INT_PTR CALLBACK settingsPanelProc(HWND panel, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      fillControls(panel);
      return FALSE;  // keep the keyboard focus where the host has it
    case WM_COMMAND:
      if (applyCommand(panel, LOWORD(wParam))) saveEncoderSettings();
      return TRUE;
    default:
      return FALSE;
  }
}

BOOL showSettingsPanel(HWND parent) {
  HINSTANCE module = static_cast<HINSTANCE>(encoderSettings.moduleHandle);
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
