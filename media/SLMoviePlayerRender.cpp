// Drawing the current picture into the back buffer. Pictures come from the reader as
// packed bitmaps: a 40-byte header, then a palette (up to 8 bits per pixel) or three
// masks (bit fields), then the rows, bottom-up when the header's height is positive. Only
// the rows and columns that land on the screen are converted.
#include "foundation/SLByteOrder.h"
#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "gamesystem/SLBaseGfx.h"
#include "image/SLPixelConvert.h"
#include "media/SLMoviePlayer.h"
#include "media/SLMoviePlayerState.h"

using namespace SLInternals;

namespace {

constexpr u32 kBitmapHeaderBytes = 40;
constexpr u32 kBitFields = 3;

// Where a picture's pixels are and how to read them.
struct SLPictureLayout {
  u32 format;  // framework pixel format of a stored pixel
  u32 bytesPerPixel;
  u64 stride;
  bool bottomUp;
  const u8* pixels;
  SLImagePalette palette;  // format 1 only
};

// Checks the picture block against the video format (a block that does not hold every
// row fails with 0x800f0006) and finds its pixels.
bool ReadLayout(const void* picture, u32 size, const SLVideoFormat& video, SLPictureLayout* out) {
  const u8* bytes = static_cast<const u8*>(picture);
  if (size < kBitmapHeaderBytes) return SLFail(SL_E_MEDIA_VIDEO_FORMAT, false);
  const u32 headerBytes = SLLoadLE32(bytes);
  const i32 height = i32(SLLoadLE32(bytes + 8));
  const u32 bits = SLLoadLE16(bytes + 14);
  const u32 compression = SLLoadLE32(bytes + 16);
  const u32 colorsUsed = SLLoadLE32(bytes + 32);
  u64 offset = headerBytes < kBitmapHeaderBytes ? kBitmapHeaderBytes : headerBytes;
  switch (bits) {
    case 8: out->format = SL_IMAGE_FORMAT_PALETTE; break;
    case 16: out->format = compression == kBitFields ? SL_IMAGE_FORMAT_565_BLUE_LOW : SL_IMAGE_FORMAT_X555_BLUE_LOW; break;
    case 24: out->format = compression == kBitFields ? SL_IMAGE_FORMAT_RGB : SL_IMAGE_FORMAT_BGR; break;
    case 32: out->format = SL_IMAGE_FORMAT_BGRX; break;
    default: return SLFail(SL_E_MEDIA_VIDEO_FORMAT, false);
  }
  out->bytesPerPixel = bits / 8;
  if (bits == 8) {
    const u32 count = colorsUsed == 0 || colorsUsed > 256 ? 256 : colorsUsed;
    if (offset + u64(count) * 4 > size) return SLFail(SL_E_MEDIA_VIDEO_FORMAT, false);
    out->palette.count = count;
    for (u32 i = 0; i < 256; ++i) {
      // Stored blue, green, red, reserved; colours past the count show black.
      const u8* quad = bytes + offset + u64(i) * 4;
      out->palette.entries[i] = i < count ? SLPaletteEntry{quad[2], quad[1], quad[0], 255} : SLPaletteEntry{0, 0, 0, 255};
    }
    offset += u64(count) * 4;
  } else if (compression == kBitFields) {
    offset += 12;
  }
  out->stride = (u64(video.width) * bits + 31) / 32 * 4;
  out->bottomUp = height >= 0;
  out->pixels = bytes + offset;
  u64 needed = 0;
  if (!SLCheckedMul(out->stride, video.height, &needed) || !SLCheckedAdd(needed, offset, &needed) || needed > size)
    return SLFail(SL_E_MEDIA_VIDEO_FORMAT, false);
  return SLSucceed(true);
}

}  // namespace

bool CSL_GS_MoviePlayer::RenderFrame(i32 x, i32 y) {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, false);
  SL_GS_MoviePlayerState* const state = m_state;
  SLCriticalSectionLock lock(&state->lock);
  if (!IsOpen() || !state->gfx) return SLFail(SL_E_NOT_INITIALISED, false);
  if (!state->videoStream) return SLFail(SL_E_NO_VIDEO_STREAM, false);
  u64 frame = state->currentFrame;
  if (state->videoFrames && frame >= state->videoFrames) frame = state->videoFrames - 1;
  if (frame != state->pictureFrame) {
    state->picture = nullptr;
    state->pictureSize = 0;
    state->pictureFrame = kNoPicture;
    if (!state->reader->GetVideoFrame(state->videoStream - 1, frame, &state->picture, &state->pictureSize)) {
      state->picture = nullptr;
      return false;
    }
    state->pictureFrame = frame;
  }
  if (!state->picture) return SLFail(SL_E_NO_DECODABLE_DATA, false);
  SLPictureLayout layout;
  if (!ReadLayout(state->picture, state->pictureSize, state->videoFormat, &layout)) return false;

  // Clip against the picture's left and top, then against the screen's right and bottom.
  const u64 width = state->videoFormat.width, height = state->videoFormat.height;
  const u64 skipX = x < 0 ? u64(-i64(x)) : 0, skipY = y < 0 ? u64(-i64(y)) : 0;
  if (skipX >= width || skipY >= height) return SLSucceed(true);
  const u64 left = x < 0 ? 0 : u64(x), top = y < 0 ? 0 : u64(y);
  const u64 screenWidth = state->gfx->GetWidth(), screenHeight = state->gfx->GetHeight();
  if (left >= screenWidth || top >= screenHeight) return SLSucceed(true);
  u64 columns = width - skipX < screenWidth - left ? width - skipX : screenWidth - left;
  u64 rows = height - skipY < screenHeight - top ? height - skipY : screenHeight - top;
  if (!columns || !rows) return SLSucceed(true);

  SL_GS_SurfaceAccess* surface = state->gfx->LockBackBuffer(true);
  if (!surface) return false;
  auto unlock = SLMakeScopeGuard([&] { state->gfx->UnlockBackBuffer(); });
  // A back buffer smaller than the screen it stands for is cut as well.
  if (left >= surface->width || top >= surface->height) return SLSucceed(true);
  if (columns > surface->width - left) columns = surface->width - left;
  if (rows > surface->height - top) rows = surface->height - top;
  const u32 targetBytes = SLGetBytesPerPixel(surface->format);
  for (u64 row = 0; row < rows; ++row) {
    const u64 pictureRow = skipY + row;
    const u64 storedRow = layout.bottomUp ? height - 1 - pictureRow : pictureRow;
    const u8* source = layout.pixels + storedRow * layout.stride + skipX * layout.bytesPerPixel;
    u8* target = surface->pixels + (top + row) * surface->pitch + left * targetBytes;
    if (!SLConvertPixelRow(surface->format, target, layout.format, source, u32(columns), &layout.palette))
      return false;
  }
  unlock.Dismiss();
  return state->gfx->UnlockBackBuffer() ? SLSucceed(true) : false;
}
