#include "image/readers/SLImageReaderJPG.h"

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

#include "foundation/SLArray.h"
#include "foundation/SLError.h"
#include "foundation/SLMemory.h"

SL_IMPLEMENT_CLASS_CREATABLE(CSLImageReaderJPG, CSLBaseImageReader)

namespace {

// The error manager handed to libjpeg: its fatal errors leave the decoder through
// longjmp back into Decode; warnings are counted by the library and no message text is
// ever produced.
struct DecoderExit {
  jpeg_error_mgr manager;  // first, so that libjpeg's pointer to it is a pointer to this
  jmp_buf target;
};

[[noreturn]] void LeaveDecoder(j_common_ptr info) { longjmp(reinterpret_cast<DecoderExit*>(info->err)->target, 1); }
void IgnoreMessage(j_common_ptr, int) {}
void IgnoreOutput(j_common_ptr) {}
void NoMessageText(j_common_ptr, char* buffer) { buffer[0] = 0; }
void ResetCounts(j_common_ptr info) {
  info->err->num_warnings = 0;
  info->err->msg_code = 0;
}

// Everything a decode shares across the setjmp in Decode. Plain data only: a longjmp out
// of libjpeg skips every frame up to Decode, so nothing there may own anything; the
// caller releases what this holds on every path.
struct JpegJob {
  jpeg_decompress_struct info;
  DecoderExit exit;
  bool created;
  const u8* stream;
  u32 streamSize;
  CSLImageArray* images;
  CSLImageExifData* exif;
  u32 flags;
  u8** rows;
};

u32 SaturatedDpi(double value) { return value >= 4294967295.0 ? 0xFFFFFFFFu : u32(value); }

// The resolution from the file's EXIF block (the first "Exif" APP1 segment), both zero
// when the block gives none. False when a block kept whole fails to load.
bool ResolutionFromExif(JpegJob* job, u32* dpiX, u32* dpiY) {
  for (jpeg_saved_marker_ptr marker = job->info.marker_list; marker; marker = marker->next) {
    if (marker->marker != JPEG_APP0 + 1 || marker->original_length < 6 || marker->data_length < 6 ||
        SLMemCompare(marker->data, "Exif\0\0", 6) != 0)
      continue;
    CSLImageExifData* exif = job->exif;
    if (!exif->Load(marker->data, marker->data_length, 3)) {
      // The decoder keeps at most 32 KiB of a segment; the directories of a larger block
      // (thumbnails, maker notes) may lie past what was kept. Such a picture is read
      // without its EXIF data.
      if (marker->data_length >= marker->original_length) return false;
      exif->Clear();
      return SLSucceed(true);
    }
    // Only tags the block holds count: a missing one leaves the resolution to JFIF.
    SLSetLastError(0);
    const u16 unit = exif->EntryUInt16(exif->FindLoadedEntry(CSLImageExifData::kAnyDirectory, 296), 0);
    u32 xTop = 0, xBottom = 0, yTop = 0, yBottom = 0;
    if (SLGetLastError() == 0)
      exif->EntryRational(&xTop, &xBottom, exif->FindLoadedEntry(CSLImageExifData::kAnyDirectory, 282), 0);
    if (SLGetLastError() == 0)
      exif->EntryRational(&yTop, &yBottom, exif->FindLoadedEntry(CSLImageExifData::kAnyDirectory, 283), 0);
    if (SLGetLastError() == 0 && unit) {
      const double x = double(xTop) / (xBottom ? xBottom : 1), y = double(yTop) / (yBottom ? yBottom : 1);
      if (x > 1e-10 && y > 1e-10 && (unit == 1 || unit == 2)) {
        *dpiX = SaturatedDpi(x), *dpiY = SaturatedDpi(y);
      } else if (x > 1e-10 && y > 1e-10 && unit == 3) {
        *dpiX = SaturatedDpi(x * 2.54), *dpiY = SaturatedDpi(y * 2.54);
      }
    }
    return SLSucceed(true);
  }
  return SLSucceed(true);
}

// Runs libjpeg over the stream into a new image of the job's array. Any libjpeg error
// comes back here through the longjmp and fails with 0x80000001.
bool Decode(JpegJob* job) {
  jpeg_decompress_struct* info = &job->info;
  info->err = jpeg_std_error(&job->exit.manager);
  job->exit.manager.error_exit = LeaveDecoder;
  job->exit.manager.emit_message = IgnoreMessage;
  job->exit.manager.output_message = IgnoreOutput;
  job->exit.manager.format_message = NoMessageText;
  job->exit.manager.reset_error_mgr = ResetCounts;
  job->exit.manager.trace_level = 0;
  if (setjmp(job->exit.target)) return SLFail(SL_E_OUT_OF_MEMORY, false);

  jpeg_create_decompress(info);
  job->created = true;
  // Without a backing store, coefficient buffers past this limit stop the decoder.
  info->mem->max_memory_to_use = CSLImageReaderJPG::kDecoderMemoryLimit;
  jpeg_mem_src(info, job->stream, job->streamSize);
  jpeg_save_markers(info, JPEG_APP0 + 1, 0x8000);
  jpeg_read_header(info, TRUE);
  // Colour arrives as B, G, R straight from the colour converter.
  if (info->out_color_space == JCS_RGB) info->out_color_space = JCS_EXT_BGR;
  jpeg_calc_output_dimensions(info);

  CSLImage* image = SLAppendNewImage(job->images);
  if (!image) return false;
  u32 dpiX = 0, dpiY = 0;
  if (!ResolutionFromExif(job, &dpiX, &dpiY)) return false;
  if (!dpiX && !dpiY) {
    if (info->density_unit == 1) {
      dpiX = info->X_density, dpiY = info->Y_density;
    } else if (info->density_unit == 2) {
      dpiX = u32(info->X_density * 2.54), dpiY = u32(info->Y_density * 2.54);
    }
  }
  u32 format = 0;
  if (info->out_color_space == JCS_GRAYSCALE) format = SL_IMAGE_FORMAT_PALETTE;
  else if (info->out_color_space == JCS_EXT_BGR && info->output_components == 3) format = SL_IMAGE_FORMAT_BGR;
  else return SLFail(SL_E_UNSUPPORTED_VARIANT, false);  // CMYK, YCCK
  const u32 width = info->output_width, height = info->output_height;
  if (!image->Create(format, width, height, true) || !image->SetResolutionX(dpiX ? dpiX : 72) ||
      !image->SetResolutionY(dpiY ? dpiY : 72))
    return false;
  if (format == SL_IMAGE_FORMAT_PALETTE) {
    SLPaletteEntry ramp[256];
    for (u32 i = 0; i < 256; ++i) ramp[i] = {u8(i), u8(i), u8(i), 255};
    if (image->SetPaletteEntries(0, 256, ramp) != 256) return false;
  }
  if (job->flags & SL_IMAGE_READ_HEADER_ONLY) return SLSucceed(true);

  if (!image->EnsureBuffer()) return false;
  jpeg_start_decompress(info);
  job->rows = static_cast<u8**>(SLAlloc(height * u32(sizeof(u8*))));
  if (!job->rows) return SLFail(SL_E_OUT_OF_MEMORY, false);
  for (u32 y = 0; y < height; ++y) job->rows[y] = image->GetPixelAddress(0, y);
  while (info->output_scanline < height) {
    // A memory source never suspends; no progress would mean a broken decoder.
    if (!jpeg_read_scanlines(info, job->rows + info->output_scanline, height - info->output_scanline))
      return SLFail(SL_E_OUT_OF_MEMORY, false);
  }
  jpeg_finish_decompress(info);
  return SLSucceed(true);
}

bool ReadJpeg(CSLImageArray* images, CSLBaseStorage* storage, u32 flags, CSLImageExifData* exif) {
  u64 position = 0, size = 0;
  if (!storage->GetPosition(&position) || !storage->GetSize(&size)) return false;
  const u64 length = size > position ? size - position : 0;
  if (length > 0x7FFFF000) return SLFail(SL_E_MALFORMED, false);
  TSLAutoPtr<u8> stream(static_cast<u8*>(SLAlloc(length ? u32(length) : 1)));
  if (!stream) return SLFail(SL_E_OUT_OF_MEMORY, false);
  SLSetLastError(0);
  if (storage->Read(stream.Get(), length) != length) {
    const u32 code = SLGetLastError();
    return SLFail(code & 0x80000000u ? code : 0x80020034u, false);
  }
  JpegJob job{};
  job.stream = stream.Get();
  job.streamSize = u32(length);
  job.images = images;
  job.exif = exif;
  job.flags = flags;
  const bool decoded = Decode(&job);
  SLErrorKeeper keep;
  if (job.created) jpeg_destroy_decompress(&job.info);
  SLInternals::SLFreeKeepingError(job.rows);
  return decoded;
}

}  // namespace

bool CSLImageReaderJPG::Read(CSLImageArray* images, CSLBaseStorage* storage, u32 flags) {
  if (!images) return SLFail(SL_E_NULL_OUTPUT, false);
  images->RemoveAll();
  m_exif.Clear();
  if (!storage) return SLFail(SL_E_NULL_DATA, false);
  if (!ReadJpeg(images, storage, flags, &m_exif)) {
    SLErrorKeeper keep;
    images->RemoveAll();
    return false;
  }
  return SLSucceed(true);
}

bool CSLImageReaderJPG::IsFormat(const u8* b, u32 count) {
  if (!b || count < 10) return SLFail(SL_E_INVALID_ARG, false);
  const bool start = b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF;
  const bool jfif = b[3] == 0xE0 && SLMemCompare(b + 6, "JFIF", 4) == 0;
  const bool exif = b[3] == 0xE1 && SLMemCompare(b + 6, "Exif", 4) == 0;
  return SLSucceed(start && (jfif || exif));
}

const char* CSLImageReaderJPG::GetExtensionA(u32 index) {
  static const char* const kNames[] = {"JPG", "JPEG"};
  return index < 2 ? SLSucceed(kNames[index]) : SLFail(SL_E_INDEX, static_cast<const char*>(nullptr));
}

const SLWChar* CSLImageReaderJPG::GetExtensionW(u32 index) {
  static const SLWChar* const kNames[] = {u"JPG", u"JPEG"};
  return index < 2 ? SLSucceed(kNames[index]) : SLFail(SL_E_INDEX, static_cast<const SLWChar*>(nullptr));
}
