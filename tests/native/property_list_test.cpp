// The host's property-list parser: the plug-in's own list, then every kind of
// damage. Each input is copied into a buffer of exactly its size, so that a
// sanitizer build catches any read past the end.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "resources/terminology_ids.h"
#include "tests/expected_resources.h"
#include "tools/vkhost/property_list.h"

namespace {

struct Outcome {
  bool ok;
  std::string error;
  PluginProperties properties;
};

Outcome Parse(const std::vector<uint8_t>& bytes) {
  Outcome outcome;
  uint8_t* exact = new uint8_t[bytes.empty() ? 1 : bytes.size()];
  if (!bytes.empty()) std::memcpy(exact, bytes.data(), bytes.size());
  outcome.ok = ParsePropertyList(exact, bytes.size(), &outcome.properties, &outcome.error);
  delete[] exact;
  return outcome;
}

void PutLittle32(std::vector<uint8_t>* bytes, size_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) (*bytes)[offset + i] = uint8_t(value >> (8 * i));
}

const size_t countOffset = 6;
const size_t propertyLength = 12;  // offset of the length field in a property header

// Offset of property `index`'s length field in the plug-in's list.
size_t LengthField(int index) { return expected::propertyStarts[index] + propertyLength; }

void ExpectRejected(const std::vector<uint8_t>& bytes, const char* reasonPart) {
  Outcome outcome = Parse(bytes);
  EXPECT_FALSE(outcome.ok);
  EXPECT_NE(outcome.error.find(reasonPart), std::string::npos) << outcome.error;
}

TEST(PropertyList, ParsesThePluginsList) {
  Outcome outcome = Parse(expected::PropertyList(expected::entryKey32));
  ASSERT_TRUE(outcome.ok) << outcome.error;
  const PluginProperties& p = outcome.properties;
  EXPECT_EQ(p.propertyCount, 13);
  EXPECT_EQ(p.parsedBytes, 678u);
  EXPECT_EQ(p.kind, uint32_t('8BFM'));
  EXPECT_EQ(p.name, "Vardelkist...");
  EXPECT_EQ(p.category, "FalmetPlug");
  EXPECT_EQ(p.version, 0x00040000u);
  EXPECT_EQ(p.entryPoint32, "PluginMain");
  EXPECT_EQ(p.entryPoint64, "");
  ASSERT_TRUE(p.hasModes);
  EXPECT_EQ(p.modes[0], 0x50);
  EXPECT_EQ(p.modes[1], 0);
  EXPECT_EQ(p.enableRule, expected::enableRule);
  ASSERT_TRUE(p.hasTerminology);
  EXPECT_EQ(p.terminologyClass, plotEventClass);
  EXPECT_EQ(p.terminologyEvent, plotEventId);
  EXPECT_EQ(p.terminologyId, TERMINOLOGY_RESOURCE_ID);
  EXPECT_EQ(p.terminologyScope, "falmet Vardelkist");
}

TEST(PropertyList, SharedCodesMatchTheBytesHostsCompare) {
  EXPECT_EQ(keyDraw, uint32_t('draw'));
  EXPECT_EQ(keyShft, uint32_t('shft'));
  EXPECT_EQ(plotEventClass, 0x72673043u);  // stored "C0gr"
  EXPECT_EQ(plotEventId, 0x74726947u);     // stored "Girt"
}

TEST(PropertyList, RejectsEveryTruncation) {
  std::vector<uint8_t> list = expected::PropertyList();
  for (size_t size = 0; size < list.size(); ++size) {
    Outcome outcome = Parse(std::vector<uint8_t>(list.begin(), list.begin() + size));
    EXPECT_FALSE(outcome.ok) << "accepted " << size << " bytes";
    EXPECT_FALSE(outcome.error.empty());
  }
}

TEST(PropertyList, RejectsNullInput) {
  PluginProperties properties;
  std::string error;
  EXPECT_FALSE(ParsePropertyList(nullptr, 0, &properties, &error));
  EXPECT_FALSE(error.empty());
}

TEST(PropertyList, RejectsWrongCounts) {
  std::vector<uint8_t> list = expected::PropertyList();
  const uint32_t counts[] = {12, 14, 0, 0xFFFFFFFF, 0x80000000, 0x7FFFFFFF, 1000};
  for (uint32_t count : counts) {
    PutLittle32(&list, countOffset, count);
    Outcome outcome = Parse(list);
    EXPECT_FALSE(outcome.ok) << "count " << count;
    EXPECT_FALSE(outcome.error.empty());
  }
  PutLittle32(&list, countOffset, 12);
  ExpectRejected(list, "trailing");
}

TEST(PropertyList, RejectsTrailingBytes) {
  std::vector<uint8_t> list = expected::PropertyList();
  list.push_back(0);
  ExpectRejected(list, "trailing");
}

TEST(PropertyList, RejectsBadLengths) {
  const uint32_t lengths[] = {0xFFFFFFFF, 0x80000000, 0x7FFFFFFF, 0x7FFFFFFD, 679, 0xFFFFFFFC};
  for (int index = 0; index < 13; ++index) {
    for (uint32_t length : lengths) {
      std::vector<uint8_t> list = expected::PropertyList();
      PutLittle32(&list, LengthField(index), length);
      Outcome outcome = Parse(list);
      EXPECT_FALSE(outcome.ok) << "property " << index << " length " << length;
      EXPECT_FALSE(outcome.error.empty());
    }
  }
}

TEST(PropertyList, RejectsTheLastPropertyRunningPastTheEnd) {
  std::vector<uint8_t> list = expected::PropertyList();
  PutLittle32(&list, LengthField(12), 5);  // padded to 8, only 4 bytes there
  ExpectRejected(list, "runs past the end");
}

TEST(PropertyList, ShorterLengthsLeaveTheRestAsTrailingBytes) {
  std::vector<uint8_t> list = expected::PropertyList();
  PutLittle32(&list, LengthField(12), 0);
  ExpectRejected(list, "trailing");
}

TEST(PropertyList, RejectsUnknownListVersion) {
  std::vector<uint8_t> list = expected::PropertyList();
  PutLittle32(&list, 2, 1);
  ExpectRejected(list, "version");
}

TEST(PropertyList, RejectsUnterminatedStrings) {
  std::vector<uint8_t> list = expected::PropertyList();
  const size_t entryData = expected::propertyStarts[4] + 16;
  std::memset(&list[entryData], 'x', 12);
  ExpectRejected(list, "not terminated");

  list = expected::PropertyList();
  const size_t scopeData = expected::propertyStarts[5] + 16 + 14;
  std::memset(&list[scopeData], 'x', 22);
  ExpectRejected(list, "not terminated");
}

TEST(PropertyList, RejectsPascalStringLongerThanItsProperty) {
  std::vector<uint8_t> list = expected::PropertyList();
  list[expected::propertyStarts[1] + 16] = 16;  // 'name' holds 16 bytes: room for 15
  ExpectRejected(list, "Pascal string");
}

// A list of one property, its data padded to a multiple of 4 bytes.
std::vector<uint8_t> OneProperty(const char* key, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> list;
  expected::Put16(&list, 1);
  expected::Put32(&list, 0);
  expected::Put32(&list, 1);
  expected::PutPropertyHeader(&list, key, 0, uint32_t(data.size()));
  list.insert(list.end(), data.begin(), data.end());
  expected::PutZeros(&list, (4 - data.size() % 4) % 4);
  return list;
}

TEST(PropertyList, RejectsPropertiesTooShortForTheirFields) {
  ExpectRejected(OneProperty("kind", {'M', 'F', 'B', '8', 0, 0, 0, 0}), "expected 4");
  ExpectRejected(OneProperty("vers", {0, 0}), "expected 4");
  ExpectRejected(OneProperty("mode", {}), "'mode'");
  ExpectRejected(OneProperty("name", {}), "Pascal string");
  ExpectRejected(OneProperty("hstm", std::vector<uint8_t>(14, 0)), "'hstm'");
  ExpectRejected(OneProperty("enbl", {}), "not terminated");
}

TEST(PropertyList, AcceptsUnpaddedLengthsWithTheirPadding) {
  Outcome outcome = Parse(OneProperty("wx86", {'E', 'n', 't', 'r', 'y', 0, 'x'}));
  ASSERT_TRUE(outcome.ok) << outcome.error;
  EXPECT_EQ(outcome.properties.entryPoint32, "Entry");
  EXPECT_EQ(outcome.properties.parsedBytes, 10u + 16u + 8u);
}

// The 64-bit module's list differs only in the entry point's code property.
TEST(PropertyList, ReadsTheEntryOfEachWordSize) {
  std::vector<uint8_t> list32 = expected::PropertyList(expected::entryKey32);
  std::vector<uint8_t> list64 = expected::PropertyList(expected::entryKey64);
  ASSERT_EQ(list64.size(), list32.size());
  const size_t key = expected::propertyStarts[4] + 4;
  EXPECT_EQ(std::memcmp(&list64[key], "4668", 4), 0);  // '8664' stored little-endian
  std::memcpy(&list64[key], &list32[key], 4);
  EXPECT_EQ(list64, list32);

  Outcome outcome = Parse(expected::PropertyList(expected::entryKey64));
  ASSERT_TRUE(outcome.ok) << outcome.error;
  EXPECT_EQ(outcome.properties.entryPoint64, "PluginMain");
  EXPECT_EQ(outcome.properties.entryPoint32, "");
  EXPECT_EQ(outcome.properties.parsedBytes, 678u);

  // A module that serves both word sizes names an entry for each.
  std::vector<uint8_t> both = OneProperty("wx86", {'E', '3', '2', 0});
  std::vector<uint8_t> second = OneProperty("8664", {'E', '6', '4', 0});
  both.insert(both.end(), second.begin() + 10, second.end());
  PutLittle32(&both, countOffset, 2);
  outcome = Parse(both);
  ASSERT_TRUE(outcome.ok) << outcome.error;
  EXPECT_EQ(outcome.properties.entryPoint32, "E32");
  EXPECT_EQ(outcome.properties.entryPoint64, "E64");
}

TEST(PropertyList, SkipsPropertiesOfOtherVendors) {
  std::vector<uint8_t> list = expected::PropertyList();
  std::memcpy(&list[expected::propertyStarts[1]], "xxxx", 4);  // the 'name' property
  Outcome outcome = Parse(list);
  ASSERT_TRUE(outcome.ok) << outcome.error;
  EXPECT_EQ(outcome.properties.name, "");
  EXPECT_EQ(outcome.properties.propertyCount, 13);
}

// Random damage to the plug-in's list, and random lists: the parser must
// return, and whatever it accepts must account for every byte.
TEST(PropertyList, SurvivesRandomDamage) {
  const std::vector<uint8_t> original = expected::PropertyList();
  std::mt19937 random(20240611);
  int accepted = 0;
  for (int iteration = 0; iteration < 20000; ++iteration) {
    std::vector<uint8_t> list = original;
    int edits = 1 + int(random() % 8);
    for (int edit = 0; edit < edits; ++edit) {
      size_t at = random() % list.size();
      switch (random() % 4) {
        case 0: list[at] = uint8_t(random()); break;
        case 1: list[at] ^= uint8_t(1u << (random() % 8)); break;
        case 2: list[at] = (random() % 2) ? 0xFF : 0x00; break;
        case 3: list.resize(at + 1); break;
      }
    }
    Outcome outcome = Parse(list);
    if (outcome.ok) {
      ++accepted;
      EXPECT_EQ(outcome.properties.parsedBytes, list.size());
    } else {
      EXPECT_FALSE(outcome.error.empty());
    }
  }
  EXPECT_GT(accepted, 0);  // harmless changes to data bytes still parse
}

TEST(PropertyList, SurvivesRandomBytes) {
  std::mt19937 random(7);
  for (int iteration = 0; iteration < 5000; ++iteration) {
    std::vector<uint8_t> list(random() % 200);
    for (uint8_t& byte : list) byte = uint8_t(random());
    if (list.size() >= 10) {
      PutLittle32(&list, 2, 0);
      PutLittle32(&list, countOffset, random() % 4);  // believable counts reach the properties
    }
    Outcome outcome = Parse(list);
    if (!outcome.ok) {
      EXPECT_FALSE(outcome.error.empty());
    }
  }
}

}  // namespace
