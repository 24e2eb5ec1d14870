// A set of MXIMG pictures on their way into a graphics pack, each in the encoding chosen
// for it: raw or zlib rows, an embedded JPEG (cjpeg), PNG (cairo) or GIF (convert), and
// the 8-bit, 16-bit, colour-keyed and masked variants.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "tools/contentgen/Content.h"
#include "tools/contentgen/Drawing.h"
#include "tools/mximgwrite/MximgWriter.h"

namespace contentgen {

enum class Encoding { Zlib, Raw, Palette, ColourKey, MaskPlane, Depth16 };

// A 32-bit (or whatever the image holds) Targa file, bottom row first, run-length coded
// when asked, with the version 2 footer and no extension area.
std::string TgaFile(const CSLImage& image, bool rle, std::string* error);

class PictureSet {
 public:
  explicit PictureSet(Context& context) : m_context(context) {}

  // 32-bit B, G, R, A rows (zlib unless told), or one of the variants; a point when given.
  void Add(const std::string& name, const Canvas& picture, Encoding encoding = Encoding::Zlib, bool point = false,
           unsigned pointX = 0, unsigned pointY = 0);
  void AddJpeg(const std::string& name, const Canvas& picture);
  void AddPng(const std::string& name, const Canvas& picture);
  void AddGif(const std::string& name, const Canvas& picture);
  // Any other file, stored as it is.
  void AddBytes(const std::string& name, std::string bytes) { m_files.emplace_back(name, std::move(bytes)); }

  size_t Count() const { return m_count; }
  // The pack with every picture; the first failure of any Add is reported here.
  bool Write(const std::filesystem::path& path, uint16_t version, uint32_t key, std::string* error);

 private:
  void Store(const std::string& name, const Canvas& picture, mximg::WriteOptions& options);
  void Fail(const std::string& message) {
    if (m_error.empty()) m_error = message;
  }

  Context& m_context;
  std::vector<std::pair<std::string, std::string>> m_files;
  size_t m_count = 0;
  std::string m_error;
};

// The building-box screen's pictures, with one box per name ("Caja" and five characters).
void AddBuildingScreen(PictureSet& set, const std::vector<std::string>& boxes);

}  // namespace contentgen
