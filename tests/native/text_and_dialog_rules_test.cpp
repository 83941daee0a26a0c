// The warning text's routines and the dialogs' rules that need no window.
#include <gtest/gtest.h>

#include <climits>
#include <sstream>
#include <string>

#include "host/capability_alert.h"
#include "host/counted_string.h"
#include "host/native_windows.h"
#include "ui/dialog_requests.h"
#include "ui/dialog_rules.h"

namespace {

CountedString Counted(const std::string& text) {
  CountedString counted;
  EmptyCounted(&counted);
  AppendCounted(&counted, text.data(), 0, static_cast<int>(text.size()));
  return counted;
}

std::string Text(const CountedString& counted) { return std::string(CountedText(counted), CountedLength(counted)); }

std::string Decimal(double value, int decimals) {
  CountedString out;
  FormatDecimal(&out, value, decimals);
  return Text(out);
}

std::string Substituted(const std::string& text, const CountedString* s0, const CountedString* s1,
                        const CountedString* s2) {
  CountedString counted = Counted(text);
  SubstitutePlaceholders(&counted, s0, s1, s2);
  EXPECT_EQ(counted.bytes[1 + CountedLength(counted)], 0) << "NUL after the text";
  return Text(counted);
}

TEST(CountedString, DecimalsRoundAndDropOneTrailingZero) {
  EXPECT_EQ(Decimal(3.0, 1), "3.0");
  EXPECT_EQ(Decimal(1.96, 1), "2.0");
  EXPECT_EQ(Decimal(12.0, 2), "12.0");
  EXPECT_EQ(Decimal(1.25, 2), "1.25");
  EXPECT_EQ(Decimal(-2.5, 1), "-2.5");
  EXPECT_EQ(Decimal(7.0, 0), "7.0");  // at least one digit after the stop
  // Outside the formatter's range the text is still well formed.
  for (double wild : {1e300, -1e300, 0.0 / 0.0}) {
    const std::string text = Decimal(wild, 3);
    EXPECT_NE(text.find('.'), std::string::npos) << text;
    EXPECT_LT(text.size(), 20u) << text;
  }
}

TEST(CountedString, IntegersAcrossTheWholeRange) {
  CountedString out;
  FormatInteger(0, &out);
  EXPECT_EQ(Text(out), "0");
  FormatInteger(-1715, &out);
  EXPECT_EQ(Text(out), "-1715");
  FormatInteger(INT_MIN, &out);
  EXPECT_EQ(Text(out), "-2147483648");
  FormatInteger(INT_MAX, &out);
  EXPECT_EQ(Text(out), "2147483647");
}

TEST(CountedString, AppendingStopsAt254CharactersWithANul) {
  CountedString text = Counted(std::string(200, 'a'));
  const std::string more(100, 'b');
  AppendCounted(&text, more.data(), 0, 100);
  EXPECT_EQ(CountedLength(text), 254);
  EXPECT_EQ(text.bytes[255], 0);
  AppendCounted(&text, "c", 0, 1);
  EXPECT_EQ(CountedLength(text), 254);
  CountedString empty = Counted("");
  AppendCounted(&empty, "xyz", 1, 2);
  EXPECT_EQ(Text(empty), "yz");
  AppendCounted(&empty, "xyz", 0, -3);
  EXPECT_EQ(Text(empty), "yz");
}

TEST(CountedString, PlaceholdersTakeTheirSubstitutes) {
  const CountedString version = Counted("3.0");
  EXPECT_EQ(Substituted("x^1y", nullptr, &version, nullptr), "x3.0y");
  EXPECT_EQ(Substituted("x^3y", nullptr, &version, nullptr), "x^3y");
  EXPECT_EQ(Substituted("a^0b^2c", nullptr, &version, nullptr), "abc");  // missing ones vanish
  EXPECT_EQ(Substituted("^^1", nullptr, &version, nullptr), "^3.0");
  EXPECT_EQ(Substituted("^1^1", nullptr, &version, nullptr), "3.03.0");
  EXPECT_EQ(Substituted("end^", nullptr, &version, nullptr), "end^");
}

TEST(CountedString, SubstitutedTextIsScannedLikeTheRest) {
  const CountedString nested = Counted("<^2>");
  const CountedString inner = Counted("!");
  EXPECT_EQ(Substituted("a^1b", nullptr, &nested, &inner), "a<!>b");
  // The character that takes the caret's place is not looked at again.
  const CountedString caret = Counted("^");
  EXPECT_EQ(Substituted("^11", nullptr, &caret, nullptr), "^1");
  // A long substitute is cut at the length limit.
  const CountedString longText = Counted(std::string(250, 'z'));
  const std::string result = Substituted("0123456789^1tail", nullptr, &longText, nullptr);
  EXPECT_EQ(result.size(), 254u);
  EXPECT_EQ(result.substr(0, 10), "0123456789");
}

TEST(CapabilityAlert, WarnsWithTheVersionAndRefusesOnlyWithoutAdvanceState) {
  nativeAlerts = NativeAlertLog();
  EXPECT_TRUE(CheckAdvanceState([]() PI_CALL -> OSErr { return noErr; }, nullptr));
  EXPECT_EQ(nativeAlerts.count, 0);
  EXPECT_FALSE(CheckAdvanceState(nullptr, nullptr));
  EXPECT_EQ(nativeAlerts.count, 1);
  EXPECT_EQ(nativeAlerts.stringId, kAdvanceStateAlertString);
  CountedString text;
  BuildAlertText("needs version ^1 or later", nullptr, nullptr, &text);
  EXPECT_EQ(Text(text), "needs version  or later");
  const CountedString version = Counted("3.0");
  BuildAlertText("needs version ^1 or later", &version, nullptr, &text);
  EXPECT_EQ(Text(text), "needs version 3.0 or later");
}

uint16_t Edit(ShiftEditEvent event, const char* text, uint16_t current, bool* applied) {
  uint16_t value = 0xBEEF;
  *applied = ShiftFromEdit(event, text, static_cast<int>(std::string(text).size()), current, &value);
  return *applied ? value : current;
}

TEST(ShiftEdit, TypedNumbersWrapAt16Bits) {
  bool applied = false;
  EXPECT_EQ(Edit(ShiftEditEvent::Changed, "70000", 0, &applied), 4464);
  EXPECT_EQ(Edit(ShiftEditEvent::Changed, "-5", 0, &applied), 65531);
  EXPECT_EQ(Edit(ShiftEditEvent::Changed, "-1", 0, &applied), 65535);
  EXPECT_EQ(Edit(ShiftEditEvent::Changed, "65536", 7, &applied), 0);
  EXPECT_EQ(Edit(ShiftEditEvent::Changed, "12abc", 0, &applied), 12);
  EXPECT_EQ(Edit(ShiftEditEvent::Changed, "1234567", 0, &applied), 54919);  // 123456789 pasted, 7 read
  EXPECT_EQ(Edit(ShiftEditEvent::Changed, " +42", 0, &applied), 42);
}

TEST(ShiftEdit, WhileTypingEmptyMinusAndTheSameNumberChangeNothing) {
  bool applied = true;
  Edit(ShiftEditEvent::Changed, "", 300, &applied);
  EXPECT_FALSE(applied);
  Edit(ShiftEditEvent::Changed, "-", 300, &applied);
  EXPECT_FALSE(applied);
  Edit(ShiftEditEvent::Changed, "0300", 300, &applied);
  EXPECT_FALSE(applied);
  Edit(ShiftEditEvent::Changed, "300x", 300, &applied);
  EXPECT_FALSE(applied);
  // 65836 is 300 modulo 65536 but not the same number: it is applied.
  EXPECT_EQ(Edit(ShiftEditEvent::Changed, "65836", 300, &applied), 300);
  EXPECT_TRUE(applied);
}

TEST(ShiftEdit, LeavingTheBoxAlwaysApplies) {
  bool applied = false;
  EXPECT_EQ(Edit(ShiftEditEvent::LostFocus, "", 300, &applied), 0);
  EXPECT_TRUE(applied);
  EXPECT_EQ(Edit(ShiftEditEvent::LostFocus, "-", 300, &applied), 0);
  EXPECT_EQ(Edit(ShiftEditEvent::LostFocus, "0300", 300, &applied), 300);
  EXPECT_TRUE(applied);
  EXPECT_EQ(ParseShiftText("abc"), 0);
  EXPECT_EQ(ParseShiftText("99999999999999999999"), INT32_MAX);
}

TEST(RadioGroup, OutOfRangeIndexesSelectTheFirst) {
  EXPECT_EQ(RadioGroupSelection(1, 2), 1);
  EXPECT_EQ(RadioGroupSelection(0, 2), 0);
  EXPECT_EQ(RadioGroupSelection(7, 2), 0);
  EXPECT_EQ(RadioGroupSelection(-1, 2), 0);
  EXPECT_EQ(RadioGroupSelection(0, 0), -1);
}

namespace {

// Plays a script of requests through the dialog's rules: "[" and "]" start
// and end a composition, the others are requests ("close:N" and
// "refresh:N" carry their wParam). Returns what each request and each end
// of a composition came to: "-" nothing, "wait" put off (an abort request
// posted), "held" put off beside one of its kind, or the action taken.
std::string PlayRequests(const std::string& script, DialogFlow* flow) {
  ResetDialogFlow(flow);
  flow->initialised = true;
  std::istringstream tokens(script);
  std::string token, log;
  bool composing = false;
  auto note = [&log](const DialogAction& action) {
    static const char* const names[] = {"-", "wait", "held", "refresh:", "ok", "cancel:"};
    std::string text = names[static_cast<int>(action.step)];
    if (action.step == DialogStep::Refresh || action.step == DialogStep::EndCancel)
      text += std::to_string(action.value);
    log += (log.empty() ? "" : " ") + text;
  };
  while (tokens >> token) {
    if (token == "[") {
      composing = true;
      continue;
    }
    if (token == "]") {
      composing = false;
      DialogAction action;
      while (NextWaitingRequest(flow, &action)) note(action);
      continue;
    }
    const size_t colon = token.find(':');
    const std::string name = token.substr(0, colon);
    const uintptr_t value = colon == std::string::npos ? 0 : std::stoul(token.substr(colon + 1), nullptr, 0);
    const DialogRequest request = name == "ok"       ? DialogRequest::Ok
                                  : name == "cancel" ? DialogRequest::Cancel
                                  : name == "close"  ? DialogRequest::Close
                                                     : DialogRequest::Refresh;
    note(DecideRequest(flow, request, value, composing));
  }
  return log;
}

}  // namespace

// Every order of the four requests, all during one composition and all
// after it, then the mixed cases.
TEST(DialogRequests, EveryOrderDuringAndAfterAComposition) {
  const struct {
    const char* script;
    const char* outcome;
  } cases[] = {
      {"[ ok cancel close:7 refresh:1 ]", "wait held held wait ok"},
      {"[ ok cancel refresh:1 close:7 ]", "wait held wait held ok"},
      {"[ ok close:7 cancel refresh:1 ]", "wait held held wait ok"},
      {"[ ok close:7 refresh:1 cancel ]", "wait held wait held ok"},
      {"[ ok refresh:1 cancel close:7 ]", "wait wait held held ok"},
      {"[ ok refresh:1 close:7 cancel ]", "wait wait held held ok"},
      {"[ cancel ok close:7 refresh:1 ]", "wait held held wait cancel:2"},
      {"[ cancel ok refresh:1 close:7 ]", "wait held wait held cancel:2"},
      {"[ cancel close:7 ok refresh:1 ]", "wait held held wait cancel:2"},
      {"[ cancel close:7 refresh:1 ok ]", "wait held wait held cancel:2"},
      {"[ cancel refresh:1 ok close:7 ]", "wait wait held held cancel:2"},
      {"[ cancel refresh:1 close:7 ok ]", "wait wait held held cancel:2"},
      {"[ close:7 ok cancel refresh:1 ]", "wait held held wait cancel:7"},
      {"[ close:7 ok refresh:1 cancel ]", "wait held wait held cancel:7"},
      {"[ close:7 cancel ok refresh:1 ]", "wait held held wait cancel:7"},
      {"[ close:7 cancel refresh:1 ok ]", "wait held wait held cancel:7"},
      {"[ close:7 refresh:1 ok cancel ]", "wait wait held held cancel:7"},
      {"[ close:7 refresh:1 cancel ok ]", "wait wait held held cancel:7"},
      {"[ refresh:1 ok cancel close:7 ]", "wait wait held held refresh:1 ok"},
      {"[ refresh:1 ok close:7 cancel ]", "wait wait held held refresh:1 ok"},
      {"[ refresh:1 cancel ok close:7 ]", "wait wait held held refresh:1 cancel:2"},
      {"[ refresh:1 cancel close:7 ok ]", "wait wait held held refresh:1 cancel:2"},
      {"[ refresh:1 close:7 ok cancel ]", "wait wait held held refresh:1 cancel:7"},
      {"[ refresh:1 close:7 cancel ok ]", "wait wait held held refresh:1 cancel:7"},
      {"ok cancel close:7 refresh:1", "ok - - -"},
      {"ok cancel refresh:1 close:7", "ok - - -"},
      {"ok close:7 cancel refresh:1", "ok - - -"},
      {"ok close:7 refresh:1 cancel", "ok - - -"},
      {"ok refresh:1 cancel close:7", "ok - - -"},
      {"ok refresh:1 close:7 cancel", "ok - - -"},
      {"cancel ok close:7 refresh:1", "cancel:2 - - -"},
      {"cancel ok refresh:1 close:7", "cancel:2 - - -"},
      {"cancel close:7 ok refresh:1", "cancel:2 - - -"},
      {"cancel close:7 refresh:1 ok", "cancel:2 - - -"},
      {"cancel refresh:1 ok close:7", "cancel:2 - - -"},
      {"cancel refresh:1 close:7 ok", "cancel:2 - - -"},
      {"close:7 ok cancel refresh:1", "cancel:7 - - -"},
      {"close:7 ok refresh:1 cancel", "cancel:7 - - -"},
      {"close:7 cancel ok refresh:1", "cancel:7 - - -"},
      {"close:7 cancel refresh:1 ok", "cancel:7 - - -"},
      {"close:7 refresh:1 ok cancel", "cancel:7 - - -"},
      {"close:7 refresh:1 cancel ok", "cancel:7 - - -"},
      {"refresh:1 ok cancel close:7", "refresh:1 ok - -"},
      {"refresh:1 ok close:7 cancel", "refresh:1 ok - -"},
      {"refresh:1 cancel ok close:7", "refresh:1 cancel:2 - -"},
      {"refresh:1 cancel close:7 ok", "refresh:1 cancel:2 - -"},
      {"refresh:1 close:7 ok cancel", "refresh:1 cancel:7 - -"},
      {"refresh:1 close:7 cancel ok", "refresh:1 cancel:7 - -"},
      {"[ ok ] cancel", "wait ok -"},
      {"[ refresh:1 ] ok", "wait refresh:1 ok"},
      {"[ refresh:1 refresh:0 close:0x10005 ]", "wait held wait refresh:0 cancel:5"},
      {"refresh:1 [ cancel ] refresh:0", "refresh:1 wait cancel:2 -"},
      {"[ refresh:1 ] [ refresh:0 ok ]", "wait refresh:1 wait wait refresh:0 ok"},
      {"[ ok ] [ refresh:1 ]", "wait ok -"},
  };
  for (const auto& c : cases) {
    DialogFlow flow;
    EXPECT_EQ(PlayRequests(c.script, &flow), c.outcome) << c.script;
  }
}

TEST(DialogRequests, WhatTheDialogAnswersAndWhetherEditsCount) {
  const struct {
    const char* script;
    bool initialised;
    OSErr standing;
    bool takesEdits;
    OSErr outcome;
  } cases[] = {
      {"", true, noErr, true, userCanceledErr},               // destroyed from outside
      {"", true, memFullErr, true, memFullErr},               // ... after a failure
      {"", false, noErr, true, -30900},                       // never came up
      {"[ ok ]", true, noErr, true, noErr},
      {"cancel", true, userCanceledErr, false, userCanceledErr},
      {"[ close:3 ]", true, userCanceledErr, false, userCanceledErr},
      {"refresh:1", true, noErr, true, userCanceledErr},
  };
  for (const auto& c : cases) {
    DialogFlow flow;
    PlayRequests(c.script, &flow);
    flow.initialised = c.initialised;
    EXPECT_EQ(DialogTakesEdits(flow), c.takesEdits) << c.script;
    EXPECT_EQ(DialogOutcome(flow, c.standing), c.outcome) << c.script;
  }
}

TEST(PlaceDialog, CentredOverTheParentAndHeldByTheRightAndBottomEdges) {
  DialogPlacementInput input = {{100, 50, 1100, 650}, 300, 260, true, 18, 1920, 1080};
  DialogPosition at = PlaceDialogRect(input);
  EXPECT_EQ(at.x, 432);
  EXPECT_EQ(at.y, 163);
  input.hasSystemMenu = false;  // two thirds of the button: 12
  EXPECT_EQ(PlaceDialogRect(input).x, 438);
  input.captionButtonWidth = 20;
  EXPECT_EQ(PlaceDialogRect(input).x, 436);
  // Narrower than the dialog: its left edge minus the button, even off screen.
  input = {{5, 50, 105, 650}, 300, 260, true, 18, 1920, 1080};
  EXPECT_EQ(PlaceDialogRect(input).x, -13);
  // Past the right or bottom edge: pulled back.
  input = {{1800, 1000, 1900, 1070}, 300, 260, true, 18, 1920, 1080};
  at = PlaceDialogRect(input);
  EXPECT_EQ(at.x, 1620);
  EXPECT_EQ(at.y, 820);
  input.screenWidth = 200;
  input.screenHeight = 100;
  at = PlaceDialogRect(input);
  EXPECT_EQ(at.x, 0);
  EXPECT_EQ(at.y, 0);
}

}  // namespace
