// The real parameter dialog, opened by the real plug-in inside our host and
// driven as a user would: typing, pasting, clicking, dragging, Enter, Esc and
// the close box.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "host/globals.h"
#include "tests/wine/dialog_driver.h"
#include "tests/wine/plugin_fixture.h"

namespace {

class ParameterDialog : public PluginFixture {
 protected:
  // One run with the dialog: Parameters, Prepare, Start (the dialog shows and
  // `script` acts on it), Continue, Finish.
  HostRunReport RunWithDialog(const DialogScript& script, const FilterParameters* start = nullptr) {
    current = script;
    if (session == nullptr) {
      HostOptions options;
      DriveDialogs(&options, &current);
      Open(options);
    } else {
      DriveDialogs(&session->options, &current);
    }
    // The plug-in remembers confirmed values within a process; each test
    // starts from its own.
    const FilterParameters defaults = {drawNormal, 0};
    if (start == nullptr && session->parameters == nullptr) start = &defaults;
    if (start != nullptr) {
      EXPECT_TRUE(SetParameters(session, start, sizeof *start));
    }
    MakeImage(&image, 40, 30, 3, false, 8);
    FillGradient(&image);
    before = image.pixels;
    HostRunOptions run;
    run.showDialog = true;
    return RunFilter(session, &image, run);
  }

  // The parameters as the plug-in holds them now (also from inside a script).
  FilterParameters Stored() const {
    std::vector<uint8_t> bytes;
    FilterParameters values = {-99, 0};
    if (ReadParameters(session, &bytes) && bytes.size() >= sizeof values) std::memcpy(&values, bytes.data(), sizeof values);
    return values;
  }

  DialogScript current;
  std::vector<uint8_t> before;
};

const FilterParameters kSpiral300 = {drawSpiral, 300};

TEST_F(ParameterDialog, OkKeepsTheChosenLayoutAndShift) {
  HostRunReport report = RunWithDialog([](HWND dialog) {
    Click(dialog, kSpiralButton);
    TypeInto(dialog, kShiftEdit, "300");  // after the "0" shown: 0300
    Click(dialog, IDOK);
  });
  EXPECT_EQ(report.result, noErr);
  EXPECT_EQ(Stored().draw, drawSpiral);
  EXPECT_EQ(Stored().shft, 300);
  EXPECT_NE(image.pixels, before);
  ASSERT_GE(report.calls.size(), 4u);
  EXPECT_EQ(report.calls[3].selector, filterSelectorContinue);
}

TEST_F(ParameterDialog, OpensWithTheStoredValues) {
  int slider = -1;
  std::string text;
  bool caretAtEnd = false, spiral = false, normal = true;
  HostRunReport report = RunWithDialog(
      [&](HWND dialog) {
        slider = SliderPosition(dialog);
        text = TextOf(dialog, kShiftEdit);
        caretAtEnd = CaretAtEnd(dialog, kShiftEdit);
        spiral = IsChecked(dialog, kSpiralButton);
        normal = IsChecked(dialog, kNormalButton);
        Click(dialog, IDCANCEL);
      },
      &kSpiral300);
  EXPECT_EQ(slider, 300);
  EXPECT_EQ(text, "300");
  EXPECT_TRUE(caretAtEnd);
  EXPECT_TRUE(spiral);
  EXPECT_FALSE(normal);
  EXPECT_EQ(report.result, userCanceledErr);
  EXPECT_EQ(image.pixels, before);
}

TEST_F(ParameterDialog, AnUnknownLayoutOpensAsNormal) {
  for (int16_t draw : {int16_t(7), int16_t(-1)}) {
    SCOPED_TRACE(draw);
    const FilterParameters start = {draw, 5};
    bool normal = false;
    HostRunReport report = RunWithDialog(
        [&](HWND dialog) {
          normal = IsChecked(dialog, kNormalButton) && !IsChecked(dialog, kSpiralButton);
          Click(dialog, IDOK);
        },
        &start);
    EXPECT_TRUE(normal);
    EXPECT_EQ(report.result, noErr);
    EXPECT_EQ(Stored().draw, drawNormal);
    EXPECT_EQ(Stored().shft, 5);
  }
}

// What the dialog shows and holds after one step of a script.
struct Seen {
  uint16_t shft;
  int slider;
  std::string text;
  bool caretAtEnd;
};

TEST_F(ParameterDialog, TheEditBoxReadsNumbersAsTheUserTypesAndPastes) {
  std::vector<Seen> seen;
  auto note = [&](HWND dialog) {
    seen.push_back({Stored().shft, SliderPosition(dialog), TextOf(dialog, kShiftEdit), CaretAtEnd(dialog, kShiftEdit)});
  };
  HostRunReport report = RunWithDialog([&](HWND dialog) {
    PasteInto(dialog, kShiftEdit, "70000");      // 0: wraps to 4464
    note(dialog);
    PasteInto(dialog, kShiftEdit, "-5");         // 1: 65531
    note(dialog);
    PasteInto(dialog, kShiftEdit, "12abc");      // 2: 12, letters dropped
    note(dialog);
    PasteInto(dialog, kShiftEdit, "123456789");  // 3: seven characters read: 1234567 -> 54919
    note(dialog);
    PasteInto(dialog, kShiftEdit, "");           // 4: empty: nothing yet
    note(dialog);
    TypeInto(dialog, kShiftEdit, "-");           // 5: a lone minus: nothing yet
    note(dialog);
    Focus(dialog, IDOK);                         // 6: leaving the box: 0
    note(dialog);
    PasteInto(dialog, kShiftEdit, "300");        // 7
    note(dialog);
    TypeInto(dialog, kShiftEdit, "xy");          // 8: letters after the number stay while typing
    note(dialog);
    PasteInto(dialog, kShiftEdit, "0300");       // 9: the same number: untouched
    note(dialog);
    Focus(dialog, IDOK);                         // 10: rewritten on leaving
    note(dialog);
    Click(dialog, IDOK);
  });
  ASSERT_EQ(seen.size(), 11u);
  const Seen expected[] = {
      {4464, 4464, "4464", true}, {65531, 65531, "65531", true}, {12, 12, "12", true},
      {54919, 54919, "54919", true}, {54919, 54919, "", true}, {54919, 54919, "-", true},
      {0, 0, "0", true}, {300, 300, "300", true}, {300, 300, "300xy", true},
      {300, 300, "0300", true}, {300, 300, "300", true}};
  for (size_t i = 0; i < seen.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(seen[i].shft, expected[i].shft);
    EXPECT_EQ(seen[i].slider, expected[i].slider);
    EXPECT_EQ(seen[i].text, expected[i].text);
    if (i != 4 && i != 5 && i != 8 && i != 9) {
      EXPECT_TRUE(seen[i].caretAtEnd);
    }
  }
  EXPECT_EQ(report.result, noErr);
  EXPECT_EQ(Stored().shft, 300);
}

TEST_F(ParameterDialog, TheSliderFollowsADragAndTheKeyboard) {
  std::vector<Seen> seen;
  HostRunReport report = RunWithDialog([&](HWND dialog) {
    RECT channel;
    SendDlgItemMessageA(dialog, kShiftSlider, TBM_GETCHANNELRECT, 0, reinterpret_cast<LPARAM>(&channel));
    DragSlider(dialog, kShiftSlider, (channel.left + channel.right) / 2);
    seen.push_back({Stored().shft, SliderPosition(dialog), TextOf(dialog, kShiftEdit), CaretAtEnd(dialog, kShiftEdit)});
    SendDlgItemMessageA(dialog, kShiftSlider, WM_KEYDOWN, VK_END, 1);
    seen.push_back({Stored().shft, SliderPosition(dialog), TextOf(dialog, kShiftEdit), CaretAtEnd(dialog, kShiftEdit)});
    SendDlgItemMessageA(dialog, kShiftSlider, WM_KEYDOWN, VK_LEFT, 1);
    seen.push_back({Stored().shft, SliderPosition(dialog), TextOf(dialog, kShiftEdit), CaretAtEnd(dialog, kShiftEdit)});
    Click(dialog, IDOK);
  });
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_GT(seen[0].slider, 20000);  // about the middle of 0..65535
  EXPECT_LT(seen[0].slider, 45000);
  for (const Seen& step : seen) {
    EXPECT_EQ(step.shft, step.slider);
    EXPECT_EQ(step.text, std::to_string(step.slider));
  }
  EXPECT_EQ(seen[1].slider, 65535);
  EXPECT_EQ(seen[2].slider, 65534);
  EXPECT_EQ(report.result, noErr);
  EXPECT_EQ(Stored().shft, 65534);
}

TEST_F(ParameterDialog, CancelEscAndTheCloseBoxRestoreTheValuesAtOpening) {
  enum Way { CancelButton, EscInTheEditBox, CloseBox };
  for (Way way : {CancelButton, EscInTheEditBox, CloseBox}) {
    SCOPED_TRACE(way);
    HostRunReport report = RunWithDialog(
        [way](HWND dialog) {
          Click(dialog, kNormalButton);
          DragSlider(dialog, kShiftSlider, 5);
          TypeInto(dialog, kShiftEdit, "77");  // focus stays in the box, showing a changed value
          if (way == CancelButton) Click(dialog, IDCANCEL);
          if (way == EscInTheEditBox) PressKey(dialog, VK_ESCAPE);
          if (way == CloseBox) PressClose(dialog);
        },
        &kSpiral300);
    EXPECT_EQ(report.result, userCanceledErr);
    EXPECT_EQ(Stored().draw, drawSpiral);
    EXPECT_EQ(Stored().shft, 300);
    EXPECT_EQ(image.pixels, before);
    EXPECT_EQ(report.calls.back().selector, filterSelectorStart);  // no Continue, no Finish
    TearDown();
  }
}

TEST_F(ParameterDialog, EnterInTheEditBoxConfirmsWhatItShows) {
  HostRunReport report = RunWithDialog([](HWND dialog) {
    TypeInto(dialog, kShiftEdit, "12abc");
    PressKey(dialog, VK_RETURN);
  });
  EXPECT_EQ(report.result, noErr);
  EXPECT_EQ(Stored().shft, 12);  // "0" then "12abc" typed: 12
}

TEST_F(ParameterDialog, OkOrCancelWithANotificationCodeIsIgnored) {
  HostRunReport report = RunWithDialog(
      [](HWND dialog) {
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, 1), 0);
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, 1), 0);
        PasteInto(dialog, kShiftEdit, "9");
        Click(dialog, IDCANCEL);
      },
      &kSpiral300);
  EXPECT_EQ(report.result, userCanceledErr);  // the OK above did not end it
  EXPECT_EQ(Stored().shft, 300);
}

TEST_F(ParameterDialog, TitleAndLabelsReadAsTheirCodePage932Bytes) {
  std::string title;
  std::vector<std::string> ansi;
  std::vector<std::wstring> wide;
  RunWithDialog([&](HWND dialog) {
    char text[64] = {0};
    GetWindowTextA(dialog, text, sizeof text);
    title = text;
    const int ids[] = {kShiftLabel, kLayoutLabel, kNormalButton, kSpiralButton, IDOK, IDCANCEL, 1009, 1002, 1003, 1008,
                       kShiftSlider};
    for (int id : ids) {
      ansi.push_back(TextOf(dialog, id));
      wide.push_back(WideTextOf(dialog, id));
    }
    Click(dialog, IDCANCEL);
  });
  EXPECT_EQ(title, "Vardelkist 1.0.0");
  RecordProperty("ansi_code_page", static_cast<int>(GetACP()));
  // The labels set at start, then the template's own texts.
  const std::wstring expectedWide[] = {L"シフト", L"描画", L"普通", L"うずまき", L"OK", L"ｷｬﾝｾﾙ",
                                       L"オプション", L"+", L"-", L"100%", L"Slider1"};
  const std::string expectedBytes[] = {"\x83\x56\x83\x74\x83\x67", "\x95\x60\x89\xE6", "\x95\x81\x92\xCA",
                                       "\x82\xA4\x82\xB8\x82\xDC\x82\xAB", "OK", "\xB7\xAC\xDD\xBE\xD9",
                                       "\x83\x49\x83\x76\x83\x56\x83\x87\x83\x93", "+", "-", "100%", "Slider1"};
  ASSERT_EQ(wide.size(), 11u);
  for (int i = 0; i < 11; ++i) {
    EXPECT_EQ(wide[i], expectedWide[i]) << i;
    // The ANSI calls give the exact bytes where the system code page is 932.
    if (GetACP() == 932) {
      EXPECT_EQ(ansi[i], expectedBytes[i]) << i;
    }
  }
}

TEST_F(ParameterDialog, ARepeatedRunReopensWithTheLastValues) {
  RunWithDialog([](HWND dialog) {
    Click(dialog, kSpiralButton);
    PasteInto(dialog, kShiftEdit, "300");
    Click(dialog, IDOK);
  });
  int slider = -1;
  bool spiral = false;
  HostRunReport report = RunWithDialog([&](HWND dialog) {
    slider = SliderPosition(dialog);
    spiral = IsChecked(dialog, kSpiralButton);
    Click(dialog, IDOK);
  });
  EXPECT_EQ(report.result, noErr);
  EXPECT_EQ(slider, 300);
  EXPECT_TRUE(spiral);
}

TEST_F(ParameterDialog, TheDialogSitsOverTheHostWindow) {
  RECT dialogRect = {}, client = {};
  HWND owner = nullptr;
  RunWithDialog([&](HWND dialog) {
    owner = GetParent(dialog);
    GetWindowRect(dialog, &dialogRect);
    GetClientRect(owner, &client);
    MapWindowPoints(owner, nullptr, reinterpret_cast<POINT*>(&client), 2);
    Click(dialog, IDCANCEL);
  });
  ASSERT_NE(owner, nullptr);
  const int width = dialogRect.right - dialogRect.left;
  const int height = dialogRect.bottom - dialogRect.top;
  int x = client.left + (client.right - client.left - width > 0 ? (client.right - client.left - width) / 2 : 0) -
          GetSystemMetrics(SM_CXSIZE);
  if (x + width > GetSystemMetrics(SM_CXSCREEN)) x = std::max(GetSystemMetrics(SM_CXSCREEN) - width, 0);
  int y = client.top + (client.bottom - client.top - height > 0 ? (client.bottom - client.top - height) / 3 : 0);
  if (y + height > GetSystemMetrics(SM_CYSCREEN)) y = std::max(GetSystemMetrics(SM_CYSCREEN) - height, 0);
  EXPECT_EQ(dialogRect.left, x);
  EXPECT_EQ(dialogRect.top, y);
}

// When even registering the common controls leaves the trackbar class
// missing (wine's InitCommonControlsEx registers nothing once it has been
// taken away) the dialog cannot be shown; the run must stop without touching
// the image.
TEST_F(ParameterDialog, WithoutTheTrackbarClassTheRunStops) {
  Open();
  WNDCLASSEXA trackbar = {};
  trackbar.cbSize = sizeof trackbar;
  ASSERT_TRUE(GetClassInfoExA(nullptr, TRACKBAR_CLASSA, &trackbar));
  ASSERT_TRUE(UnregisterClassA(TRACKBAR_CLASSA, trackbar.hInstance));
  MakeImage(&image, 40, 30, 3, false, 8);
  FillGradient(&image);
  before = image.pixels;
  HostRunOptions run;
  run.showDialog = true;
  HostRunReport report = RunFilter(session, &image, run);
  trackbar.lpszClassName = TRACKBAR_CLASSA;
  ASSERT_NE(RegisterClassExA(&trackbar), 0);  // back for the other tests
  EXPECT_EQ(report.result, -30900);
  EXPECT_EQ(image.pixels, before);
  EXPECT_EQ(report.calls.back().selector, filterSelectorStart);
  EXPECT_TRUE(report.advances.empty()) << "the whole image was never asked for";
}

// A host library that registers no common controls, passes no window and
// offers no scripting: the plug-in registers the bar classes itself, and the
// dialog works as anywhere else.
TEST_F(ParameterDialog, ABareHostShowsTheDialog) {
  HostOptions options;
  ASSERT_TRUE(ApplyHostProfile("bare", &options));
  Open(options);
  WNDCLASSEXA trackbar = {};
  trackbar.cbSize = sizeof trackbar;
  ASSERT_FALSE(GetClassInfoExA(nullptr, TRACKBAR_CLASSA, &trackbar)) << "the host left the class registered";
  HostRunReport report = RunWithDialog([](HWND dialog) {
    Click(dialog, kSpiralButton);
    PasteInto(dialog, kShiftEdit, "300");
    Click(dialog, IDOK);
  });
  EXPECT_EQ(report.result, noErr) << ResultName(report.result);
  EXPECT_EQ(Stored().draw, drawSpiral);
  EXPECT_EQ(Stored().shft, 300);
  EXPECT_NE(image.pixels, before);
}

}  // namespace
