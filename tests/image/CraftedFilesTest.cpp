// Every reader against the crafted files of tools/fixtures/make_image_fixtures.py: each file
// gives its listed images (format, size, resolution, key, pixel bytes, palette) or its
// code with an empty array, read from a block of exactly its size.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/SLError.h"
#include "tests/image/CodecTools.h"
#include "tests/support/TempDir.h"

namespace {

using namespace image_test;

std::string Hex(const u8* bytes, size_t count) {
  std::string text;
  char digits[3];
  for (size_t i = 0; i < count; ++i) text += (std::snprintf(digits, sizeof digits, "%02x", bytes[i]), digits);
  return text.empty() ? "-" : text;
}

// An image described as the fixture writer lists it, with as many palette entries as
// `paletteDigits` hex digits hold.
std::string Describe(const CSLImage& image, size_t paletteDigits) {
  const SLImageInfo info = InfoOf(image);
  u32 key = 0;
  std::ostringstream text;
  text << info.format << ' ' << info.width << ' ' << info.height << ' ' << info.resolutionX << ' '
       << info.resolutionY << ' ' << std::hex;
  image.GetTransparentColor(&key) ? text << key : text << '-';
  std::string pixels;
  for (u32 y = 0; y < info.height; ++y)
    pixels.append(reinterpret_cast<const char*>(image.GetPixelAddress(0, y)), size_t(info.width) * info.bytesPerPixel);
  std::vector<SLPaletteEntry> palette(paletteDigits / 8);
  image.GetPaletteEntries(0, u32(palette.size()), palette.data());
  return text.str() + ' ' + Hex(reinterpret_cast<const u8*>(pixels.data()), pixels.size()) + ' ' +
         Hex(reinterpret_cast<const u8*>(palette.data()), palette.size() * 4);
}

TEST(CraftedFiles, ReadAsListedByContentAndByExtension) {
  TempDir dir;
  const std::string command = "python3 '" SL_SOURCE_DIR "/tools/fixtures/make_image_fixtures.py' '" + dir.Host() + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);
  std::istringstream manifest(dir.Read("manifest.txt"));
  u32 files = 0;
  for (std::string line; std::getline(manifest, line); ++files) {
    // name, code, then one description per image
    std::vector<std::string> fields;
    std::istringstream split(line);
    for (std::string field; std::getline(split, field, '\t');) fields.push_back(field);
    SCOPED_TRACE(fields[0]);
    const std::string bytes = dir.Read(fields[0]);
    const u32 code = u32(std::stoul(fields[1], nullptr, 16));
    const SLClassRecord* reader = CSLBaseImageReader::FindReaderClassByExtension(fields[0].c_str());
    ASSERT_NE(reader, nullptr);
    CSLImageArray images;
    EXPECT_EQ(ReadBytes(reader, bytes, &images, 0), code == 0);
    EXPECT_EQ(SLGetLastError(), code);
    ASSERT_EQ(images.GetCount() + 2, fields.size());
    for (u32 i = 0; i < images.GetCount(); ++i) {
      const std::string& expected = fields[i + 2];
      EXPECT_EQ(Describe(*images[i], expected.size() - expected.rfind(' ') - 1), expected);
    }
    if (code) continue;
    EXPECT_EQ(ChooseByContent(bytes), reader);
    // Header only: the first description, without pixels.
    ASSERT_TRUE(ReadBytes(reader, bytes, &images, SL_IMAGE_READ_HEADER_ONLY));
    EXPECT_EQ(images[0]->GetPixels(), nullptr);
    EXPECT_EQ(images[0]->GetWidth(), u32(std::stoul(fields[2].substr(fields[2].find(' ')))));
  }
  EXPECT_GT(files, 60u);
}

}  // namespace
