// The dialog templates and the warning text, read back from the built
// module and taken apart field by field, and the about box and the warning
// box as a user meets them.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/wine/dialog_driver.h"
#include "tests/wine/plugin_fixture.h"
#include "tests/wine/test_support.h"

namespace {

const WORD japanese = MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT);

std::vector<uint8_t> DialogResource(int id) {
  std::vector<uint8_t> bytes;
  HMODULE module = LoadLibraryExA(PluginPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (module == nullptr) return bytes;
  HRSRC info = FindResourceExA(module, MAKEINTRESOURCEA(5), MAKEINTRESOURCEA(id), japanese);
  HGLOBAL loaded = info != nullptr ? LoadResource(module, info) : nullptr;
  const uint8_t* data = loaded != nullptr ? static_cast<const uint8_t*>(LockResource(loaded)) : nullptr;
  if (data != nullptr) bytes.assign(data, data + SizeofResource(module, info));
  FreeLibrary(module);
  return bytes;
}

// A reader over a template that fails the test instead of reading past it.
struct Reader {
  const std::vector<uint8_t>& bytes;
  size_t at = 0;
  bool overrun = false;
  uint32_t Word() { return Take(2); }
  uint32_t Dword() { return Take(4); }
  uint32_t Take(int size) {
    if (at + size > bytes.size()) {
      overrun = true;
      return 0;
    }
    uint32_t value = 0;
    for (int i = 0; i < size; ++i) value |= uint32_t(bytes[at + i]) << (8 * i);
    at += size;
    return value;
  }
  // A name or ordinal: "#n" for an ordinal, the UTF-16 text otherwise.
  std::wstring Name() {
    const uint32_t first = Word();
    if (first == 0xFFFF) return L"#" + std::to_wstring(Word());
    std::wstring text;
    for (uint32_t c = first; c != 0 && !overrun; c = Word()) text += wchar_t(c);
    return text;
  }
  void Align() { at = (at + 3) & ~size_t(3); }
};

struct Item {
  uint32_t style, exStyle;
  int x, y, cx, cy, id;
  std::wstring className, text;
};

const std::vector<Item> kParameterDialogItems = {
    {0x50010001, 0, 86, 7, 50, 14, 1, L"#128", L"OK"},
    {0x50010000, 0, 86, 24, 50, 14, 2, L"#128", L"ｷｬﾝｾﾙ"},
    {0x48000107, 0, 7, 7, 18, 20, 1007, L"#130", L""},
    {0x50000007, 0, 7, 44, 129, 64, 1009, L"#128", L"オプション"},
    {0x48010000, 0, 28, 10, 13, 15, 1002, L"#128", L"+"},
    {0x48010000, 0, 70, 10, 13, 15, 1003, L"#128", L"-"},
    {0x48020201, 0, 44, 10, 24, 15, 1008, L"#130", L"100%"},
    {0x50020000, 0, 15, 80, 25, 8, 1010, L"#130", L"Shift"},
    {0x50810080, 0, 95, 77, 33, 12, 1011, L"#129", L""},
    {0x50000010, 0, 11, 89, 120, 15, 1012, L"msctls_trackbar32", L"Slider1"},
    {0x50000009, 0, 90, 59, 39, 10, 1016, L"#128", L"うずまき"},
    {0x50000009, 0, 50, 59, 30, 10, 1017, L"#128", L"普通"},
    {0x50020000, 0, 15, 60, 25, 8, 1018, L"#130", L"描画"},
};

void ExpectItem(const Item& seen, const Item& expected) {
  SCOPED_TRACE(expected.id);
  EXPECT_EQ(seen.style, expected.style);
  EXPECT_EQ(seen.exStyle, expected.exStyle);
  EXPECT_EQ(seen.x, expected.x);
  EXPECT_EQ(seen.y, expected.y);
  EXPECT_EQ(seen.cx, expected.cx);
  EXPECT_EQ(seen.cy, expected.cy);
  EXPECT_EQ(seen.id, expected.id);
  EXPECT_TRUE(seen.className == expected.className);
  EXPECT_TRUE(seen.text == expected.text);
}

TEST(DialogResources, ParameterDialogIsAPlainTemplateOfThirteenControls) {
  const std::vector<uint8_t> bytes = DialogResource(102);
  ASSERT_FALSE(bytes.empty());
  Reader read{bytes};
  EXPECT_EQ(read.Dword(), 0x80C800C0u);  // style
  EXPECT_EQ(read.Dword(), 0u);           // extended style
  const uint32_t count = read.Word();
  ASSERT_EQ(count, 13u);
  EXPECT_EQ(read.Word(), 0u);  // x
  EXPECT_EQ(read.Word(), 0u);  // y
  EXPECT_EQ(read.Word(), 143u);
  EXPECT_EQ(read.Word(), 115u);
  EXPECT_TRUE(read.Name().empty());  // menu
  EXPECT_TRUE(read.Name().empty());  // class
  EXPECT_TRUE(read.Name() == L"ﾀﾞｲｱﾛｸﾞ");
  EXPECT_EQ(read.Word(), 9u);
  EXPECT_TRUE(read.Name() == L"ＭＳ Ｐゴシック");
  for (const Item& expected : kParameterDialogItems) {
    read.Align();
    Item seen;
    seen.style = read.Dword();
    seen.exStyle = read.Dword();
    seen.x = read.Word();
    seen.y = read.Word();
    seen.cx = read.Word();
    seen.cy = read.Word();
    seen.id = read.Word();
    seen.className = read.Name();
    seen.text = read.Name();
    EXPECT_EQ(read.Word(), 0u);  // no creation data
    ExpectItem(seen, expected);
  }
  EXPECT_FALSE(read.overrun);
  EXPECT_EQ(read.at, bytes.size());
}

TEST(DialogResources, AboutBoxIsAnExtendedTemplateWithOneStatic) {
  const std::vector<uint8_t> bytes = DialogResource(101);
  ASSERT_FALSE(bytes.empty());
  Reader read{bytes};
  EXPECT_EQ(read.Word(), 1u);
  EXPECT_EQ(read.Word(), 0xFFFFu);
  EXPECT_EQ(read.Dword(), 0u);  // help id
  EXPECT_EQ(read.Dword(), 0u);  // extended style
  EXPECT_EQ(read.Dword(), 0x800000C0u);
  EXPECT_EQ(read.Word(), 1u);
  EXPECT_EQ(read.Word(), 0u);
  EXPECT_EQ(read.Word(), 0u);
  EXPECT_EQ(read.Word(), 162u);
  EXPECT_EQ(read.Word(), 100u);
  EXPECT_TRUE(read.Name().empty());  // menu
  EXPECT_TRUE(read.Name().empty());  // class
  EXPECT_TRUE(read.Name().empty());  // title
  EXPECT_EQ(read.Word(), 9u);        // points
  EXPECT_EQ(read.Word(), 0u);        // weight
  EXPECT_EQ(read.Take(1), 0u);       // italic
  EXPECT_EQ(read.Take(1), 1u);       // DEFAULT_CHARSET
  EXPECT_TRUE(read.Name() == L"ＭＳ Ｐゴシック");
  read.Align();
  EXPECT_EQ(read.Dword(), 0u);            // help id
  EXPECT_EQ(read.Dword(), 0x10u);         // WS_EX_ACCEPTFILES
  EXPECT_EQ(read.Dword(), 0x50020001u);   // no SS_NOTIFY: clicks reach the box
  EXPECT_EQ(read.Word(), 7u);
  EXPECT_EQ(read.Word(), 7u);
  EXPECT_EQ(read.Word(), 148u);
  EXPECT_EQ(read.Word(), 86u);
  EXPECT_EQ(read.Dword(), 1001u);
  EXPECT_TRUE(read.Name() == L"#130");
  EXPECT_TRUE(read.Name().empty());
  EXPECT_EQ(read.Word(), 0u);
  EXPECT_FALSE(read.overrun);
  EXPECT_EQ(read.at, bytes.size());
}

TEST(DialogResources, TheWarningTextNamesTheVersionPlaceholder) {
  HMODULE module = LoadLibraryExA(PluginPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(module, nullptr);
  char text[256] = {0};
  const int length = LoadStringA(module, 16992, text, sizeof text);
  FreeLibrary(module);
  ASSERT_GT(length, 0);
  EXPECT_LT(length, 250);  // room for the version in a 254-character text
  EXPECT_NE(std::string(text).find("^1"), std::string::npos);
  EXPECT_NE(std::string(text).find("advanceState"), std::string::npos);
}

class DialogBoxes : public PluginFixture {};

struct AboutSeen {
  std::string text;
  bool openAfterKeys = false;
};
AboutSeen* aboutSeen = nullptr;

// Some time after Enter and Esc: is the box still there? Then a click into
// its margin.
void CALLBACK CheckThenClick(HWND box, UINT, UINT_PTR timer, DWORD) {
  KillTimer(box, timer);
  aboutSeen->openAfterKeys = IsWindowVisible(box) != FALSE;
  RECT client;
  GetClientRect(box, &client);
  PostMessageA(box, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(client.right - 3, client.bottom - 3));
}

TEST_F(DialogBoxes, AboutBoxShowsSevenLinesAndClosesOnlyOnAClick) {
  AboutSeen seen;
  aboutSeen = &seen;
  DialogScript script = [](HWND box) {
    aboutSeen->text = TextOf(box, 1001);
    // Enter and Esc reach the box as the dialog manager's IDOK and IDCANCEL.
    PressKey(box, VK_RETURN);
    PressKey(box, VK_ESCAPE);
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    PostMessageA(box, WM_COMMAND, IDCANCEL, 0);
    SetTimer(box, 1, 300, CheckThenClick);
  };
  HostOptions options;
  DriveDialogs(&options, &script);
  Open(options);
  EXPECT_EQ(ShowAbout(session), noErr);
  EXPECT_EQ(seen.text, "Vardelkist\n\n1.0.0\n\nCopyright (C) 2026 FalmetPlug\n\nPlot Prime Number");
  EXPECT_TRUE(seen.openAfterKeys);
  EXPECT_EQ(session->data, 0);
}

TEST_F(DialogBoxes, AHostWithoutAdvanceStateGetsTheWarningWithTheVersion) {
  std::string text;
  static std::string* seenText = nullptr;
  seenText = &text;
  DialogScript script = [](HWND box) {
    // A message box's text is its static control 0xFFFF.
    *seenText = TextOf(box, 0xFFFF);
    PostMessageA(box, WM_COMMAND, IDOK, 0);
  };
  HostOptions options;
  options.noAdvanceState = true;
  DriveDialogs(&options, &script);
  Open(options);
  MakeImage(&image, 20, 10, 3, false, 8);
  HostRunOptions run;
  run.showDialog = true;
  HostRunReport report = RunFilter(session, &image, run);
  EXPECT_EQ(report.result, userCanceledErr);
  EXPECT_NE(text.find("version 3.0 or later"), std::string::npos) << text;
  EXPECT_EQ(text.find('^'), std::string::npos) << text;
}

}  // namespace
