// Drawing the current picture into the back buffer (the picture's layout: SLPictureLayout.h).
// Only the rows and columns that land on the screen are converted.
#include "foundation/SLByteOrder.h"
#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "gamesystem/SLBaseGfx.h"
#include "image/SLPixelConvert.h"
#include "media/SLMoviePlayer.h"
#include "media/SLMoviePlayerState.h"
#include "media/SLPictureLayout.h"

using namespace SLInternals;

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
  if (!SLReadPictureLayout(state->picture, state->pictureSize, state->videoFormat.width, state->videoFormat.height, &layout))
    return false;

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
