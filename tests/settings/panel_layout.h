#pragma once
// The settings panel's dialog template as the host relies on it: header and
// the sixteen controls in template (tab and z) order. Shared by the tests of
// the live panel and of the template inside rmplugin.dll.
#include <windows.h>

namespace panellayout {

constexpr WORD kTemplateId = 101;
constexpr WORD kLanguage = 2057;  // English (United Kingdom)
constexpr DWORD kStyle = WS_CHILD | WS_VISIBLE | DS_SETFONT;
constexpr short kWidth = 229, kHeight = 52;  // dialog units
constexpr WORD kFontPoints = 8;
constexpr const char* kFontName = "MS Sans Serif";

enum class Kind : WORD { Button = 0x80, Static = 0x82, ComboBox = 0x85 };  // template ordinals

struct Control {
  WORD id;  // 0xFFFF: none
  Kind kind;
  const char* text;
  DWORD style;
  short x, y, cx, cy;  // dialog units
};

constexpr DWORD kLabel = WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT;
constexpr DWORD kList = WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | CBS_DROPDOWNLIST;
constexpr DWORD kBox = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX;
constexpr DWORD kRadio = WS_CHILD | WS_VISIBLE | BS_AUTORADIOBUTTON;

constexpr Control kControls[16] = {
    {0xFFFF, Kind::Static, "Frequency:", kLabel, 6, 6, 36, 8},
    {0xFFFF, Kind::Static, "Audio format:", kLabel, 2, 22, 42, 8},
    {1006, Kind::ComboBox, "", kList, 45, 20, 62, 68},
    {1007, Kind::ComboBox, "", kList, 45, 4, 61, 68},
    {0xFFFF, Kind::Static, "Hz", WS_CHILD | WS_VISIBLE | WS_GROUP, 108, 6, 10, 8},
    {1009, Kind::Button, "28kbps", kBox, 125, 9, 39, 10},
    {1010, Kind::Button, "56kbps", kBox, 125, 19, 39, 10},
    {1011, Kind::Button, "ISDN", kBox, 125, 29, 33, 10},
    {1012, Kind::Button, "2x ISDN", kBox, 125, 39, 43, 10},
    {1013, Kind::Button, "LAN", kBox, 171, 9, 30, 10},
    {1014, Kind::Button, "256k DSL", kBox, 171, 19, 48, 10},
    {0xFFFF, Kind::Button, "Target Audiences", WS_CHILD | WS_VISIBLE | BS_GROUPBOX, 120, 0, 104, 51},
    {1003, Kind::Button, "Surestream", kRadio, 14, 38, 51, 10},
    {1004, Kind::Button, "Single rate", kRadio, 65, 38, 49, 10},
    {1015, Kind::Button, "384k DSL", kBox, 171, 29, 48, 10},
    {1016, Kind::Button, "512k DSL", kBox, 171, 39, 48, 10},
};

inline const char* className(Kind kind) {
  switch (kind) {
    case Kind::Button: return "Button";
    case Kind::Static: return "Static";
    default: return "ComboBox";
  }
}

}  // namespace panellayout
