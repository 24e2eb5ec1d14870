// The EXIF data against blocks built in the test (both byte orders, damaged structures,
// pointer loops, every value type) and against Pillow's reading of exiftool's blocks.
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/SLDateTime.h"
#include "foundation/SLError.h"
#include "image/readers/SLImageExifData.h"
#include "image/readers/SLImageExifTags.h"
#include "image/readers/SLImageReaderJPG.h"
#include "storage/SLMemoryStorage.h"
#include "tests/image/CodecTools.h"
#include "tests/image/ExifBlocks.h"
#include "tests/support/TempDir.h"

namespace {

using exif_test::Block;
using exif_test::Entry;
using exif_test::Tiff;
using namespace std::string_literals;

bool Load(CSLImageExifData& exif, const std::string& block) {
  return exif.Load(reinterpret_cast<const u8*>(block.data()), u32(block.size()), 3);
}

std::string Value(const SLImageExifEntry* entry) {
  return entry ? std::string(reinterpret_cast<const char*>(entry->data), entry->dataSize) : "(none)";
}

TEST(ExifData, ValuesReadTheSameInBothByteOrders) {
  const std::vector<Entry> ifd0 = {
      Entry::Short(0x128, 2), Entry::Rational(0x11A, 72, 1), Entry::Rational(0x11B, 300, 7),
      Entry::Long(0x101, 70000), Entry::Double(0x9C9B, 300.5),
      Entry::Double(0x9C9C, 301.5), Entry::SRational(0x9204, 3, 2), Entry::SRational(0x9201, -3, 2),
      Entry::Ascii(0x10F, "Camara"), Entry::Long(0x112, 6) /* Orientation stored as LONG */,
      Entry::SRational(0x829A, 1, 250) /* ExposureTime stored as SRATIONAL */,
      Entry::Bytes(0x9286, 7, "abcd") /* UserComment without a character code */,
      Entry::Bytes(0x9C9D, 1, "\x05\x06\x07"),
  };
  const struct {
    u32 tag, index;
    u32 value;                // GetUInt16, or the code when `code`
    u32 top, bottom;          // GetRational (0, 0: fails)
    u32 code, rationalCode;   // codes of failures (0: succeeds)
  } cases[] = {
      {0x128, 0, 2, 2, 1, 0, 0},
      {0x11A, 0, 72, 72, 1, 0, 0},
      {0x11B, 0, 43, 300, 7, 0, 0},
      {0x101, 0, 0, 70000, 1, 0x80002004, 0},
      {0x9C9B, 0, 300, 601, 2, 0, 0},   // ties go to the even neighbour
      {0x9C9C, 0, 302, 603, 2, 0, 0},
      {0x9204, 0, 2, 3, 2, 0, 0},
      {0x9201, 0, 0, 0, 0, 0x80002004, 0x80002004},
      {0x10F, 0, 0, 0, 0, 0x80110010, 0x80110010},
      {0x112, 0, 6, 6, 1, 0, 0},
      {0x829A, 0, 0, 1, 250, 0, 0},
      {0x9C9D, 2, 7, 7, 1, 0, 0},
      {0x9C9D, 3, 0, 0, 0, 0x80001008, 0x80001008},
      {0x1234, 0, 0, 0, 0, 0x80010001, 0x80010001},
  };
  for (bool bigEndian : {false, true}) {
    SCOPED_TRACE(bigEndian ? "MM" : "II");
    CSLImageExifData exif;
    ASSERT_TRUE(Load(exif, Block(bigEndian, {ifd0}))) << std::hex << SLGetLastError();
    EXPECT_EQ(exif.GetByteOrder(), bigEndian ? 1u : 0u);
    EXPECT_EQ(exif.GetKind(), 4u);
    for (const auto& c : cases) {
      SCOPED_TRACE(c.tag);
      EXPECT_EQ(exif.GetUInt16(c.tag, 0, c.index), c.code ? 0 : c.value);
      EXPECT_EQ(SLGetLastError(), c.code);
      u32 top = 9, bottom = 9;
      EXPECT_EQ(exif.GetRational(&top, &bottom, c.tag, CSLImageExifData::kAnyDirectory, c.index), !c.rationalCode);
      EXPECT_EQ(SLGetLastError(), c.rationalCode);
      EXPECT_EQ(top, c.top);
      EXPECT_EQ(bottom, c.bottom);
    }
    EXPECT_EQ(exif.FindEntry(0, 0x112)->type, u32(SL_EXIF_SHORT));
    EXPECT_EQ(exif.FindEntry(0, 0x829A)->type, u32(SL_EXIF_RATIONAL));
    EXPECT_EQ(Value(exif.FindEntry(0, 0x9286)), std::string("ASCII\0\0\0abcd", 12));
  }
}

TEST(ExifData, UserCommentsGetACharacterCode) {
  const struct {
    std::string stored, read;
  } cases[] = {
      {"abcd", std::string("ASCII\0\0\0abcd", 12)},
      {std::string("UNICODE\0h\0i\0", 12), std::string("UNICODE\0h\0i\0", 12)},
      {std::string("\0\0\0\0xxxxhola", 12), std::string("ASCII\0\0\0hola", 12)},
      {"        hola", std::string("ASCII\0\0\0hola", 12)},
      {std::string(8, '\0'), std::string(8, '\0')},
      {"Unicode?hola", std::string("ASCII\0\0\0Unicode?hola", 20)},
  };
  for (const auto& c : cases) {
    CSLImageExifData exif;
    ASSERT_TRUE(Load(exif, Block(true, {{Entry::Bytes(0x9286, 2, c.stored)}})));
    const SLImageExifEntry* entry = exif.FindLoadedEntry(0, 0x9286);
    EXPECT_EQ(Value(entry), c.read);
    EXPECT_EQ(entry->type, u32(SL_EXIF_UNDEFINED));
    EXPECT_EQ(entry->count, c.read.size());
  }
}

// A chain of `length` directories below IFD0, each reached from the one before through
// an Exif or GPS pointer (in turn) and holding `width` copies of that pointer.
std::string PointerChain(u32 length, u32 width) {
  Tiff tiff(false);
  const u32 first = tiff.Directory({Entry::Pointer(0x8769, 0)});
  std::vector<u32> at = {first};
  for (u32 level = 1; level <= length; ++level) {
    std::vector<Entry> entries;
    if (level < length)
      for (u32 i = 0; i < width; ++i) entries.push_back(Entry::Pointer(level % 2 ? 0x8825 : 0x8769, 0));
    at.push_back(tiff.Directory(entries));
  }
  std::string& bytes = tiff.Bytes();
  // Each directory's pointers aim at the next one.
  for (u32 level = 0; level < length; ++level) {
    const u32 count = u8(bytes[at[level]]) | u8(bytes[at[level] + 1]) << 8;
    for (u32 i = 0; i < count; ++i) {
      const u32 field = at[level] + 2 + 12 * i + 8;
      for (int b = 0; b < 4; ++b) bytes[field + b] = char(at[level + 1] >> (8 * b));
    }
  }
  return tiff.Block();
}

TEST(ExifData, DamagedAndHostileStructures) {
  Tiff loop(false);
  // IFD0 -> Exif directory X (holds an entry, points at itself and at GPS directory Y),
  // Y points back at X and at IFD0 as an Interoperability directory.
  const u32 x = 8 + 2 + 12 + 4, y = x + 2 + 3 * 12 + 4 + 8;
  loop.Directory({Entry::Pointer(0x8769, x)});
  loop.Directory({Entry::Rational(0x829A, 1, 60), Entry::Pointer(0x8769, x), Entry::Pointer(0x8825, y)});
  loop.PadTo(y);
  loop.Directory({Entry::Pointer(0x8769, x), Entry::Pointer(0xA005, 8), Entry::Rational(2, 40, 1)});
  std::string truncated = Block(false, {{Entry::Short(0x128, 3), Entry::Short(0x112, 8), Entry::Short(0x213, 2)}});
  truncated.resize(6 + 8 + 2 + 2 * 12);  // the count promises three entries, two fit
  const struct {
    const char* what;
    std::string block;
    u32 code;  // 0: loads
  } cases[] = {
      {"pointer loops are followed once", loop.Block(), 0},
      {"a count past the end gives what fits", truncated, 0},
      {"nesting 30 deep", PointerChain(30, 1), 0},
      {"nesting 31 deep", PointerChain(31, 1), 0x80001009},
      {"a wide tree of empty directories", PointerChain(25, 8), 0x80001009},
      {"IFD0 past the end", Block(false, {{}}).replace(6 + 4, 4, "\xFF\0\0\0", 4), 0x80001009},
      {"IFD1 past the end", Block(true, {{Entry::Short(0x128, 2)}}).replace(6 + 8 + 2 + 12, 4, "\0\0\x10\0", 4),
       0x80001009},
      {"a pointer past the end", Block(false, {{Entry::Pointer(0x8825, 5000)}}), 0x80001009},
      {"byte order", "Exif\0\0XX\x2A\0\x08\0\0\0\0\0"s, 0x80001009},
      {"magic number", "Exif\0\0II\x2B\0\x08\0\0\0\0\0"s, 0x80001009},
      {"signature", "Exit\0\0II\x2A\0\x08\0\0\0\0\0"s, 0x80001009},
      {"only the signature", "Exif\0\0"s, 0x80001009},
      {"empty", "", 0x80001003},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    CSLImageExifData exif;
    EXPECT_EQ(Load(exif, c.block), c.code == 0);
    EXPECT_EQ(SLGetLastError(), c.code);
    if (c.code) {
      for (u32 d = 0; d < SL_EXIF_IFD_COUNT; ++d) EXPECT_EQ(exif.GetEntryCount(d), 0u);
    }
  }
  CSLImageExifData exif;
  ASSERT_TRUE(Load(exif, loop.Block()));
  EXPECT_EQ(exif.GetUInt16(0x829A, 2, 0), 0);
  EXPECT_NE(exif.FindLoadedEntry(2, 0x829A), nullptr);
  EXPECT_NE(exif.FindLoadedEntry(3, 2), nullptr);
  EXPECT_EQ(exif.FindLoadedEntry(4, 2), nullptr);
  ASSERT_TRUE(Load(exif, truncated));
  EXPECT_EQ(exif.GetUInt16(0x112, 0, 0), 8);
  EXPECT_EQ(exif.FindLoadedEntry(0, 0x213), nullptr);
}

TEST(ExifData, ValuesReachingPastTheBlockAreSkipped) {
  // Out-of-line values whose offset plus size passes the end, or wraps around 32 bits.
  const std::string block = Block(false, {{Entry::Raw(0x11A, 5, 1, 0xFFFFFFFCu), Entry::Raw(0x10F, 2, 40, 30),
                                           Entry::Raw(0x110, 2, 0x40000000, 8), Entry::Ascii(0x131, "ok")}});
  CSLImageExifData exif;
  ASSERT_TRUE(Load(exif, block)) << std::hex << SLGetLastError();
  EXPECT_EQ(exif.GetEntryCount(0), 1u + 147u) << "only the sound entry and the defaults";
  EXPECT_EQ(exif.FindLoadedEntry(0, 0x11A), nullptr);
  EXPECT_EQ(exif.FindLoadedEntry(0, 0x10F), nullptr);
  EXPECT_EQ(Value(exif.FindLoadedEntry(0, 0x131)), std::string("ok\0", 3));
  u32 top = 0, bottom = 0;
  EXPECT_TRUE(exif.GetRational(&top, &bottom, 0x11A, 0, 0));
  EXPECT_EQ(top, 72u);
  // Thousands of entries naming the same 30000 bytes copy no more than twice the block.
  Tiff overlapping(false);
  std::vector<Entry> same(2000, Entry::Raw(0x9C9C, 1, 30000, 8));
  overlapping.Directory(same);
  overlapping.PadTo(8 + 30000);
  ASSERT_TRUE(Load(exif, overlapping.Block()));
  EXPECT_LT(exif.GetEntryCount(0) - 147, 8u);
}

TEST(ExifData, ThumbnailAndLargeBlocks) {
  const std::string thumbnail = "\xFF\xD8 a small picture \xFF\xD9";
  Tiff tiff(true);
  const u32 first = tiff.Directory({Entry::Short(0x128, 2)});
  tiff.PadTo(40000);
  const u32 data = u32(tiff.Size());
  tiff.Bytes() += thumbnail;
  tiff.SetNext(first, tiff.Directory({Entry::Long(0x201, data), Entry::Long(0x202, u32(thumbnail.size())),
                                      Entry::Short(0x103, 6)}));
  CSLImageExifData exif;
  ASSERT_TRUE(Load(exif, tiff.Block()));
  u32 size = 0;
  const u8* copy = exif.GetThumbnail(&size);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(copy), size), thumbnail);
  EXPECT_EQ(exif.GetUInt16(0x103, 1, 0), 6);
  EXPECT_EQ(exif.FindLoadedEntry(1, 0x201), nullptr) << "the thumbnail tags are not entries";
  // A thumbnail length past the block leaves no thumbnail.
  ASSERT_TRUE(Load(exif, Block(false, {{}, {Entry::Long(0x201, 8), Entry::Long(0x202, 1 << 20)}})));
  EXPECT_EQ(exif.GetThumbnail(&size), nullptr);
}

TEST(ExifData, SupportLevelsAndDefaults) {
  // With kind 4 the mandatory tags are the ones every data kind requires.
  std::multimap<u32, u32> mandatory;
  for (const auto& row : SLInternals::kSLExifTagTable)
    for (u32 d = 0; d < SL_EXIF_IFD_COUNT; ++d)
      if (CSLImageExifData::GetSupportLevel(row.tag, d, 4) == SL_EXIF_LEVEL_MANDATORY) mandatory.emplace(d, row.tag);
  const std::multimap<u32, u32> expected = {{0, 0x11A}, {0, 0x11B}, {0, 0x128}, {1, 0x103}, {1, 0x11A},
                                            {1, 0x11B}, {1, 0x128}, {2, 0x9000}, {2, 0xA000}, {2, 0xA001}};
  EXPECT_EQ(mandatory, expected);

  CSLImageExifData::SetClock([](CSLDateTime* now) { return now->SetDateTime(2024, 2, 29, 13, 5, 9); });
  CSLImageExifData exif;
  ASSERT_TRUE(Load(exif, Block(false, {{Entry::Rational(0x11A, 300, 1)}})));
  CSLImageExifData::SetClock(nullptr);
  // Every row in every directory, but IFD0 keeps only its own mandatory XResolution.
  u32 total = 0;
  for (u32 d = 0; d < SL_EXIF_IFD_COUNT; ++d) total += exif.GetEntryCount(d);
  EXPECT_EQ(total, 147u * 5);
  EXPECT_EQ(Value(exif.FindEntry(2, 0x9003)), std::string("2024:02:29 13:05:09\0", 20));
  EXPECT_EQ(Value(exif.FindEntry(0, 0x8298)), std::string("[None]\0[None]\0", 14));
  EXPECT_EQ(Value(exif.FindEntry(2, 0x9000)), "0210");
}

// exiftool writes the block, Pillow reads it; every numeric tag Pillow reports in IFD0
// and the Exif directory reads back equal here, in both byte orders.
TEST(ExifData, AgreesWithPillowOnExiftoolBlocks) {
  TempDir dir;
  dir.Write("pil.py",
            "import sys\n"
            "from PIL import Image, TiffImagePlugin\n"
            "e = Image.open(sys.argv[1]).getexif()\n"
            "for d, ifd in ((0, e), (2, e.get_ifd(0x8769))):\n"
            "  for tag, v in ifd.items():\n"
            "    if tag in (0x8769, 0x8825, 0xA005, 0x201, 0x202): continue\n"
            "    for i, x in enumerate(v if isinstance(v, tuple) else (v,)):\n"
            "      if isinstance(x, TiffImagePlugin.IFDRational):\n"
            "        print(d, tag, i, 'r', x.numerator, x.denominator)\n"
            "      elif isinstance(x, int):\n"
            "        print(d, tag, i, 'i', x)\n");
  for (const char* order : {"II", "MM"}) {
    SCOPED_TRACE(order);
    image_test::RunCommand("convert -size 16x8 gradient:red-blue '" + dir.Host("e.jpg") + "'");
    image_test::RunCommand(std::string("exiftool -q -overwrite_original -ExifByteOrder=") + order +
                           " -Make=Camara -Orientation#=6 -ExposureTime=1/250 -FNumber=2.8 -ISO=200"
                           " -FocalLength=35 -Flash#=16 -MeteringMode#=5 -ColorSpace#=1 -ExifImageWidth=1600"
                           " -ExifImageHeight=1200 -WhiteBalance#=1 -SceneCaptureType#=2 -ApertureValue=3.0"
                           " -ShutterSpeedValue=1/250 -SubjectDistance=2.5 -UserComment=hola '" +
                           dir.Host("e.jpg") + "'");
    CSLImageReaderJPG reader;
    CSLImageArray images;
    CSLMemoryStorage storage;
    const std::string bytes = dir.Read("e.jpg");
    storage.Write(bytes.data(), bytes.size());
    storage.Seek(0, SL_SEEK_BEGIN);
    ASSERT_TRUE(reader.Read(&images, &storage, 0));
    const CSLImageExifData& exif = *reader.GetExifData();
    std::istringstream lines(image_test::RunCommand("/usr/bin/python3 '" + dir.Host("pil.py") + "' '" +
                                                    dir.Host("e.jpg") + "'"));
    u32 directory, tag, index, compared = 0;
    std::string kind;
    while (lines >> directory >> tag >> index >> kind) {
      SCOPED_TRACE(tag);
      ASSERT_NE(exif.FindLoadedEntry(i32(directory), tag), nullptr);
      if (kind == "i") {
        u32 value;
        lines >> value;
        EXPECT_EQ(exif.GetUInt16(tag, i32(directory), index), value);
      } else {
        i64 top, bottom;
        lines >> top >> bottom;
        if (top < 0 || bottom < 0) continue;
        u32 ourTop = 0, ourBottom = 0;
        EXPECT_TRUE(exif.GetRational(&ourTop, &ourBottom, tag, i32(directory), index));
        EXPECT_EQ(i64(ourTop) * bottom, top * i64(ourBottom)) << ourTop << "/" << ourBottom;
      }
      ++compared;
    }
    EXPECT_GE(compared, 15u);
    EXPECT_EQ(Value(exif.FindLoadedEntry(2, 0x9286)), std::string("ASCII\0\0\0hola", 12));
    EXPECT_EQ(exif.GetByteOrder(), order[0] == 'M' ? 1u : 0u);
  }
}

}  // namespace
