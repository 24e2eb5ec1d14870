#include "tools/contentgen/Pictures.h"

#include "image/ImageClasses.h"
#include "image/SLImageArray.h"
#include "image/writers/SLImageWriterTGA.h"
#include "storage/SLMemoryStorage.h"
#include "tools/slpack/PackWriter.h"

namespace contentgen {

std::string TgaFile(const CSLImage& picture, bool rle, std::string* error) {
  SLRegisterImageClasses();
  CSLImageArray images;
  CSLImage* image = SLAppendNewImage(&images);
  CSLMemoryStorage storage;
  CSLImageWriterTGA writer;
  writer.m_rle = rle ? 1 : 0;
  u64 size = 0;
  if (!image || !picture.CopyTo(image) || !writer.Write(&images, &storage) || !storage.GetSize(&size)) {
    *error = "the TGA writer failed";
    return {};
  }
  std::string bytes(size, '\0');
  storage.Seek(0, SL_SEEK_BEGIN);
  storage.Read(bytes.data(), size);
  return bytes;
}

void PictureSet::Store(const std::string& name, const Canvas& picture, mximg::WriteOptions& options) {
  CSLImage image;
  std::string bytes, error;
  if (!picture.ToImage(&image)) return Fail(name + ": out of memory");
  CSLImage reduced;
  const CSLImage* source = &image;
  if (options.depth == 8) {
    // The palette picture keeps its indices: reduce it here with the library's quantizer.
    if (!image.CopyTo(&reduced) || !reduced.ConvertFormat(1, SL_CONVERT_OPAQUE, 256)) return Fail(name + ": no palette");
    source = &reduced;
  }
  if (!mximg::Write(*source, options, &bytes, &error)) return Fail(name + ": " + error);
  m_files.emplace_back(name, std::move(bytes));
  ++m_count;
}

void PictureSet::Add(const std::string& name, const Canvas& picture, Encoding encoding, bool point, unsigned pointX,
                     unsigned pointY) {
  mximg::WriteOptions o;
  o.encoding = encoding == Encoding::Raw ? mximg::kRaw : mximg::kZlib;
  o.point = point;
  o.pointX = pointX;
  o.pointY = pointY;
  switch (encoding) {
    case Encoding::Zlib: case Encoding::Raw: break;
    // The 8- and 16-bit pictures have no alpha: a mask plane keeps their shapes.
    case Encoding::Palette: o.depth = 8; o.palette = true; o.maskFromAlpha = true; break;
    case Encoding::ColourKey: o.depth = 24; o.key = true; o.keyColor = 0xFF00FF; break;  // magenta, 0x00BBGGRR
    case Encoding::MaskPlane: o.depth = 24; o.maskFromAlpha = true; break;
    case Encoding::Depth16: o.depth = 16; o.maskFromAlpha = true; break;
  }
  if (encoding == Encoding::ColourKey) {
    // Paint the transparent parts in the key colour so they stay out of the picture.
    Canvas keyed(picture.Width(), picture.Height());
    cairo_set_source_rgb(keyed.cr(), 1, 0, 1);
    cairo_paint(keyed.cr());
    cairo_set_source_surface(keyed.cr(), cairo_get_target(picture.cr()), 0, 0);
    cairo_paint(keyed.cr());
    return Store(name, keyed, o);
  }
  Store(name, picture, o);
}

void PictureSet::AddJpeg(const std::string& name, const Canvas& picture) {
  const std::filesystem::path in = Scratch(m_context, "pantalla.ppm"), out = Scratch(m_context, "pantalla.jpg");
  std::string error, jpeg;
  if (!WriteBytes(in, picture.Ppm(Hex(0xFFFFFF)), &error) ||
      !RunDriver(m_context, {"jpeg", in.string(), out.string()}, &error) || !ReadBytes(out, &jpeg))
    return Fail(name + ": " + error);
  mximg::WriteOptions o;
  o.depth = 24;
  o.encoding = mximg::kJpeg;
  o.embedded = std::move(jpeg);
  Store(name, picture, o);
}

void PictureSet::AddPng(const std::string& name, const Canvas& picture) {
  mximg::WriteOptions o;
  o.encoding = mximg::kPng;
  o.embedded = picture.Png();
  Store(name, picture, o);
}

void PictureSet::AddGif(const std::string& name, const Canvas& picture) {
  const std::filesystem::path in = Scratch(m_context, "figura.png"), out = Scratch(m_context, "figura.gif");
  std::string error, gif;
  if (!WriteBytes(in, picture.Png(), &error) || !RunDriver(m_context, {"gif", in.string(), out.string()}, &error) ||
      !ReadBytes(out, &gif))
    return Fail(name + ": " + error);
  mximg::WriteOptions o;
  o.encoding = mximg::kGif;
  o.embedded = std::move(gif);
  Store(name, picture, o);
}

bool PictureSet::Write(const std::filesystem::path& path, uint16_t version, uint32_t key, std::string* error) {
  if (!m_error.empty()) {
    *error = m_error;
    return false;
  }
  slpack::PackWriter pack(version, key);
  for (auto& [name, bytes] : m_files) pack.AddFile(name, std::vector<uint8_t>(bytes.begin(), bytes.end()));
  std::vector<uint8_t> out;
  if (!pack.Build(&out, error)) return false;
  std::error_code ec;
  std::filesystem::create_directories(path.parent_path(), ec);
  return slpack::WriteFile(path, out, error);
}

}  // namespace contentgen
