// The resources inside rmplugin.dll: the settings panel's dialog template,
// byte for byte as the host's dialog manager reads it, and the version
// resource. Nothing else may be there.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "tests/settings/panel_layout.h"
#include "tests/plugin/plugin_exports.h"
#include "tests/win32_support/test_dll.h"

namespace {

// Reads a classic (non-extended) dialog template.
class TemplateReader {
 public:
  explicit TemplateReader(const BYTE* start) : start_(start), at_(start) {}

  WORD word() {
    WORD value;
    std::memcpy(&value, at_, 2);
    at_ += 2;
    return value;
  }
  DWORD dword() {
    DWORD value;
    std::memcpy(&value, at_, 4);
    at_ += 4;
    return value;
  }
  short coordinate() { return static_cast<short>(word()); }
  // A UTF-16 text; this test's texts are plain ASCII.
  std::string text() {
    std::string result;
    for (WORD c = word(); c != 0; c = word()) result.push_back(static_cast<char>(c));
    return result;
  }
  // Menu, class or title field: 0xFFFF followed by an ordinal, or a text.
  struct NameOrOrdinal {
    bool isOrdinal = false;
    WORD ordinal = 0;
    std::string name;
  };
  NameOrOrdinal nameOrOrdinal() {
    NameOrOrdinal field;
    WORD first;
    std::memcpy(&first, at_, 2);
    if (first == 0xFFFF) {
      at_ += 2;
      field.isOrdinal = true;
      field.ordinal = word();
    } else {
      field.name = text();
    }
    return field;
  }
  void alignToDword() {
    while ((at_ - start_) % 4 != 0) ++at_;
  }
  void skip(size_t bytes) { at_ += bytes; }

 private:
  const BYTE* start_;
  const BYTE* at_;
};

// Resource enumeration: (id, language) of every resource of one type, and
// the resource types present.
using Entries = std::vector<std::pair<WORD, WORD>>;

struct NameContext {
  Entries* found;
  WORD id;
};

BOOL CALLBACK collectLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR param) {
  auto* context = reinterpret_cast<NameContext*>(param);
  context->found->emplace_back(context->id, language);
  return TRUE;
}

BOOL CALLBACK collectName(HMODULE module, LPCSTR type, LPSTR name, LONG_PTR param) {
  NameContext context{reinterpret_cast<Entries*>(param),
                      IS_INTRESOURCE(name) ? static_cast<WORD>(reinterpret_cast<ULONG_PTR>(name))
                                           : WORD{0}};
  EnumResourceLanguagesA(module, type, name, collectLanguage, reinterpret_cast<LONG_PTR>(&context));
  return TRUE;
}

BOOL CALLBACK collectType(HMODULE, LPSTR type, LONG_PTR param) {
  reinterpret_cast<std::vector<ULONG_PTR>*>(param)->push_back(
      IS_INTRESOURCE(type) ? reinterpret_cast<ULONG_PTR>(type) : ~ULONG_PTR{0});
  return TRUE;
}

class PluginResources : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(library_.module(), nullptr); }

  Entries resourcesOfType(LPCSTR type) {
    Entries found;
    EnumResourceNamesA(library_.module(), type, collectName, reinterpret_cast<LONG_PTR>(&found));
    return found;
  }

  testdll::Library library_{pluginapi::kDllName};
};

TEST_F(PluginResources, HoldOnlyTheDialogAndTheVersion) {
  std::vector<ULONG_PTR> types;
  EnumResourceTypesA(library_.module(), collectType, reinterpret_cast<LONG_PTR>(&types));
  std::sort(types.begin(), types.end());
  EXPECT_EQ(types, (std::vector<ULONG_PTR>{5 /* dialog */, 16 /* version */}));
  EXPECT_EQ(resourcesOfType(RT_DIALOG), (Entries{{panellayout::kTemplateId, panellayout::kLanguage}}));
  EXPECT_EQ(resourcesOfType(RT_VERSION), (Entries{{1, panellayout::kLanguage}}));
}

TEST_F(PluginResources, DialogTemplateIsThePanelLayout) {
  HRSRC resource = FindResourceExA(library_.module(), RT_DIALOG,
                                   MAKEINTRESOURCEA(panellayout::kTemplateId),
                                   panellayout::kLanguage);
  ASSERT_NE(resource, nullptr);
  const auto* bytes = static_cast<const BYTE*>(LockResource(LoadResource(library_.module(), resource)));
  ASSERT_NE(bytes, nullptr);
  TemplateReader reader(bytes);

  ASSERT_NE(reader.word(), 0xFFFF) << "an extended template";
  reader = TemplateReader(bytes);
  EXPECT_EQ(reader.dword(), panellayout::kStyle);
  EXPECT_EQ(reader.dword(), 0u);  // extended style
  const WORD controlCount = reader.word();
  ASSERT_EQ(controlCount, 16);
  EXPECT_EQ(reader.coordinate(), 0);
  EXPECT_EQ(reader.coordinate(), 0);
  EXPECT_EQ(reader.coordinate(), panellayout::kWidth);
  EXPECT_EQ(reader.coordinate(), panellayout::kHeight);
  const auto menu = reader.nameOrOrdinal();
  EXPECT_TRUE(!menu.isOrdinal && menu.name.empty()) << "a menu";
  const auto windowClass = reader.nameOrOrdinal();
  EXPECT_TRUE(!windowClass.isOrdinal && windowClass.name.empty()) << "a private class";
  EXPECT_EQ(reader.text(), "");  // title
  EXPECT_EQ(reader.word(), panellayout::kFontPoints);
  EXPECT_EQ(reader.text(), panellayout::kFontName);

  for (const panellayout::Control& expected : panellayout::kControls) {
    SCOPED_TRACE(expected.text);
    reader.alignToDword();
    EXPECT_EQ(reader.dword(), expected.style);
    EXPECT_EQ(reader.dword(), 0u);
    EXPECT_EQ(reader.coordinate(), expected.x);
    EXPECT_EQ(reader.coordinate(), expected.y);
    EXPECT_EQ(reader.coordinate(), expected.cx);
    EXPECT_EQ(reader.coordinate(), expected.cy);
    EXPECT_EQ(reader.word(), expected.id);
    const auto controlClass = reader.nameOrOrdinal();
    EXPECT_TRUE(controlClass.isOrdinal);
    EXPECT_EQ(controlClass.ordinal, static_cast<WORD>(expected.kind));
    const auto title = reader.nameOrOrdinal();
    EXPECT_FALSE(title.isOrdinal);
    EXPECT_EQ(title.name, expected.text);
    reader.skip(reader.word());  // creation data
  }
}

TEST_F(PluginResources, VersionIs4_0_0_11DescribedAsCompressionCodec) {
  char path[MAX_PATH];
  ASSERT_GT(GetModuleFileNameA(library_.module(), path, MAX_PATH), 0u);
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(path, &ignored);
  ASSERT_GT(size, 0u);
  std::vector<BYTE> info(size);
  ASSERT_TRUE(GetFileVersionInfoA(path, 0, size, info.data()));

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00040000u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0x0000000Bu);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00040000u);
  EXPECT_EQ(fixed->dwProductVersionLS, 0x0000000Bu);
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));

  WORD* translation = nullptr;
  ASSERT_TRUE(VerQueryValueA(info.data(), "\\VarFileInfo\\Translation",
                             reinterpret_cast<void**>(&translation), &length));
  ASSERT_EQ(length, 4u);
  EXPECT_EQ(translation[0], panellayout::kLanguage);
  EXPECT_EQ(translation[1], 1200);  // UTF-16 texts

  char* description = nullptr;
  ASSERT_TRUE(VerQueryValueA(info.data(), "\\StringFileInfo\\080904B0\\FileDescription",
                             reinterpret_cast<void**>(&description), &length));
  EXPECT_STREQ(description, "Compression CODEC");
}

}  // namespace
