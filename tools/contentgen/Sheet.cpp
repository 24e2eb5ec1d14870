// The contact sheet: every picture of every pack under a folder decoded with the
// program's own readers, a sample line of each bitmap font drawn from its glyph pages,
// and one frame per second of each video, on one PNG to look the content over.
#include "tools/contentgen/Sheet.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>

#include "app/services/AppClasses.h"
#include "foundation/SLByteOrder.h"
#include "foundation/SLError.h"
#include "gamesystem/SLBaseGfx.h"
#include "image/SLImageArray.h"
#include "image/SLImageReader.h"
#include "media/reader/SLBaseVideoAudioReader.h"
#include "storage/SLFastFileStorage.h"
#include "storage/SLFileStorage.h"
#include "tools/common/ToolSupport.h"
#include "tools/contentgen/Content.h"
#include "tools/contentgen/Drawing.h"
#include "tools/slpack/PackReading.h"
#include "tools/slpack/PackWriter.h"

namespace contentgen {

namespace {

namespace fs = std::filesystem;

constexpr const char* kSample = "¡Hola! ¿Qué película haremos hoy? Ñandú, pingüino «cine»";
// Each accented letter beside its plain one, to tell them apart at a glance.
constexpr const char* kLetterPairs = "a á e é i í o ó u ú ü n ñ A Á E É I Í O Ó U Ú Ü N Ñ ! ¡ ? ¿";
constexpr int kFontRowHeight = 96;
constexpr int kColumns = 16, kCellWidth = 160, kThumbWidth = 152, kThumbHeight = 100, kCellHeight = 132;
constexpr int kSheetWidth = kColumns * kCellWidth, kMargin = 16;
constexpr int kVideoThumbWidth = 160;

// Straight-alpha RGBA pixels of a decoded picture, with what it shows as transparent.
struct Picture {
  int width = 0, height = 0;
  std::vector<uint32_t> argb;  // premultiplied, as cairo takes it
};

struct Labelled {
  std::string label, sublabel;
  Picture picture;
};

uint32_t Premultiply(uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
  return a << 24 | (r * a / 255) << 16 | (g * a / 255) << 8 | (b * a / 255);
}

// The first picture of `images`, with its colour key and, when a second picture of the
// same size follows (a mask plane), that mask, as the graphics device would show it.
bool ToPicture(CSLImageArray& images, Picture* out) {
  CSLImage* image = images.GetCount() ? images[0] : nullptr;
  if (!image || !image->GetWidth() || !image->GetHeight()) return false;
  CSLImage* mask = images.GetCount() > 1 ? images[1] : nullptr;
  if (mask && (mask->GetWidth() != image->GetWidth() || mask->GetHeight() != image->GetHeight())) mask = nullptr;
  u32 key = 0;
  const bool keyed = image->GetTransparentColor(&key);
  SLSetLastError(SL_OK);
  const bool alpha = SLPixelFormatHasAlpha(image->GetFormat());
  out->width = int(image->GetWidth());
  out->height = int(image->GetHeight());
  out->argb.resize(size_t(out->width) * size_t(out->height));
  for (u32 y = 0; y < image->GetHeight(); ++y)
    for (u32 x = 0; x < image->GetWidth(); ++x) {
      const u32 c = image->GetPixel(x, y);
      u32 a = alpha ? c >> 24 : 255;
      if (keyed && (c & 0xFFFFFF) == (key & 0xFFFFFF)) a = 0;
      if (mask && (mask->GetPixel(x, y) & 0xFF) < 128) a = 0;
      out->argb[size_t(y) * out->width + x] = Premultiply(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF, a);
    }
  return true;
}

// Draws `picture` scaled to fit w x h (never more than four times its size) centred in
// the box at x, y, over a checkerboard that shows where it is transparent (unless plain).
void Place(cairo_t* cr, const Picture& picture, double x, double y, double w, double h, bool plain = false) {
  const double scale = std::min({w / picture.width, h / picture.height, 4.0});
  const double pw = picture.width * scale, ph = picture.height * scale;
  const double px = std::round(x + (w - pw) / 2), py = std::round(y + (h - ph) / 2);
  cairo_save(cr);
  cairo_rectangle(cr, px, py, pw, ph);
  cairo_clip(cr);
  for (int cy = 0; !plain && cy * 8 < ph; ++cy)
    for (int cx = 0; cx * 8 < pw; ++cx) {
      SetColor(cr, (cx + cy) % 2 ? Hex(0xCCCCCC) : Hex(0xFFFFFF));
      cairo_rectangle(cr, px + cx * 8, py + cy * 8, 8, 8);
      cairo_fill(cr);
    }
  cairo_surface_t* surface = cairo_image_surface_create_for_data(
      reinterpret_cast<unsigned char*>(const_cast<uint32_t*>(picture.argb.data())), CAIRO_FORMAT_ARGB32, picture.width,
      picture.height, picture.width * 4);
  cairo_translate(cr, px, py);
  cairo_scale(cr, scale, scale);
  cairo_set_source_surface(cr, surface, 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr), scale >= 1 ? CAIRO_FILTER_NEAREST : CAIRO_FILTER_GOOD);
  cairo_paint(cr);
  cairo_restore(cr);
  cairo_surface_destroy(surface);
}

// A label cut with "…" to `width`.
std::string Fit(cairo_t* cr, std::string text, double size, double width) {
  if (TextWidth(cr, text, size, false, "DejaVu Sans") <= width) return text;
  while (!text.empty() && TextWidth(cr, text + "…", size, false, "DejaVu Sans") > width) {
    text.pop_back();
    while (!text.empty() && (uint8_t(text.back()) & 0xC0) == 0x80) text.pop_back();
    if (!text.empty() && uint8_t(text.back()) >= 0xC0) text.pop_back();
  }
  return text + "…";
}

// The files under `dir` whose extension is one of `extensions` (upper case), sorted.
std::vector<fs::path> FilesWith(const fs::path& dir, std::initializer_list<const char*> extensions) {
  std::vector<fs::path> files;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    if (!it->is_regular_file(ec)) continue;
    std::string extension = it->path().extension().string();
    for (char& c : extension) c = char(std::toupper(static_cast<unsigned char>(c)));
    for (const char* wanted : extensions)
      if (extension == wanted) files.push_back(it->path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

// Every picture of every pack: whatever entry a registered image reader takes.
bool PackPictures(const fs::path& dir, std::vector<Labelled>* out, std::string* error) {
  for (const fs::path& file : FilesWith(dir, {".DAT"})) {
    const std::string relative = fs::relative(file, dir).generic_string();
    slpack::PackListing listing;
    uint32_t code = 0;
    if (!slpack::ListPack(file.string(), &listing, error, &code)) {
      *error = relative + ": " + *error;
      return false;
    }
    CSLFileStorage source;
    CSLFastFileStorage pack;
    const std::u16string wide = slpack::Utf8ToUtf16(file.string());
    if (!source.OpenW(wide.c_str(), SL_STORAGE_READ) || !pack.AttachContainer(&source)) {
      *error = relative + ": cannot open the pack";
      return false;
    }
    for (const auto& entry : listing.entries) {
      if (entry.shadowed) continue;
      if (!pack.OpenW(slpack::Utf8ToUtf16(entry.name).c_str(), SL_STORAGE_READ)) continue;
      const SLClassRecord* record = CSLBaseImageReader::FindReaderClassByContent(&pack);
      CSLObject* object = record && record->CreateObject ? record->CreateObject() : nullptr;
      if (!object) {
        pack.Close();
        continue;
      }
      CSLImageArray images;
      Labelled labelled{entry.name, relative, {}};
      const bool read = static_cast<CSLBaseImageReader*>(object)->Read(&images, &pack, 0);
      object->Release();
      pack.Close();
      if (!read || !ToPicture(images, &labelled.picture)) {
        *error = relative + ": " + entry.name + " does not decode";
        return false;
      }
      out->push_back(std::move(labelled));
    }
  }
  return true;
}

// A graphics device with no display: it keeps the font records the framework loads, and
// draws their glyphs from the pages onto a cairo context.
class SheetGfx : public CSL_GS_BaseGfx {
 public:
  ~SheetGfx() override { Shutdown(); }
  bool Init(HINSTANCE, HWND, const SL_GS_DisplayMode*) override { return SLSucceed(true); }
  void Shutdown() override { DestroyAllHandles(); }
  bool ChangeMode(const SL_GS_DisplayMode*) override { return SLFail(SL_E_NOT_SUPPORTED, false); }
  bool Clear(u32, bool, bool) override { return SLSucceed(true); }
  i32 GetClientScreenX() override { return 0; }
  i32 GetClientScreenY() override { return 0; }
  u32 GetWidth() override { return 0; }
  u32 GetHeight() override { return 0; }
  u32 GetBitsPerPixel() override { return 32; }
  bool IsWindowed() override { return true; }
  bool IsReady() override { return true; }
  bool EndFrame() override { return SLSucceed(true); }
  SL_GS_SurfaceAccess* GrabFrontBuffer(u32) override { return SLFail(SL_E_NOT_SUPPORTED, (SL_GS_SurfaceAccess*)nullptr); }
  bool ReleaseFrontBufferGrab() override { return SLFail(SL_E_NOT_SUPPORTED, false); }
  SL_GS_SurfaceAccess* LockBackBuffer(bool) override { return SLFail(SL_E_NOT_SUPPORTED, (SL_GS_SurfaceAccess*)nullptr); }
  bool UnlockBackBuffer() override { return SLFail(SL_E_NOT_SUPPORTED, false); }
  bool SetGamma(double) override { return SLFail(SL_E_NOT_SUPPORTED, false); }
  double GetGamma() override { return 1.0; }
  bool SetDrawState(u32) override { return SLSucceed(true); }
  u32 GetDrawState() override { return 0; }
  bool GetSizeLimits(u32*, u32*) override { return SLSucceed(true); }
  bool DrawImage(SL_GS_Image*, i32, i32, const SL_GS_DrawImageOptions*) override { return SLSucceed(true); }
  bool CreateImageTextures(SL_GS_ImageRecord*) override { return SLSucceed(true); }
  void FreeImageTextures(SL_GS_ImageRecord*) override {}
  bool SetImageDirty(SL_GS_ImageRecord*) override { return SLSucceed(true); }
  bool CreateFontTextures(SL_GS_FontRecord*) override { return SLSucceed(true); }
  void FreeFontTextures(SL_GS_FontRecord*) override {}
  // The glyphs at their cells, set as the device draws them: each glyph's width and two
  // pixels, the kerning of a pair added after its second glyph is drawn. `m_target` takes
  // the drawing.
  i32 DrawTextW(SL_GS_Font* font, i32 x, i32 y, u32, const SL_GS_DrawImageOptions*, const SLWChar* text,
                u32 length) override {
    SL_GS_FontRecord* record = FindFontRecord(font);
    if (!record || !m_target) return 0;
    std::vector<Picture> pages(record->pages->GetCount());
    i32 pen = x;
    u32 previous = 0;
    for (u32 i = 0; i < length; ++i) {
      const SL_GS_FontGlyph* glyph = FindGlyph(font, text[i]);
      if (!glyph || glyph->page >= pages.size()) {
        previous = 0;
        continue;
      }
      Picture& page = pages[glyph->page];
      if (page.argb.empty()) {
        CSLImageArray one;
        one.Add((*record->pages)[glyph->page]);
        ToPicture(one, &page);
      }
      Picture cell;
      cell.width = int(glyph->right - glyph->left);
      cell.height = int(glyph->bottom - glyph->top);
      if (cell.width > 0 && cell.height > 0 && !page.argb.empty()) {
        for (int row = 0; row < cell.height; ++row)
          for (int col = 0; col < cell.width; ++col)
            cell.argb.push_back(page.argb[size_t(glyph->top + row) * page.width + glyph->left + col]);
        Place(m_target, cell, pen, y, cell.width, cell.height, true);
      }
      if (const SL_GS_FontKerningPair* pair = previous ? FindKerningPair(font, previous, text[i]) : nullptr)
        pen += pair->adjustment;
      previous = text[i];
      pen += i32(glyph->right - glyph->left) + 2;
    }
    SLSetLastError(SL_OK);
    return pen - x;
  }
  cairo_t* m_target = nullptr;
};

// Frames once a second of the first video stream, as pictures (none for a sound-only file).
bool VideoFrames(const fs::path& file, std::vector<Picture>* out, std::string* error) {
  const SLClassRecord* record = CSLBaseVideoAudioReader::FindReaderClassByExtension(file.string().c_str());
  CSLObject* object = record && record->CreateObject ? record->CreateObject() : nullptr;
  if (!object) {
    *error = "no reader";
    return false;
  }
  auto* reader = static_cast<CSLBaseVideoAudioReader*>(object);
  struct Releaser {
    CSLBaseVideoAudioReader* r;
    ~Releaser() { r->Release(); }
  } releaser{reader};
  u32 streams = 0, stream = 0, type = 0;
  if (!reader->OpenFile(file.string().c_str(), 0) || !reader->GetStreamCount(&streams)) {
    *error = "does not open";
    return false;
  }
  while (stream < streams && !(reader->GetStreamType(stream, &type) && type == SL_STREAM_VIDEO)) ++stream;
  if (stream == streams) return true;  // sound only
  SLVideoFormat format{};
  u64 frames = 0;
  double rate = 0;
  if (!reader->GetVideoFormat(stream, &format) || !reader->GetVideoFrameCount(stream, &frames) ||
      !reader->GetVideoFrameRate(stream, &rate) || rate <= 0 || !reader->StartStream(stream)) {
    *error = "has no readable video stream";
    return false;
  }
  const u32 bits = format.bitsPerPixel, stride = (format.width * bits + 31) / 32 * 4;
  for (u64 second = 0;; ++second) {
    const u64 frame = u64(std::llround(double(second) * rate));
    if (frame >= frames) break;
    const void* data = nullptr;
    if (!reader->GetVideoFrame(stream, frame, &data, nullptr)) {
      *error = "frame " + std::to_string(frame) + " does not decode";
      return false;
    }
    const u8* bytes = static_cast<const u8*>(data);
    // After the 40-byte header: a palette (8 bits), three masks (16 bits with bit fields,
    // compression 3), else the rows; plain 16-bit rows are 5-5-5.
    const bool fields = bits == 16 && SLLoadLE32(bytes + 16) == 3;
    const u8* pixels = bytes + 40 + (bits == 8 ? 1024 : fields ? 12 : 0);
    u32 masks[3] = {0x7C00, 0x03E0, 0x001F};
    if (fields)
      for (int i = 0; i < 3; ++i) masks[i] = SLLoadLE32(bytes + 40 + 4 * i);
    Picture picture;
    picture.width = int(format.width);
    picture.height = int(format.height);
    picture.argb.resize(size_t(format.width) * format.height);
    for (u32 y = 0; y < format.height; ++y) {
      const u8* row = pixels + u64(format.height - 1 - y) * stride;  // bottom-up rows
      for (u32 x = 0; x < format.width; ++x) {
        u32 r, g, b;
        if (bits == 8) {
          const u8* entry = bytes + 40 + 4 * row[x];
          b = entry[0], g = entry[1], r = entry[2];
        } else if (bits == 16) {
          const u32 v = u32(row[2 * x]) | u32(row[2 * x + 1]) << 8;
          auto channel = [v](u32 mask) { return mask ? (v & mask) * 255 / mask : 0; };
          r = channel(masks[0]), g = channel(masks[1]), b = channel(masks[2]);
        } else {
          const u8* p = row + x * (bits / 8);
          b = p[0], g = p[1], r = p[2];
        }
        picture.argb[size_t(y) * format.width + x] = Premultiply(r, g, b, 255);
      }
    }
    out->push_back(std::move(picture));
  }
  reader->StopStream(stream);
  return true;
}

void Heading(cairo_t* cr, const std::string& text, double y) {
  SetColor(cr, Hex(0x3A2A6A));
  cairo_rectangle(cr, 0, y, kSheetWidth, 30);
  cairo_fill(cr);
  Text(cr, text, kMargin, y + 22, 18, Hex(0xFFFFFF), Align::Left, true, {}, 0, "DejaVu Sans");
}

}  // namespace

bool WriteSheet(const fs::path& dir, const fs::path& output, std::string* error) {
  SLRegisterAppClasses();
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) {
    *error = "not a folder: " + dir.string();
    return false;
  }
  if (!sltool::CanWriteBeside(output.string(), error)) return false;
  std::vector<Labelled> pictures;
  if (!PackPictures(dir, &pictures, error)) return false;

  SheetGfx gfx;
  struct FontLine {
    std::string label;
    SL_GS_Font* font;
  };
  std::vector<FontLine> fonts;
  for (const fs::path& file : FilesWith(dir, {".FNT"})) {
    SL_GS_Font* font = gfx.LoadFontFromFile(file.string().c_str());
    if (!font) {
      *error = fs::relative(file, dir).generic_string() + ": the font does not load";
      return false;
    }
    fonts.push_back({fs::relative(file, dir).generic_string(), font});
  }
  struct VideoRow {
    std::string label;
    std::vector<Picture> frames;
  };
  std::vector<VideoRow> videos;
  for (const fs::path& file : FilesWith(dir, {".AVI", ".MXV"})) {
    VideoRow row{fs::relative(file, dir).generic_string(), {}};
    if (!VideoFrames(file, &row.frames, error)) {
      *error = row.label + ": " + *error;
      return false;
    }
    if (!row.frames.empty()) videos.push_back(std::move(row));
  }

  // Sections one under the other: pictures in a grid, a line per font, a strip per video.
  const int pictureRows = int((pictures.size() + kColumns - 1) / kColumns);
  const int perStrip = (kSheetWidth - 2 * kMargin) / (kVideoThumbWidth + 8);
  int videoHeight = 0;
  for (const VideoRow& v : videos) {
    const int strips = int((v.frames.size() + perStrip - 1) / perStrip);
    const int thumb = v.frames[0].height * kVideoThumbWidth / std::max(1, v.frames[0].width);
    videoHeight += 24 + strips * (thumb + 8);
  }
  const int height = 40 + pictureRows * kCellHeight + 40 + int(fonts.size()) * kFontRowHeight + 40 + videoHeight + kMargin;
  if (height > 32767) {
    *error = "too much content for one sheet (" + std::to_string(height) + " pixels high)";
    return false;
  }
  Canvas canvas(kSheetWidth, height);
  cairo_t* cr = canvas.cr();
  SetColor(cr, Hex(0xF4F1EA));
  cairo_paint(cr);
  double y = 0;
  Heading(cr, "Imágenes (" + std::to_string(pictures.size()) + ")", y);
  y += 40;
  for (size_t i = 0; i < pictures.size(); ++i) {
    const double x = double(i % kColumns) * kCellWidth, top = y + double(i / kColumns) * kCellHeight;
    Place(cr, pictures[i].picture, x + (kCellWidth - kThumbWidth) / 2, top, kThumbWidth, kThumbHeight);
    const std::string size = std::to_string(pictures[i].picture.width) + "×" + std::to_string(pictures[i].picture.height);
    Text(cr, Fit(cr, pictures[i].label, 10, kThumbWidth), x + kCellWidth / 2, top + kThumbHeight + 13, 10,
         Hex(0x202020), Align::Center, false, {}, 0, "DejaVu Sans");
    Text(cr, Fit(cr, pictures[i].sublabel + " · " + size, 9, kThumbWidth), x + kCellWidth / 2,
         top + kThumbHeight + 26, 9, Hex(0x707070), Align::Center, false, {}, 0, "DejaVu Sans");
  }
  y += pictureRows * kCellHeight;
  Heading(cr, "Letras (" + std::to_string(fonts.size()) + ")", y);
  y += 40;
  const std::u16string sample = slpack::Utf8ToUtf16(kSample), pairs = slpack::Utf8ToUtf16(kLetterPairs);
  gfx.m_target = cr;
  for (const FontLine& f : fonts) {
    // Glyph pages hold the ink as the file has it (the program tints it when drawing),
    // so the samples go on a dark band where white and coloured ink both show.
    SetColor(cr, Hex(0x2B2B3A));
    cairo_rectangle(cr, 200, y - 4, kSheetWidth - 200 - kMargin, kFontRowHeight - 4);
    cairo_fill(cr);
    Text(cr, f.label, kMargin, y + 14, 11, Hex(0x505050), Align::Left, false, {}, 0, "DejaVu Sans");
    // Twice the size, pixel for pixel, so the glyph edges can be judged.
    cairo_save(cr);
    cairo_translate(cr, 220, y);
    cairo_scale(cr, 2, 2);
    gfx.DrawTextW(f.font, 0, 0, 0, nullptr, sample.data(), u32(sample.size()));
    gfx.DrawTextW(f.font, 0, (kFontRowHeight - 8) / 4, 0, nullptr, pairs.data(), u32(pairs.size()));
    cairo_restore(cr);
    gfx.DestroyFont(f.font);
    y += kFontRowHeight;
  }
  gfx.m_target = nullptr;
  Heading(cr, "Vídeos, un fotograma por segundo (" + std::to_string(videos.size()) + ")", y);
  y += 40;
  for (const VideoRow& v : videos) {
    Text(cr, v.label, kMargin, y + 14, 11, Hex(0x505050), Align::Left, false, {}, 0, "DejaVu Sans");
    y += 24;
    const int thumb = v.frames[0].height * kVideoThumbWidth / std::max(1, v.frames[0].width);
    for (size_t i = 0; i < v.frames.size(); ++i) {
      const double x = kMargin + double(i % perStrip) * (kVideoThumbWidth + 8);
      Place(cr, v.frames[i], x, y + double(i / perStrip) * (thumb + 8), kVideoThumbWidth, thumb);
    }
    y += double((v.frames.size() + perStrip - 1) / perStrip) * (thumb + 8);
  }
  const std::string png = canvas.Png();
  if (png.empty()) {
    *error = "cannot encode the sheet";
    return false;
  }
  return sltool::WriteWholeFile(output.string(), png.data(), png.size(), error);
}

}  // namespace contentgen
