// The text form of recorded descriptors that vkhost writes and plays back.
#include <gtest/gtest.h>

#include <cstring>

#include "tools/vkhost/descriptor.h"

namespace {

constexpr uint32_t kDraw = 0x64726177, kShft = 0x73686674;

HostDescriptor Recorded() {
  HostDescriptor descriptor(4);
  descriptor[0] = {kDraw, kTypeInteger, -1, 0};
  descriptor[1] = {kShft, kTypeInteger, 65535, 0};
  descriptor[2] = {0x4E6D2020, kTypeBoolean, 1, 0};  // 'Nm  '
  descriptor[3] = {0x416D6E74, kTypeFloat, 0, 0.1};  // 'Amnt'
  return descriptor;
}

}  // namespace

TEST(DescriptorFile, RoundTripsEveryTypeExactly) {
  const std::string text = FormatDescriptor(Recorded());
  EXPECT_EQ(text,
            "vkhost descriptor 1\n'draw' 'long' -1\n'shft' 'long' 65535\n'Nm  ' 'bool' 1\n"
            "'Amnt' 'doub' 0.10000000000000001\nend\n");
  HostDescriptor back;
  std::string error;
  ASSERT_TRUE(ParseDescriptor(text, &back, &error)) << error;
  ASSERT_EQ(back.size(), 4u);
  for (size_t i = 0; i < back.size(); ++i) {
    EXPECT_EQ(back[i].key, Recorded()[i].key);
    EXPECT_EQ(back[i].type, Recorded()[i].type);
    EXPECT_EQ(back[i].integer, Recorded()[i].integer);
    EXPECT_EQ(back[i].number, Recorded()[i].number);
  }
  // Windows line ends, as an editor may save them, and an empty descriptor.
  EXPECT_TRUE(ParseDescriptor("vkhost descriptor 1\r\n'draw' 'long' 1\r\nend\r\n", &back, &error)) << error;
  EXPECT_TRUE(ParseDescriptor("vkhost descriptor 1\nend", &back, &error)) << error;
  EXPECT_TRUE(back.empty());
}

TEST(DescriptorFile, EveryCutShortFileIsRefused) {
  const std::string text = FormatDescriptor(Recorded());
  HostDescriptor back;
  for (size_t length = 0; length + 1 < text.size(); ++length) {
    std::string error;
    EXPECT_FALSE(ParseDescriptor(text.substr(0, length), &back, &error)) << length;
    EXPECT_FALSE(error.empty());
  }
}

TEST(DescriptorFile, MalformedLinesAreNamed) {
  const struct {
    const char* text;
    const char* error;
  } cases[] = {
      {"", "the file is empty"},
      {"vkhost descriptor 2\nend\n", "line 1: not a vkhost descriptor"},
      {"\x89PNG\r\n", "line 1: not a vkhost descriptor"},
      {"vkhost descriptor 1\n'draw' 'long'\nend\n", "line 2: expected"},
      {"vkhost descriptor 1\n'draw' 'long' 1x\nend\n", "line 2: expected"},
      {"vkhost descriptor 1\n'draw' 'long' 2147483648\nend\n", "line 2: expected"},
      {"vkhost descriptor 1\n'draw' 'long' -2147483649\nend\n", "line 2: expected"},
      {"vkhost descriptor 1\n'dra' 'long' 1\nend\n", "line 2: expected"},
      {"vkhost descriptor 1\ndraw long 1\nend\n", "line 2: expected"},
      {"vkhost descriptor 1\n'draw' 'TEXT' 1\nend\n", "line 2: expected"},
      {"vkhost descriptor 1\n'Nm  ' 'bool' 2\nend\n", "line 2: expected"},
      {"vkhost descriptor 1\n'Amnt' 'doub' nan\nend\n", "line 2: expected"},
      {"vkhost descriptor 1\n'draw' 'long' 1\n\nend\n", "line 3: expected"},
      {"vkhost descriptor 1\nend\n'draw' 'long' 1\n", "line 3: text after the end line"},
      {"vkhost descriptor 1\n'draw' 'long' 1\n", "the file ends before its end line"},
      {"vkhost descriptor 1\n'draw' 'lo", "line 2: the file ends in the middle of a line"},
  };
  for (const auto& c : cases) {
    HostDescriptor back;
    std::string error;
    EXPECT_FALSE(ParseDescriptor(c.text, &back, &error)) << c.text;
    EXPECT_EQ(error.compare(0, std::strlen(c.error), c.error), 0) << c.text << " -> " << error;
  }
  std::string many = "vkhost descriptor 1\n";
  for (size_t i = 0; i <= kMaxDescriptorItems; ++i) many += "'draw' 'long' 1\n";
  HostDescriptor back;
  std::string error;
  EXPECT_FALSE(ParseDescriptor(many + "end\n", &back, &error));
  EXPECT_NE(error.find("too many items"), std::string::npos) << error;
}
