#include "image/readers/SLImageReaderPNG.h"

#include <png.h>

#include "foundation/SLArray.h"
#include "foundation/SLError.h"
#include "foundation/SLMemory.h"

SL_IMPLEMENT_CLASS_CREATABLE(CSLImageReaderPNG, CSLBaseImageReader)

namespace {

// Ancillary chunks (text, profiles) are kept up to this size; larger ones are errors.
constexpr png_alloc_size_t kChunkLimit = 8u << 20;

// Everything a decode shares across the setjmp in Decode. Plain data only: libpng leaves
// through longjmp, skipping every frame up to Decode; the caller releases what this holds.
struct PngJob {
  png_structp png;
  png_infop info;
  CSLBaseStorage* storage;
  CSLImageArray* images;
  u32 flags;
  png_bytep* rows;
  u32 failure;  // the code a callback left libpng with
};

[[noreturn]] void OnError(png_structp png, png_const_charp) {
  static_cast<PngJob*>(png_get_error_ptr(png))->failure = SL_E_SYSTEM;
  png_longjmp(png, 1);
}
void OnWarning(png_structp, png_const_charp) {}

// libpng's largest honest blocks are its row buffers, at most twice an image row of the
// largest image the limit allows (16-bit samples before stripping); a chunk claiming more
// is refused here, before any memory is touched.
png_voidp OnAllocate(png_structp, png_alloc_size_t size) {
  const u64 limit = 2 * SLGetImageBufferLimit() + 65536;
  return size && size <= 0xFFFFFFFFu && size <= limit ? SLAllocZero(u32(size)) : nullptr;
}
void OnFree(png_structp, png_voidp block) { SLInternals::SLFreeKeepingError(block); }

void OnRead(png_structp png, png_bytep data, size_t length) {
  if (!length) return;
  PngJob* job = static_cast<PngJob*>(png_get_io_ptr(png));
  SLSetLastError(0);
  if (job->storage->Read(data, length) == length) return;
  const u32 code = SLGetLastError();
  job->failure = code & 0x80000000u ? code : 0x80020034u;
  png_longjmp(png, 1);
}

// Runs libpng over the storage into a new image of the job's array.
bool Decode(PngJob* job) {
  u8 signature[8];
  SLSetLastError(0);
  if (job->storage->Read(signature, 8) != 8) {
    const u32 code = SLGetLastError();
    return SLFail(code & 0x80000000u ? code : 0x80020034u, false);
  }
  if (png_sig_cmp(signature, 0, 8)) return SLFail(SL_E_MALFORMED, false);
  job->png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, job, OnError, OnWarning, job, OnAllocate, OnFree);
  if (!job->png) return SLFail(SL_E_OUT_OF_MEMORY, false);
  job->info = png_create_info_struct(job->png);
  if (!job->info) return SLFail(SL_E_OUT_OF_MEMORY, false);
  png_structp png = job->png;
  png_infop info = job->info;
  if (setjmp(png_jmpbuf(png))) return SLFail(job->failure ? job->failure : SL_E_OUT_OF_MEMORY, false);

  png_set_read_fn(png, job, OnRead);
  png_set_sig_bytes(png, 8);
  // Every pixel takes at least a byte, so neither side can pass the image buffer limit.
  const u64 limit = SLGetImageBufferLimit();
  const png_uint_32 side = png_uint_32(limit < 0x7FFFFFFF ? limit : 0x7FFFFFFF);
  png_set_user_limits(png, side, side);
  png_set_chunk_malloc_max(png, kChunkLimit);
  // Ancillary chunks the picture does not need are skipped unread, so that their claimed
  // lengths never become allocations.
  static const png_byte kSkipped[] = "tEXt\0zTXt\0iTXt\0iCCP\0sPLT\0eXIf\0tIME\0hIST\0sCAL\0pCAL\0oFFs\0"
                                     "sBIT\0cHRM\0gAMA\0sRGB\0bKGD";
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kSkipped, int(sizeof kSkipped / 5));
  png_read_info(png, info);
  png_uint_32 width = 0, height = 0;
  int depth = 0, colorType = 0;
  png_get_IHDR(png, info, &width, &height, &depth, &colorType, nullptr, nullptr, nullptr);
  const bool transparency = png_get_valid(png, info, PNG_INFO_tRNS) != 0;

  // Every transformation is chosen here, from the header, before libpng plans its rows.
  if (depth == 16) png_set_strip_16(png);
  if (depth < 8) png_set_packing(png);
  if (colorType == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand(png);
  // Grey with alpha (a channel or a tRNS chunk) becomes whole B, G, R, A pixels.
  const bool greyAlpha = colorType == PNG_COLOR_TYPE_GRAY_ALPHA || (colorType == PNG_COLOR_TYPE_GRAY && transparency);
  if (greyAlpha) png_set_gray_to_rgb(png);
  if (transparency) png_set_tRNS_to_alpha(png);
  const bool colour =
      colorType == PNG_COLOR_TYPE_RGB || colorType == PNG_COLOR_TYPE_RGB_ALPHA || greyAlpha || transparency;
  if (colour) png_set_bgr(png);
  png_set_interlace_handling(png);
  // The image must be able to hold the picture before libpng sizes its row buffers.
  const u32 plannedFormat = !colour                                               ? SL_IMAGE_FORMAT_PALETTE
                            : colorType == PNG_COLOR_TYPE_RGB && !transparency ? SL_IMAGE_FORMAT_BGR
                                                                               : SL_IMAGE_FORMAT_BGRA;
  SLImageSizes sizes;
  if (!SLComputeImageSizes(plannedFormat, width, height, &sizes)) return false;
  png_read_update_info(png, info);

  u32 format = 0, bytesPerPixel = 0;
  switch (png_get_color_type(png, info)) {
    case PNG_COLOR_TYPE_GRAY: case PNG_COLOR_TYPE_PALETTE: format = SL_IMAGE_FORMAT_PALETTE, bytesPerPixel = 1; break;
    case PNG_COLOR_TYPE_RGB: format = SL_IMAGE_FORMAT_BGR, bytesPerPixel = 3; break;
    case PNG_COLOR_TYPE_GRAY_ALPHA: case PNG_COLOR_TYPE_RGB_ALPHA: format = SL_IMAGE_FORMAT_BGRA, bytesPerPixel = 4; break;
    default: return SLFail(SL_E_MALFORMED, false);
  }
  if (png_get_rowbytes(png, info) != u64(width) * bytesPerPixel) return SLFail(SL_E_MALFORMED, false);
  CSLImage* image = SLAppendNewImage(job->images);
  if (!image || !image->Create(format, width, height, true)) return false;
  const double kMetresPerInch = 39.37007874015748;
  const u64 dpiX = u64(png_get_x_pixels_per_meter(png, info) / kMetresPerInch);
  const u64 dpiY = u64(png_get_y_pixels_per_meter(png, info) / kMetresPerInch);
  if (dpiX > 65535 || dpiY > 65535 || !image->SetResolutionX(u32(dpiX)) || !image->SetResolutionY(u32(dpiY)))
    return SLFail(SL_E_UNSUPPORTED_VARIANT, false);
  if (format == SL_IMAGE_FORMAT_PALETTE) {
    SLPaletteEntry entries[256];
    png_colorp palette = nullptr;
    int count = 0;
    if (png_get_valid(png, info, PNG_INFO_PLTE) && png_get_PLTE(png, info, &palette, &count) && count > 0) {
      if (count > 256) count = 256;
      for (int i = 0; i < count; ++i) entries[i] = {palette[i].red, palette[i].green, palette[i].blue, 255};
    } else {
      count = 256;
      for (u32 i = 0; i < 256; ++i) entries[i] = {u8(i), u8(i), u8(i), 255};
    }
    if (image->SetPaletteEntries(0, u32(count), entries) != u32(count)) return false;
  }
  if (job->flags & SL_IMAGE_READ_HEADER_ONLY) return SLSucceed(true);

  if (!image->EnsureBuffer()) return false;
  job->rows = static_cast<png_bytep*>(SLAlloc(height * u32(sizeof(png_bytep))));
  if (!job->rows) return SLFail(SL_E_OUT_OF_MEMORY, false);
  for (u32 y = 0; y < height; ++y) job->rows[y] = image->GetPixelAddress(0, y);
  png_read_image(png, job->rows);
  png_read_end(png, nullptr);
  return SLSucceed(true);
}

bool ReadPng(CSLImageArray* images, CSLBaseStorage* storage, u32 flags) {
  PngJob job{};
  job.storage = storage;
  job.images = images;
  job.flags = flags;
  const bool decoded = Decode(&job);
  SLErrorKeeper keep;
  if (job.png) png_destroy_read_struct(&job.png, job.info ? &job.info : nullptr, nullptr);
  SLInternals::SLFreeKeepingError(job.rows);
  return decoded;
}

}  // namespace

bool CSLImageReaderPNG::Read(CSLImageArray* images, CSLBaseStorage* storage, u32 flags) {
  return SLRunImageRead(images, storage, flags, &ReadPng);
}

bool CSLImageReaderPNG::IsFormat(const u8* b, u32 count) {
  if (!b || count < 8) return SLFail(SL_E_INVALID_ARG, false);
  static const u8 kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  return SLSucceed(SLMemCompare(b, kSignature, 8) == 0);
}

const char* CSLImageReaderPNG::GetExtensionA(u32 index) {
  return index == 0 ? SLSucceed("PNG") : SLFail(SL_E_INDEX, static_cast<const char*>(nullptr));
}

const SLWChar* CSLImageReaderPNG::GetExtensionW(u32 index) {
  return index == 0 ? SLSucceed(u"PNG") : SLFail(SL_E_INDEX, static_cast<const SLWChar*>(nullptr));
}
