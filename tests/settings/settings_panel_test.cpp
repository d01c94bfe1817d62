// The settings panel on Wine's real dialog manager: created from this test
// program's own copy of template 101, inside a host window, and driven by
// the messages a user's clicks and list choices send.
#include "settings/settings_panel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "settings/encoder_settings.h"
#include "tests/win32_support/host_key.h"
#include "tests/win32_support/host_window.h"
#include "tests/settings/panel_layout.h"
#include "settings/settings_panel_ids.h"
#include "settings/settings_persistence.h"

namespace {

using Audiences = std::array<int32_t, 9>;

Audiences audiences() {
  Audiences flags;
  std::copy(std::begin(encoderSettings.targetAudiences), std::end(encoderSettings.targetAudiences),
            flags.begin());
  return flags;
}

void setAudiences(const Audiences& flags) {
  std::copy(flags.begin(), flags.end(), encoderSettings.targetAudiences);
}

// Each case: an empty host key, a record as the library image has it (with
// this program as the module holding the template), and a host window.
class SettingsPanel : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(hostkey::remove());
    encoderSettings = EncoderSettings{};
    encoderSettings.targetAudiences[0] = 1;  // as after a load from an empty registry
    encoderSettings.moduleHandle = GetModuleHandleA(nullptr);
    host_ = hostwindow::create();
    ASSERT_NE(host_, nullptr);
  }
  void TearDown() override {
    if (host_) DestroyWindow(host_);
  }

  // Shows one panel and returns it (null on failure).
  HWND show() {
    if (!showSettingsPanel(host_)) return nullptr;
    const std::vector<HWND> panels = hostwindow::panelsOf(host_);
    return panels.empty() ? nullptr : panels.back();
  }

  static HWND item(HWND panel, int id) { return GetDlgItem(panel, id); }
  static bool isChecked(HWND panel, int id) {
    return SendDlgItemMessageA(panel, id, BM_GETCHECK, 0, 0) == BST_CHECKED;
  }
  static std::vector<int> checkedAudienceBoxes(HWND panel) {
    std::vector<int> ids;
    for (int id = IDC_AUDIENCE_FIRST; id <= IDC_AUDIENCE_LAST; ++id) {
      if (isChecked(panel, id)) ids.push_back(id);
    }
    return ids;
  }
  static void click(HWND panel, int id) { SendMessageA(item(panel, id), BM_CLICK, 0, 0); }
  static LRESULT notify(HWND panel, int id, WORD code) {
    return SendMessageA(panel, WM_COMMAND, MAKEWPARAM(id, code),
                        reinterpret_cast<LPARAM>(item(panel, id)));
  }
  // A user's choice in a drop-down list: the selection moves, the list tells the panel.
  static void choose(HWND panel, int listId, int entry) {
    SendDlgItemMessageA(panel, listId, CB_SETCURSEL, entry, 0);
    notify(panel, listId, CBN_SELCHANGE);
  }
  static int selection(HWND panel, int listId) {
    return static_cast<int>(SendDlgItemMessageA(panel, listId, CB_GETCURSEL, 0, 0));
  }
  static std::string selectedText(HWND panel, int listId) {
    char text[64] = "";
    GetWindowTextA(item(panel, listId), text, sizeof text);
    return text;
  }
  static uint32_t stored(const char* name) { return hostkey::get(name).asDword(); }
  // A save writes thirteen values: rate, format, SureStream, eight audiences,
  // title/artist order and extension.
  static bool savedInFull() { return hostkey::valueNames().size() == 13; }

  HWND host_ = nullptr;
};

TEST_F(SettingsPanel, IsAVisibleChildAtItsPlaceInTheHostClientArea) {
  ASSERT_TRUE(showSettingsPanel(host_));
  const std::vector<HWND> panels = hostwindow::panelsOf(host_);
  ASSERT_EQ(panels.size(), 1u);
  HWND panel = panels[0];
  EXPECT_TRUE(IsWindowVisible(panel));
  EXPECT_EQ(GetParent(panel), host_);
  EXPECT_TRUE(GetWindowLongA(panel, GWL_STYLE) & WS_CHILD);

  RECT frame;
  GetWindowRect(panel, &frame);
  POINT topLeft = {frame.left, frame.top};
  ScreenToClient(host_, &topLeft);
  EXPECT_EQ(topLeft.x, 20);
  EXPECT_EQ(topLeft.y, 34);
  RECT templateSize = {0, 0, panellayout::kWidth, panellayout::kHeight};
  MapDialogRect(panel, &templateSize);
  EXPECT_EQ(frame.right - frame.left, templateSize.right);
  EXPECT_EQ(frame.bottom - frame.top, templateSize.bottom);
}

TEST_F(SettingsPanel, ShowsTheSixteenControlsInTemplateOrder) {
  HWND panel = show();
  ASSERT_NE(panel, nullptr);
  HWND control = GetWindow(panel, GW_CHILD);
  for (const panellayout::Control& expected : panellayout::kControls) {
    ASSERT_NE(control, nullptr) << expected.text;
    SCOPED_TRACE(expected.text);
    EXPECT_EQ(static_cast<WORD>(GetDlgCtrlID(control)), expected.id);
    char className[32] = "";
    GetClassNameA(control, className, sizeof className);
    EXPECT_STRCASEEQ(className, panellayout::className(expected.kind));
    if (expected.kind != panellayout::Kind::ComboBox) {
      char text[64] = "";
      GetWindowTextA(control, text, sizeof text);
      EXPECT_STREQ(text, expected.text);
    }
    // The dialog manager converts position and size separately.
    RECT place = {expected.x, expected.y, expected.cx, expected.cy};
    MapDialogRect(panel, &place);
    RECT actual;
    GetWindowRect(control, &actual);
    MapWindowPoints(nullptr, panel, reinterpret_cast<POINT*>(&actual), 2);
    EXPECT_EQ(actual.left, place.left);
    EXPECT_EQ(actual.top, place.top);
    EXPECT_EQ(actual.right - actual.left, place.right);
    if (expected.kind != panellayout::Kind::ComboBox) {  // a closed list has its own height
      EXPECT_EQ(actual.bottom - actual.top, place.bottom);
    }
    control = GetWindow(control, GW_HWNDNEXT);
  }
  EXPECT_EQ(control, nullptr);
}

TEST_F(SettingsPanel, ListsOfferTheRatesAndFormatsInOrder) {
  HWND panel = show();
  ASSERT_NE(panel, nullptr);
  auto entries = [&](int listId) {
    std::vector<std::string> texts;
    const int count = static_cast<int>(SendDlgItemMessageA(panel, listId, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
      char text[64] = "";
      SendDlgItemMessageA(panel, listId, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
      texts.push_back(text);
    }
    return texts;
  };
  EXPECT_EQ(entries(IDC_FREQUENCY_LIST),
            (std::vector<std::string>{"8000", "11025", "16000", "22050", "32000", "44100", "48000"}));
  EXPECT_EQ(entries(IDC_AUDIO_FORMAT_LIST),
            (std::vector<std::string>{"Voice", "Voice & Music", "Music", "Stereo Music"}));
}

TEST_F(SettingsPanel, OpensOnTheStoredRateAndFallsBackToTheFirstEntry) {
  const std::pair<int32_t, const char*> cases[] = {
      {8000, "8000"},   {11025, "11025"}, {16000, "16000"}, {22050, "22050"},
      {32000, "32000"}, {44100, "44100"}, {48000, "48000"}, {12000, "8000"}};
  for (const auto& [rate, shown] : cases) {
    encoderSettings.sampleRate = rate;
    HWND panel = show();
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(selectedText(panel, IDC_FREQUENCY_LIST), shown) << rate;
    EXPECT_EQ(encoderSettings.sampleRate, rate);
  }
  EXPECT_FALSE(hostkey::exists());  // opening saves nothing
}

TEST_F(SettingsPanel, OpensOnTheStoredFormat) {
  for (int32_t format = 0; format < 4; ++format) {
    encoderSettings.audioFormat = format;
    HWND panel = show();
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(selection(panel, IDC_AUDIO_FORMAT_LIST), format);
  }
}

TEST_F(SettingsPanel, UnknownFormatReusesTheRateEntryIndex) {
  encoderSettings.audioFormat = 7;
  encoderSettings.sampleRate = 22050;  // rate entry 3
  HWND panel = show();
  ASSERT_NE(panel, nullptr);
  EXPECT_EQ(selection(panel, IDC_AUDIO_FORMAT_LIST), 3);
  encoderSettings.sampleRate = 44100;  // rate entry 5: past the four formats
  panel = show();
  ASSERT_NE(panel, nullptr);
  EXPECT_EQ(selection(panel, IDC_AUDIO_FORMAT_LIST), CB_ERR);
  EXPECT_EQ(encoderSettings.audioFormat, 7);
}

TEST_F(SettingsPanel, OpensOnTheStoredCodingMode) {
  encoderSettings.sureStream = 1;
  HWND panel = show();
  ASSERT_NE(panel, nullptr);
  EXPECT_TRUE(isChecked(panel, IDC_SURESTREAM));
  EXPECT_FALSE(isChecked(panel, IDC_SINGLE_RATE));
  encoderSettings.sureStream = 0;
  panel = show();
  ASSERT_NE(panel, nullptr);
  EXPECT_FALSE(isChecked(panel, IDC_SURESTREAM));
  EXPECT_TRUE(isChecked(panel, IDC_SINGLE_RATE));
}

TEST_F(SettingsPanel, OpeningWithNoAudienceChecksTheFirstWithoutSaving) {
  setAudiences({0, 0, 0, 0, 0, 0, 0, 0, 0});
  HWND panel = show();
  ASSERT_NE(panel, nullptr);
  EXPECT_EQ(checkedAudienceBoxes(panel), std::vector<int>{1009});
  EXPECT_EQ(encoderSettings.targetAudiences[0], 1);
  EXPECT_FALSE(hostkey::exists());
}

TEST_F(SettingsPanel, OpeningLeavesTheKeyboardFocusOutsideThePanel) {
  SetFocus(host_);
  HWND panel = show();
  ASSERT_NE(panel, nullptr);
  HWND focus = GetFocus();
  EXPECT_FALSE(focus == panel || IsChild(panel, focus));
}

TEST_F(SettingsPanel, ChoosingARateStoresAndSavesIt) {
  HWND panel = show();
  ASSERT_NE(panel, nullptr);
  choose(panel, IDC_FREQUENCY_LIST, 3);
  EXPECT_EQ(encoderSettings.sampleRate, 22050);
  EXPECT_TRUE(savedInFull());
  EXPECT_EQ(stored("ZVKRMFreq"), 22050u);
}

TEST_F(SettingsPanel, AnyNotificationOfTheRateListSavesWhatItShows) {
  encoderSettings.sampleRate = 12000;
  HWND panel = show();
  ASSERT_NE(panel, nullptr);
  notify(panel, IDC_FREQUENCY_LIST, CBN_DROPDOWN);
  EXPECT_EQ(encoderSettings.sampleRate, 8000);
  ASSERT_TRUE(savedInFull());
  ASSERT_TRUE(hostkey::remove());
  notify(panel, IDC_FREQUENCY_LIST, CBN_CLOSEUP);
  EXPECT_TRUE(savedInFull());
  EXPECT_EQ(stored("ZVKRMFreq"), 8000u);
}

TEST_F(SettingsPanel, ChoosingAFormatStoresAndSavesIt) {
  HWND panel = show();
  ASSERT_NE(panel, nullptr);
  choose(panel, IDC_AUDIO_FORMAT_LIST, 2);
  EXPECT_EQ(encoderSettings.audioFormat, 2);
  EXPECT_TRUE(savedInFull());
  EXPECT_EQ(stored("ZVKRMAudioFormat"), 2u);
}

TEST_F(SettingsPanel, FormatListWithoutSelectionStoresMinusOne) {
  encoderSettings.audioFormat = 9;
  encoderSettings.sampleRate = 48000;  // nothing selected in the format list
  HWND panel = show();
  ASSERT_NE(panel, nullptr);
  notify(panel, IDC_AUDIO_FORMAT_LIST, CBN_SETFOCUS);
  EXPECT_EQ(encoderSettings.audioFormat, -1);
  EXPECT_EQ(stored("ZVKRMAudioFormat"), 0xFFFFFFFFu);
}

TEST_F(SettingsPanel, SurestreamButtonSwitchesOnAndKeepsTheAudiences) {
  setAudiences({0, 0, 0, 0, 1, 0, 0, 0, 0});
  HWND panel = show();
  ASSERT_NE(panel, nullptr);
  click(panel, IDC_SURESTREAM);
  EXPECT_EQ(encoderSettings.sureStream, 1);
  EXPECT_EQ(checkedAudienceBoxes(panel), std::vector<int>{1013});
  EXPECT_TRUE(savedInFull());
  EXPECT_EQ(stored("ZVKRMSurestream"), 1u);
  EXPECT_EQ(stored("ZVKRMTarget4"), 1u);
}

TEST_F(SettingsPanel, SingleRateCollapsesTheAudiencesToTheFirst) {
  encoderSettings.sureStream = 1;
  setAudiences({1, 1, 0, 1, 1, 1, 1, 0, 0});
  HWND panel = show();
  ASSERT_NE(panel, nullptr);
  EXPECT_EQ(checkedAudienceBoxes(panel).size(), 6u);
  click(panel, IDC_SINGLE_RATE);
  EXPECT_EQ(encoderSettings.sureStream, 0);
  EXPECT_EQ(audiences(), (Audiences{1, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(checkedAudienceBoxes(panel), std::vector<int>{1009});
  EXPECT_TRUE(savedInFull());
  EXPECT_EQ(stored("ZVKRMSurestream"), 0u);
  EXPECT_EQ(stored("ZVKRMTarget0"), 1u);
  EXPECT_EQ(stored("ZVKRMTarget3"), 0u);
}

TEST_F(SettingsPanel, InSurestreamModeTheBoxesToggleIndependently) {
  encoderSettings.sureStream = 1;
  HWND panel = show();
  ASSERT_NE(panel, nullptr);
  click(panel, 1010);
  click(panel, 1013);
  EXPECT_EQ(checkedAudienceBoxes(panel), (std::vector<int>{1009, 1010, 1013}));
  click(panel, 1009);
  EXPECT_EQ(checkedAudienceBoxes(panel), (std::vector<int>{1010, 1013}));
  EXPECT_EQ(audiences(), (Audiences{0, 1, 0, 0, 1, 0, 0, 0, 0}));
  EXPECT_EQ(stored("ZVKRMTarget0"), 0u);
  EXPECT_EQ(stored("ZVKRMTarget4"), 1u);
}

TEST_F(SettingsPanel, InSurestreamModeUncheckingTheLastBoxChecksTheFirst) {
  encoderSettings.sureStream = 1;
  setAudiences({0, 0, 0, 0, 0, 0, 0, 1, 0});
  HWND panel = show();
  ASSERT_NE(panel, nullptr);
  click(panel, 1016);
  EXPECT_EQ(checkedAudienceBoxes(panel), std::vector<int>{1009});
  EXPECT_EQ(audiences(), (Audiences{1, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(stored("ZVKRMTarget0"), 1u);
  EXPECT_EQ(stored("ZVKRMTarget7"), 0u);
}

TEST_F(SettingsPanel, InSingleRateModeTheBoxesActAsOneChoice) {
  HWND panel = show();
  ASSERT_NE(panel, nullptr);
  click(panel, 1014);
  EXPECT_EQ(checkedAudienceBoxes(panel), std::vector<int>{1014});
  EXPECT_EQ(audiences(), (Audiences{0, 0, 0, 0, 0, 1, 0, 0, 0}));
  EXPECT_EQ(stored("ZVKRMTarget5"), 1u);
  click(panel, 1011);
  EXPECT_EQ(checkedAudienceBoxes(panel), std::vector<int>{1011});
  click(panel, 1011);  // unchecking the only one
  EXPECT_EQ(checkedAudienceBoxes(panel), std::vector<int>{1009});
  EXPECT_EQ(audiences(), (Audiences{1, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(SettingsPanel, InSingleRateModeTwoStoredAudiencesCollapseAtTheFirstClick) {
  setAudiences({1, 0, 0, 0, 1, 0, 0, 0, 0});
  HWND panel = show();
  ASSERT_NE(panel, nullptr);
  EXPECT_EQ(checkedAudienceBoxes(panel), (std::vector<int>{1009, 1013}));
  click(panel, 1012);
  EXPECT_EQ(checkedAudienceBoxes(panel), std::vector<int>{1012});
  EXPECT_EQ(audiences(), (Audiences{0, 0, 0, 1, 0, 0, 0, 0, 0}));
}

TEST_F(SettingsPanel, CommandsFromOtherControlsChangeAndSaveNothing) {
  HWND panel = show();
  ASSERT_NE(panel, nullptr);
  for (int id : {IDOK, IDCANCEL, 1005, 1008, 1017, 0xFFFF}) {
    SendMessageA(panel, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
  }
  EXPECT_FALSE(hostkey::exists());
  EXPECT_EQ(audiences(), (Audiences{1, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_TRUE(IsWindow(panel));
}

TEST_F(SettingsPanel, SeveralPanelsEditTheOneRecord) {
  HWND first = show();
  HWND second = show();
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_NE(first, second);
  EXPECT_EQ(hostwindow::panelsOf(host_).size(), 2u);
  choose(first, IDC_FREQUENCY_LIST, 0);
  choose(second, IDC_AUDIO_FORMAT_LIST, 3);
  EXPECT_EQ(encoderSettings.sampleRate, 8000);
  EXPECT_EQ(encoderSettings.audioFormat, 3);
  EXPECT_EQ(stored("ZVKRMFreq"), 8000u);
  EXPECT_EQ(stored("ZVKRMAudioFormat"), 3u);
}

TEST_F(SettingsPanel, MissingTemplateReportsFailure) {
  encoderSettings.moduleHandle = GetModuleHandleA("kernel32.dll");  // holds no template 101
  EXPECT_FALSE(showSettingsPanel(host_));
  EXPECT_TRUE(hostwindow::panelsOf(host_).empty());
}

}  // namespace
