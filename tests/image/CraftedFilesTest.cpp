// Every reader against the crafted files of tools/make_image_fixtures.py: each file
// gives its listed images (format, size, resolution, key, pixel bytes, palette) or its
// code with an empty array, read from a block of exactly its size.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/SLError.h"
#include "tests/image/CodecTools.h"
#include "tests/support/TempDir.h"

namespace {

using namespace image_test;

std::string FromHex(const std::string& hex) {
  std::string bytes;
  if (hex == "-") return bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) bytes += char(std::stoi(hex.substr(i, 2), nullptr, 16));
  return bytes;
}

struct Expected {
  u32 format, width, height, dpiX, dpiY;
  std::string key, pixels, palette;
};

struct Fixture {
  std::string name;
  u32 code;
  std::vector<Expected> images;
};

std::vector<Fixture> LoadFixtures(const TempDir& dir) {
  const std::string command = "python3 '" SL_SOURCE_DIR "/tools/make_image_fixtures.py' '" + dir.Host() + "'";
  EXPECT_EQ(std::system(command.c_str()), 0);
  std::vector<Fixture> fixtures;
  std::istringstream manifest(dir.Read("manifest.txt"));
  for (std::string line; std::getline(manifest, line);) {
    std::istringstream fields(line);
    Fixture f;
    std::string code, image;
    std::getline(fields, f.name, '\t');
    std::getline(fields, code, '\t');
    f.code = u32(std::stoul(code, nullptr, 16));
    while (std::getline(fields, image, '\t')) {
      std::istringstream parts(image);
      Expected e;
      parts >> e.format >> e.width >> e.height >> e.dpiX >> e.dpiY >> e.key >> e.pixels >> e.palette;
      e.pixels = FromHex(e.pixels);
      e.palette = FromHex(e.palette);
      f.images.push_back(e);
    }
    fixtures.push_back(f);
  }
  return fixtures;
}

void ExpectImage(const CSLImage& image, const Expected& e) {
  const SLImageInfo info = InfoOf(image);
  ASSERT_EQ(std::vector<u32>({info.format, info.width, info.height, info.resolutionX, info.resolutionY}),
            std::vector<u32>({e.format, e.width, e.height, e.dpiX, e.dpiY}));
  u32 key = 0;
  EXPECT_EQ(image.GetTransparentColor(&key), e.key != "-");
  if (e.key != "-") {
    EXPECT_EQ(key, std::stoul(e.key, nullptr, 16));
  }
  std::string pixels;
  for (u32 y = 0; y < info.height; ++y)
    pixels.append(reinterpret_cast<const char*>(image.GetPixelAddress(0, y)), size_t(info.width) * info.bytesPerPixel);
  EXPECT_EQ(pixels, e.pixels);
  std::string palette(e.palette.size(), '\0');
  image.GetPaletteEntries(0, u32(palette.size() / 4), reinterpret_cast<SLPaletteEntry*>(palette.data()));
  EXPECT_EQ(palette, e.palette);
}

TEST(CraftedFiles, ReadAsListedByContentAndByExtension) {
  TempDir dir;
  const std::vector<Fixture> fixtures = LoadFixtures(dir);
  ASSERT_GT(fixtures.size(), 60u);
  for (const Fixture& f : fixtures) {
    SCOPED_TRACE(f.name);
    const std::string bytes = dir.Read(f.name);
    const SLClassRecord* byName = CSLBaseImageReader::FindReaderClassByExtension(f.name.c_str());
    ASSERT_NE(byName, nullptr);
    if (f.code == 0) {
      EXPECT_EQ(ChooseByContent(bytes), byName);
    }
    for (u32 flags : {0u, u32(SL_IMAGE_READ_HEADER_ONLY)}) {
      std::unique_ptr<char[]> block(new char[bytes.size()]);
      memcpy(block.get(), bytes.data(), bytes.size());
      CSLMemoryStorage storage;
      storage.AttachBuffer(block.get(), u32(bytes.size()), false);
      CSLObject* object = SLCallGuarded(byName);
      ASSERT_NE(object, nullptr);
      CSLImageArray images;
      const bool read = static_cast<CSLBaseImageReader*>(object)->Read(&images, &storage, flags);
      const u32 code = SLGetLastError();
      object->Release();
      if (flags) {
        // Header only: the first description, without pixels.
        if (read && !f.images.empty()) {
          EXPECT_EQ(images[0]->GetPixels(), nullptr);
          EXPECT_EQ(images[0]->GetWidth(), f.images[0].width);
        }
        continue;
      }
      EXPECT_EQ(code, f.code);
      EXPECT_EQ(read, f.code == 0);
      ASSERT_EQ(images.GetCount(), f.images.size());
      for (u32 i = 0; i < images.GetCount(); ++i) ExpectImage(*images[i], f.images[i]);
    }
  }
}

}  // namespace
