// vkhost's recorded actions: apply --record writes the descriptor the filter
// hands back, apply --replay plays it back; a bad action file stops the run
// with a message and writes nothing.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "tests/wine/test_support.h"
#include "tools/vkhost/host.h"

namespace {

struct Outcome {
  DWORD exitCode = 0xFFFFFFFF;
  std::string errors;  // what it wrote to stderr
};

std::string VkhostPath() { return ExecutableDirectory() + "\\..\\..\\tools\\vkhost\\vkhost.exe"; }

Outcome RunVkhost(const std::string& arguments) {
  Outcome outcome;
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return outcome;
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  HANDLE nul = CreateFileA("NUL", GENERIC_WRITE, 0, &inherit, OPEN_EXISTING, 0, nullptr);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = nul;
  startup.hStdError = writeEnd;
  std::string command = "\"" + VkhostPath() + "\" " + arguments;
  PROCESS_INFORMATION process = {};
  const BOOL started = CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
  CloseHandle(writeEnd);
  CloseHandle(nul);
  if (started) {
    char buffer[512];
    DWORD read = 0;
    while (ReadFile(readEnd, buffer, sizeof buffer, &read, nullptr) && read > 0) outcome.errors.append(buffer, read);
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &outcome.exitCode);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  }
  CloseHandle(readEnd);
  return outcome;
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void WriteText(const std::string& path, const std::string& text) {
  FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  std::fwrite(text.data(), 1, text.size(), file);
  std::fclose(file);
}

class VkhostAction : public ::testing::Test {
 protected:
  void SetUp() override {
    HostImage image;
    ASSERT_TRUE(MakeImage(&image, 83, 59, 3, false, 8));
    FillGradient(&image);
    std::string error;
    ASSERT_TRUE(WritePng(input.c_str(), image, &error)) << error;
  }
  void TearDown() override {
    for (const std::string& path : {input, action, first, second, shot})
      if (Exists(path)) DeleteFileA(path.c_str());
  }
  std::string Apply(const std::string& output, const std::string& options) {
    return "apply \"" + PluginPath() + "\" \"" + input + "\" \"" + output + "\" " + options;
  }
  HostImage Read(const std::string& path) {
    HostImage image;
    std::string error;
    EXPECT_TRUE(ReadPng(path.c_str(), &image, &error)) << error;
    return image;
  }

  std::string input = ScratchPath(".png"), action = ScratchPath(".txt");
  std::string first = ScratchPath(".png"), second = ScratchPath(".png"), shot = ScratchPath(".png");
};

}  // namespace

TEST_F(VkhostAction, ARecordedRunReplaysToTheSameImage) {
  Outcome recorded = RunVkhost(Apply(first, "--layout spiral --shift 41 --record \"" + action + "\""));
  ASSERT_EQ(recorded.exitCode, 0u) << recorded.errors;
  HostDescriptor descriptor;
  std::string error;
  ASSERT_TRUE(LoadAction(action.c_str(), &descriptor, &error)) << error;
  ASSERT_EQ(descriptor.size(), 2u);
  EXPECT_EQ(descriptor[0].integer, 1);
  EXPECT_EQ(descriptor[1].integer, 41);

  Outcome replayed = RunVkhost(Apply(second, "--replay \"" + action + "\""));
  ASSERT_EQ(replayed.exitCode, 0u) << replayed.errors;
  const HostImage original = Read(first), played = Read(second);
  EXPECT_EQ(played.pixels, original.pixels);

  // Through the dialog (shown, photographed, confirmed with OK).
  DeleteFileA(second.c_str());
  Outcome throughDialog = RunVkhost(Apply(second, "--replay \"" + action + "\" --screenshot \"" + shot + "\""));
  ASSERT_EQ(throughDialog.exitCode, 0u) << throughDialog.errors;
  EXPECT_EQ(Read(second).pixels, original.pixels);
  EXPECT_TRUE(Exists(shot));

  // Without the action the same command plots the defaults: the file mattered.
  ASSERT_EQ(RunVkhost(Apply(second, "")).exitCode, 0u);
  EXPECT_NE(Read(second).pixels, original.pixels);
}

TEST_F(VkhostAction, ABadActionFileStopsTheRunWithAMessage) {
  const std::string good = "vkhost descriptor 1\n'draw' 'long' 1\n'shft' 'long' 41\nend\n";
  const struct {
    const char* what;
    bool exists;
    std::string text;
    const char* message;
  } cases[] = {
      {"missing", false, "", "cannot open"},
      {"empty", true, "", "the file is empty"},
      {"truncated in a line", true, good.substr(0, 30), "the file ends in the middle of a line"},
      {"truncated at a line end", true, good.substr(0, 36), "the file ends before its end line"},
      {"a picture", true, "\x89PNG\r\n\x1a\n", "not a vkhost descriptor"},
      {"bad value", true, "vkhost descriptor 1\n'shft' 'long' forty-one\nend\n", "line 2: expected"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (Exists(action)) DeleteFileA(action.c_str());
    if (c.exists) WriteText(action, c.text);
    Outcome outcome = RunVkhost(Apply(first, "--replay \"" + action + "\""));
    EXPECT_EQ(outcome.exitCode, 1u);
    EXPECT_NE(outcome.errors.find("cannot play back the action"), std::string::npos) << outcome.errors;
    EXPECT_NE(outcome.errors.find(c.message), std::string::npos) << outcome.errors;
    EXPECT_FALSE(Exists(first));
  }
}
