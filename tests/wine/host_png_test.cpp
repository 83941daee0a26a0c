// PNG files through our host's WIC reader and writer, and the sample scales.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/wine/test_support.h"
#include "tools/vkhost/host.h"

namespace {

struct Shape {
  int32_t colorPlanes;
  bool hasAlpha;
  int32_t depth;
};

std::string WriteBytes(const unsigned char* bytes, size_t size) {
  std::string path = ScratchPath(".png");
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return path;
  std::fwrite(bytes, 1, size, file);
  std::fclose(file);
  return path;
}

// 2x1 gray+alpha PNGs: 8-bit samples (10,200) (250,0); 16-bit (0x0100,0xFFFF) (0x8000,0).
const unsigned char kGrayAlpha8[] = {
    0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48, 0x44, 0x52, 0x00, 0x00,
    0x00, 0x02, 0x00, 0x00, 0x00, 0x01, 0x08, 0x04, 0x00, 0x00, 0x00, 0x5E, 0x2B, 0xB7, 0x01, 0x00, 0x00, 0x00,
    0x0D, 0x49, 0x44, 0x41, 0x54, 0x78, 0xDA, 0x63, 0xE0, 0x3A, 0xF1, 0x8B, 0x01, 0x00, 0x04, 0x79, 0x01, 0xCD,
    0x0B, 0x40, 0xB9, 0x27, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};
const unsigned char kGrayAlpha16[] = {
    0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48, 0x44, 0x52, 0x00, 0x00,
    0x00, 0x02, 0x00, 0x00, 0x00, 0x01, 0x10, 0x04, 0x00, 0x00, 0x00, 0x0E, 0xBB, 0x6B, 0x42, 0x00, 0x00, 0x00,
    0x11, 0x49, 0x44, 0x41, 0x54, 0x78, 0xDA, 0x63, 0x60, 0x64, 0xF8, 0xFF, 0xBF, 0x81, 0x81, 0x81, 0x01, 0x00,
    0x0D, 0x06, 0x02, 0x80, 0x87, 0x7F, 0xED, 0x6B, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42,
    0x60, 0x82};

// 8x1 1-bit gray, bits 10100101; 2x1 palette red, blue with red half transparent.
const unsigned char kGray1Bit[] = {
    0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48, 0x44, 0x52, 0x00, 0x00,
    0x00, 0x08, 0x00, 0x00, 0x00, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0xCB, 0x7B, 0xD2, 0xEE, 0x00, 0x00, 0x00,
    0x0A, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9C, 0x63, 0x58, 0x0A, 0x00, 0x00, 0xA7, 0x00, 0xA6, 0xE5, 0xB9, 0xC5,
    0xE2, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};
const unsigned char kPaletteWithTransparency[] = {
    0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48, 0x44, 0x52, 0x00, 0x00,
    0x00, 0x02, 0x00, 0x00, 0x00, 0x01, 0x08, 0x03, 0x00, 0x00, 0x00, 0xC3, 0xFC, 0x8F, 0xB8, 0x00, 0x00, 0x00,
    0x06, 0x50, 0x4C, 0x54, 0x45, 0xFF, 0x00, 0x00, 0x00, 0x00, 0xFF, 0x6C, 0xA1, 0xFD, 0x8E, 0x00, 0x00, 0x00,
    0x01, 0x74, 0x52, 0x4E, 0x53, 0x80, 0xAD, 0x5E, 0x5B, 0x46, 0x00, 0x00, 0x00, 0x0B, 0x49, 0x44, 0x41, 0x54,
    0x78, 0x9C, 0x63, 0x60, 0x60, 0x04, 0x00, 0x00, 0x04, 0x00, 0x02, 0xBF, 0x7A, 0x3F, 0x4A, 0x00, 0x00, 0x00,
    0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};

class HostPng : public ::testing::TestWithParam<Shape> {};

}  // namespace

// Every sample comes back, in the image's own kind and depth.
TEST_P(HostPng, RoundTripKeepsEverySample) {
  const Shape shape = GetParam();
  HostImage image;
  ASSERT_TRUE(MakeImage(&image, 13, 7, shape.colorPlanes, shape.hasAlpha, shape.depth));
  FillGradient(&image);
  SetSample(&image, 0, 0, 0, shape.depth == 16 ? kHostSampleMax16 : 255);
  SetSample(&image, 1, 0, 0, 1);
  const std::string path = ScratchPath(".png");
  std::string error;
  ASSERT_TRUE(WritePng(path.c_str(), image, &error)) << error;
  HostImage back;
  ASSERT_TRUE(ReadPng(path.c_str(), &back, &error)) << error;
  ASSERT_EQ(back.colorPlanes, shape.colorPlanes);
  ASSERT_EQ(back.hasAlpha, shape.hasAlpha);
  ASSERT_EQ(back.depth, shape.depth);
  EXPECT_EQ(back.pixels, image.pixels);
  std::remove(path.c_str());
}

INSTANTIATE_TEST_SUITE_P(HostShapes, HostPng,
                         ::testing::Values(Shape{1, false, 8}, Shape{1, true, 8}, Shape{3, false, 8},
                                           Shape{3, true, 8}, Shape{1, false, 16}, Shape{1, true, 16},
                                           Shape{3, false, 16}, Shape{3, true, 16}));

TEST(HostPngFiles, ReadsGrayWithTransparencyAsSuch) {
  std::string error;
  HostImage image;
  const std::string eight = WriteBytes(kGrayAlpha8, sizeof kGrayAlpha8);
  ASSERT_TRUE(ReadPng(eight.c_str(), &image, &error)) << error;
  EXPECT_EQ(image.colorPlanes, 1);
  EXPECT_TRUE(image.hasAlpha);
  EXPECT_EQ(GetSample(image, 0, 0, 0), 10);
  EXPECT_EQ(GetSample(image, 0, 0, 1), 200);
  EXPECT_EQ(GetSample(image, 1, 0, 0), 250);
  const std::string sixteen = WriteBytes(kGrayAlpha16, sizeof kGrayAlpha16);
  ASSERT_TRUE(ReadPng(sixteen.c_str(), &image, &error)) << error;
  EXPECT_EQ(image.depth, 16);
  EXPECT_EQ(GetSample(image, 0, 0, 0), 128);  // 0x0100 on the host's 0..32768 scale
  EXPECT_EQ(GetSample(image, 0, 0, 1), kHostSampleMax16);
  EXPECT_EQ(GetSample(image, 1, 0, 0), 16384);
  std::remove(eight.c_str());
  std::remove(sixteen.c_str());
}

TEST(HostPngFiles, ReadsLowDepthGrayAndPaletteFiles) {
  std::string error;
  HostImage image;
  const std::string gray = WriteBytes(kGray1Bit, sizeof kGray1Bit);
  ASSERT_TRUE(ReadPng(gray.c_str(), &image, &error)) << error;
  EXPECT_EQ(image.colorPlanes, 1);
  EXPECT_FALSE(image.hasAlpha);
  EXPECT_EQ(image.depth, 8);
  const uint16_t expected[8] = {255, 0, 255, 0, 0, 255, 0, 255};
  for (int32_t x = 0; x < 8; ++x) EXPECT_EQ(GetSample(image, x, 0, 0), expected[x]) << x;
  const std::string palette = WriteBytes(kPaletteWithTransparency, sizeof kPaletteWithTransparency);
  ASSERT_TRUE(ReadPng(palette.c_str(), &image, &error)) << error;
  EXPECT_EQ(image.colorPlanes, 3);
  ASSERT_TRUE(image.hasAlpha);
  EXPECT_EQ(GetSample(image, 0, 0, 0), 255);
  EXPECT_EQ(GetSample(image, 0, 0, 3), 128);
  EXPECT_EQ(GetSample(image, 1, 0, 2), 255);
  std::remove(gray.c_str());
  std::remove(palette.c_str());
}

TEST(HostPngFiles, FailuresAreReportedWithThePath) {
  HostImage image;
  std::string error;
  EXPECT_FALSE(ReadPng("Z:\\no\\such\\file.png", &image, &error));
  EXPECT_NE(error.find("file.png"), std::string::npos) << error;
  HostImage empty;
  EXPECT_FALSE(WritePng(ScratchPath(".png").c_str(), empty, &error));
}

TEST(HostSamples, SixteenBitScalesRoundTripFromTheHostSide) {
  for (uint32_t host = 0; host <= kHostSampleMax16; ++host)
    ASSERT_EQ(HostSampleFrom16(FileSampleFrom16(static_cast<uint16_t>(host))), host);
  EXPECT_EQ(FileSampleFrom16(kHostSampleMax16), 65535);
  EXPECT_EQ(FileSampleFrom16(40000), 65535);  // above the host's range
  EXPECT_EQ(HostSampleFrom16(65535), kHostSampleMax16);
  EXPECT_EQ(HostSampleFrom16(0x8000), 16384);
  EXPECT_EQ(HostSampleFrom16(65534), 32767);  // 32767.49..
}

TEST(HostSamples, DepthConversionRoundTripsEightBitValues) {
  HostImage image;
  ASSERT_TRUE(MakeImage(&image, 256, 1, 1, false, 8));
  for (int32_t x = 0; x < 256; ++x) SetSample(&image, x, 0, 0, static_cast<uint16_t>(x));
  HostImage deep = ConvertDepth(image, 16);
  EXPECT_EQ(GetSample(deep, 255, 0, 0), kHostSampleMax16);
  EXPECT_EQ(GetSample(deep, 128, 0, 0), 16448);  // 128 * 32768 / 255 = 16448.25
  EXPECT_EQ(ConvertDepth(deep, 8).pixels, image.pixels);
}
