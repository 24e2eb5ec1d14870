// The drawing half of the graphics device: images cut into textures with one quad each,
// DrawImage with its options, the clip rectangle's device side, the depth-test switch and
// the small matrix operations that build the world transform.
#include <cmath>

#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "gamesystem/directx/SLGfxDirectX.h"
#include "image/SLPixelConvert.h"

using SLInternals::SL_GS_DeviceRecord;
using SLInternals::SL_GS_ImageDevice;
using SLInternals::SL_GS_ImageTile;

namespace {

constexpr DWORD kVertexFormat = D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1;
constexpr double kDegrees = 0.017453292519943295;
constexpr double kNearlyAll = 99.9999999999;

struct Vertex {
  float x, y, z;
  u32 colour;
  float u, v;
};
static_assert(sizeof(Vertex) == 24);

SL_GS_ImageDevice* DeviceOf(SL_GS_ImageRecord* image) { return reinterpret_cast<SL_GS_ImageDevice*>(image->deviceData[0]); }

// The sizes of a row of tiles covering `length` texels with tiles of at most `largest`:
// as many of the largest as fit, then halves, ending with one of 16 for a rest of 16 or
// less. Returns the count; `out` (when given) receives the sizes.
u32 TileSizes(u32 length, u32 largest, u32* out) {
  u32 count = 0, rest = length, size = largest;
  while (rest > 0) {
    for (u32 i = 0; i < rest / size; ++i, ++count)
      if (out) out[count] = size;
    rest %= size;
    if (rest == 0) break;
    if (rest <= 16) {
      if (out) out[count] = 16;
      return count + 1;
    }
    size /= 2;
  }
  return count;
}

void ReleaseTiles(SL_GS_ImageDevice* record) {
  if (record->tiles) {
    for (u32 i = 0; i < record->columns * record->rows; ++i)
      if (record->tiles[i].texture) record->tiles[i].texture->Release();
    SLFree(record->tiles);
  }
  if (record->buffer) record->buffer->Release();
  SLFree(record);
}

}  // namespace

// --- Vectors and matrices ------------------------------------------------------------

void GfxVector3::Normalize() {
  const double length = std::sqrt(x * x + y * y + z * z);
  if (length <= 1e-10) {
    x = y = z = 0;
    return;
  }
  x /= length, y /= length, z /= length;
}

void GfxMatrix4::SetIdentity() {
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) m[r][c] = r == c ? 1.0 : 0.0;
}

void GfxMatrix4::Multiply(const GfxMatrix4& other) {
  GfxMatrix4 out;
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c)
      out.m[r][c] = m[r][0] * other.m[0][c] + m[r][1] * other.m[1][c] + m[r][2] * other.m[2][c] + m[r][3] * other.m[3][c];
  *this = out;
}

void GfxMatrix4::FromEuler(const GfxVector3& angles) {
  const double sa = std::sin(angles.x), ca = std::cos(angles.x);
  const double sb = std::sin(angles.y), cb = std::cos(angles.y);
  const double sc = std::sin(angles.z), cc = std::cos(angles.z);
  const double rows[4][4] = {{ca * cb, sc * sa * cb - sb * cc, sb * sc + sa * cc * cb, 0},
                             {ca * sb, sc * sa * sb + cc * cb, sb * sa * cc - cb * sc, 0},
                             {-sa, sc * ca, cc * ca, 0},
                             {0, 0, 0, 1}};
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) m[r][c] = rows[r][c];
}

void GfxMatrix4::RotateZ(double angle) {
  const double s = std::sin(angle), c = std::cos(angle);
  for (int k = 0; k < 3; ++k) {
    const double row0 = m[0][k], row1 = m[1][k];
    m[0][k] = row0 * c + row1 * s;
    m[1][k] = row1 * c - row0 * s;
  }
}

// --- Depth test and clip rectangle ----------------------------------------------------

bool CSL_GS_Gfx_DirectX::SetDrawState(u32 state) {
  SL_GS_DeviceRecord* r = m_record;
  if (!r) return SLFail(SL_E_NOT_INITIALISED, false);
  if (r->depthBits == 0 || r->device->SetRenderState(D3DRS_ZENABLE, state ? 1 : 0) < 0)
    return SLFail(SL_E_SETTING_UNSUPPORTED, false);
  r->depthTest = state ? 1 : 0;
  return SLSucceed(true);
}

u32 CSL_GS_Gfx_DirectX::GetDrawState() {
  return m_record ? SLSucceed(m_record->depthTest) : SLFail(SL_E_NOT_INITIALISED, 0u);
}

bool CSL_GS_Gfx_DirectX::ApplyClipRect(u32 x, u32 y, u32 width, u32 height) {
  SL_GS_DeviceRecord* r = m_record;
  if (!r) return SLFail(SL_E_NOT_INITIALISED, false);
  IDirect3DDevice9* d = r->device;
  const bool active = !(x == 0 && y == 0 && width >= r->width && height >= r->height);
  bool ok = true;
  if (r->clipMethod == 1) {
    const D3DLOCKRECT rect{LONG(x), LONG(y), LONG(x + width), LONG(y + height)};
    if (active) ok = d->SetScissorRect(&rect) >= 0;
    ok = ok && d->SetRenderState(D3DRS_SCISSORTESTENABLE, active ? 1 : 0) >= 0;
  } else {
    // The rectangle's edges half a pixel outside its outer pixel centres, in clip space
    // (w is positive in front of the camera): x >= kx w and so on.
    const double tw = r->width, th = r->height;
    const float left = float(2.0 * (x - 0.5) / tw - 1.0), right = float(2.0 * (x + width - 0.5) / tw - 1.0);
    const float top = float(1.0 - 2.0 * (y - 0.5) / th), bottom = float(1.0 - 2.0 * (y + height - 0.5) / th);
    const float planes[4][4] = {{1, 0, 0, -left}, {-1, 0, 0, right}, {0, -1, 0, top}, {0, 1, 0, -bottom}};
    if (active)
      for (DWORD i = 0; i < 4 && ok; ++i) ok = d->SetClipPlane(i, planes[i]) >= 0;
    ok = ok && d->SetRenderState(D3DRS_CLIPPLANEENABLE, active ? 0xF : 0) >= 0;
  }
  if (!ok) return SLFail(SL_E_OPERATION_FAILED, false);
  r->clipActive = active ? 1 : 0;
  return SLSucceed(true);
}

// --- Image textures -------------------------------------------------------------------

bool CSL_GS_Gfx_DirectX::CreateImageTextures(SL_GS_ImageRecord* image) {
  SL_GS_DeviceRecord* r = m_record;
  if (!r) return SLFail(SL_E_NOT_INITIALISED, false);
  auto* record = static_cast<SL_GS_ImageDevice*>(SLAllocZeroed(u32(sizeof(SL_GS_ImageDevice))));
  if (!record) return false;
  record->dirty = 1;
  u32 maxWidth = r->maxTextureWidth, maxHeight = r->maxTextureHeight;
  if (r->squareOnly) maxWidth = maxHeight = maxWidth < maxHeight ? maxWidth : maxHeight;
  if (maxWidth < 16) maxWidth = 16;
  if (maxHeight < 16) maxHeight = 16;
  const u32 imageWidth = image->info.width, imageHeight = image->info.height;
  u32 widths[64], heights[64];  // 2048 halved down to 16 is at most 8 + 1 sizes; far fewer than 64
  const u32 columnCount = TileSizes(imageWidth, maxWidth, nullptr), rowCount = TileSizes(imageHeight, maxHeight, nullptr);
  u32* columns = widths;
  u32* rows = heights;
  TSLAutoPtr<u32> columnStore, rowStore;
  if (columnCount > 64) columnStore.Reset(static_cast<u32*>(SLAllocZeroed(columnCount * 4)));
  if (rowCount > 64) rowStore.Reset(static_cast<u32*>(SLAllocZeroed(rowCount * 4)));
  if ((columnCount > 64 && !(columns = columnStore.Get())) || (rowCount > 64 && !(rows = rowStore.Get())))
    return SLFree(record), false;
  TileSizes(imageWidth, maxWidth, columns);
  TileSizes(imageHeight, maxHeight, rows);
  const u32 pairs = columnCount < rowCount ? columnCount : rowCount;
  const u32 ratio = r->maxTextureAspect ? r->maxTextureAspect : 1;
  for (u32 i = 0; i < pairs; ++i) {
    if (r->squareOnly) {
      columns[i] = rows[i] = columns[i] > rows[i] ? columns[i] : rows[i];
    } else if (rows[i] > columns[i] && rows[i] / columns[i] > ratio) {
      columns[i] = rows[i] / ratio;
    } else if (columns[i] > rows[i] && columns[i] / rows[i] > ratio) {
      rows[i] = columns[i] / ratio;
    }
  }
  // Only the tiles that reach into the image are kept.
  u32 used = 0;
  for (u64 sum = 0; used < columnCount && sum < imageWidth; ++used) sum += columns[used];
  record->columns = used;
  used = 0;
  for (u64 sum = 0; used < rowCount && sum < imageHeight; ++used) sum += rows[used];
  record->rows = used;

  const u32 format = image->info.format;
  record->format = format == SL_IMAGE_FORMAT_DXT2   ? D3DFMT_DXT2
                 : format == SL_IMAGE_FORMAT_DXT3 ? D3DFMT_DXT3
                 : format == SL_IMAGE_FORMAT_DXT4 ? D3DFMT_DXT4
                 : format == SL_IMAGE_FORMAT_DXT5 ? D3DFMT_DXT5
                 : image->info.bytesPerPixel <= 2 && format < SL_IMAGE_FORMAT_FIRST_BLOCK ? D3DFMT_A1R5G5B5
                                                                                          : D3DFMT_A8R8G8B8;
  const u32 tileCount = record->columns * record->rows;
  record->tiles = static_cast<SL_GS_ImageTile*>(SLAllocZeroed(u32(sizeof(SL_GS_ImageTile) * tileCount)));
  if (!record->tiles) return ReleaseTiles(record), false;
  if (r->device->CreateVertexBuffer(96 * tileCount, 0, kVertexFormat, D3DPOOL_MANAGED, &record->buffer, nullptr) < 0) {
    record->buffer = nullptr;
    ReleaseTiles(record);
    return SLFail(SL_E_OUT_OF_MEMORY, false);
  }
  Vertex* vertices = nullptr;
  if (record->buffer->Lock(0, 0, reinterpret_cast<void**>(&vertices), 0) < 0) {
    ReleaseTiles(record);
    return SLFail(SL_E_OPERATION_FAILED, false);
  }
  u32 y = 0;
  for (u32 row = 0; row < record->rows; ++row) {
    u32 x = 0;
    for (u32 column = 0; column < record->columns; ++column) {
      SL_GS_ImageTile& tile = record->tiles[row * record->columns + column];
      tile = SL_GS_ImageTile{x, y, columns[column], rows[row], nullptr};
      HRESULT made = r->device->CreateTexture(tile.width, tile.height, 1, 0, record->format, D3DPOOL_MANAGED,
                                              &tile.texture, nullptr);
      // Block-compressed pictures the device cannot keep become plain 32-bit ones.
      if (made < 0 && row == 0 && column == 0 && record->format != D3DFMT_A8R8G8B8 &&
          record->format != D3DFMT_A1R5G5B5) {
        record->format = D3DFMT_A8R8G8B8;
        made = r->device->CreateTexture(tile.width, tile.height, 1, 0, record->format, D3DPOOL_MANAGED, &tile.texture,
                                        nullptr);
      }
      if (made < 0 || !tile.texture) {
        tile.texture = nullptr;
        record->buffer->Unlock();
        ReleaseTiles(record);
        return SLFail(SL_E_OUT_OF_MEMORY, false);
      }
      const float left = float(x), top = float(y);
      const float right = float(x + tile.width < imageWidth ? x + tile.width : imageWidth);
      const float bottom = float(y + tile.height < imageHeight ? y + tile.height : imageHeight);
      const float u = (right - left) / float(tile.width), v = (bottom - top) / float(tile.height);
      Vertex* quad = vertices + 4 * (row * record->columns + column);
      quad[0] = Vertex{left, bottom, 0, 0xFFFFFFFFu, 0, v};
      quad[1] = Vertex{right, bottom, 0, 0xFFFFFFFFu, u, v};
      quad[2] = Vertex{right, top, 0, 0xFFFFFFFFu, u, 0};
      quad[3] = Vertex{left, top, 0, 0xFFFFFFFFu, 0, 0};
      x += tile.width;
    }
    y += rows[row];
  }
  record->buffer->Unlock();
  image->deviceData[0] = reinterpret_cast<std::uintptr_t>(record);
  if (!FillImageTextures(image)) return false;
  record->dirty = 0;
  return SLSucceed(true);
}

bool CSL_GS_Gfx_DirectX::FillImageTextures(SL_GS_ImageRecord* image) {
  SL_GS_ImageDevice* record = DeviceOf(image);
  CSLImage* source = image->source;
  if (!source) return SLFail(SL_E_NOT_AVAILABLE, false);
  const bool wide = record->format != D3DFMT_A1R5G5B5;
  const u32 target = wide ? 5 : 16, bytes = wide ? 4 : 2;
  const u32 keyRed = image->info.colorKey & 0xFF, keyGreen = (image->info.colorKey >> 8) & 0xFF;
  const u32 keyBlue = (image->info.colorKey >> 16) & 0xFF;
  const u32 mask = wide ? 0xFFFFFF : 0x7FFF;
  const u32 key = wide ? (keyRed << 16) | (keyGreen << 8) | keyBlue
                       : ((keyRed >> 3) << 10) | ((keyGreen >> 3) << 5) | (keyBlue >> 3);
  const u32 sourceFormat = SLPixelReadFormat(image->info.format);
  const u32 imageWidth = image->info.width, imageHeight = image->info.height;
  for (u32 i = 0; i < record->columns * record->rows; ++i) {
    const SL_GS_ImageTile& tile = record->tiles[i];
    D3DLOCKED_RECT locked{};
    if (tile.texture->LockRect(0, &locked, nullptr, 0) < 0) return SLFail(SL_E_LOCK_FAILED, false);
    const u32 cw = tile.width < imageWidth - tile.x ? tile.width : imageWidth - tile.x;
    const u32 ch = tile.height < imageHeight - tile.y ? tile.height : imageHeight - tile.y;
    auto row = [&](u32 y) { return static_cast<u8*>(locked.pBits) + u64(y) * u32(locked.Pitch); };
    bool ok = true;
    for (u32 y = 0; y < ch && ok; ++y) {
      u8* texels = row(y);
      ok = SLConvertPixelRow(target, texels, sourceFormat, source->GetPixelAddress(tile.x, tile.y + y), cw,
                             source->GetPalette());
      if (image->info.colorKeySet)
        for (u32 x = 0; x < cw; ++x) {
          u32 value = 0;
          SLMemCopy(&value, texels + x * bytes, bytes);
          if ((value & mask) == key) SLMemSet(texels + x * bytes, 0, bytes);
        }
      // The edge texel repeats to the tile's end, for filtering at the picture's edge.
      for (u32 x = cw; x < tile.width; ++x) SLMemCopy(texels + x * bytes, texels + (cw - 1) * bytes, bytes);
    }
    for (u32 y = ch; y < tile.height && ok; ++y) SLMemCopy(row(y), row(ch - 1), tile.width * bytes);
    tile.texture->UnlockRect(0);
    if (!ok) return SLFail(SL_E_MALFORMED, false);
  }
  return SLSucceed(true);
}

void CSL_GS_Gfx_DirectX::FreeImageTextures(SL_GS_ImageRecord* image) {
  SL_GS_ImageDevice* record = DeviceOf(image);
  if (!record) return;
  if (m_record) {
    // The stage may still hold one of these textures: forget it, so that no freed texture is compared.
    SLCriticalSectionLock hold(&m_stageLock);
    for (u32 i = 0; i < record->columns * record->rows; ++i)
      if (record->tiles && m_record->currentTexture == record->tiles[i].texture) {
        m_record->device->SetTexture(0, nullptr);
        m_record->currentTexture = nullptr;
      }
    m_record->device->SetStreamSource(0, nullptr, 0, 0);
  }
  ReleaseTiles(record);
  image->deviceData[0] = 0;
}

bool CSL_GS_Gfx_DirectX::SetImageDirty(SL_GS_ImageRecord* image) {
  if (!m_record) return SLFail(SL_E_NOT_INITIALISED, false);
  if (SL_GS_ImageDevice* record = DeviceOf(image)) record->dirty = 1;
  return SLSucceed(true);
}

// --- Drawing --------------------------------------------------------------------------

bool CSL_GS_Gfx_DirectX::OpenScene() {
  if (m_record->sceneOpen) return true;
  if (m_record->device->BeginScene() < 0) return SLFail(SL_E_NOT_AVAILABLE, false);
  m_record->sceneOpen = 1;
  return true;
}

bool CSL_GS_Gfx_DirectX::SetStageTexture(IDirect3DTexture9* texture) {
  if (m_record->currentTexture == texture) return true;
  if (m_record->device->SetTexture(0, texture) < 0) return false;
  m_record->currentTexture = texture;
  return true;
}

bool CSL_GS_Gfx_DirectX::SetDrawStates(u32 colour, bool additive, const GfxMatrix4& world) {
  IDirect3DDevice9* d = m_record->device;
  const bool tinted = (colour & 0xFFFFFF) != 0xFFFFFF, faded = (colour >> 24) != 0xFF;
  D3DMATRIX matrix;
  for (int i = 0; i < 16; ++i) matrix.m[i / 4][i % 4] = float(world.m[i / 4][i % 4]);
  bool ok = colour == 0xFFFFFFFFu || d->SetRenderState(D3DRS_TEXTUREFACTOR, colour) >= 0;
  ok = ok && d->SetTextureStageState(0, D3DTSS_COLORARG2, tinted ? D3DTA_TFACTOR : D3DTA_DIFFUSE) >= 0;
  ok = ok && d->SetTextureStageState(0, D3DTSS_ALPHAARG2, faded ? D3DTA_TFACTOR : D3DTA_DIFFUSE) >= 0;
  ok = ok && d->SetRenderState(D3DRS_DESTBLEND, additive ? D3DBLEND_ONE : D3DBLEND_INVSRCALPHA) >= 0;
  ok = ok && d->SetTransform(D3DTS_WORLD, &matrix) >= 0 && d->SetFVF(kVertexFormat) >= 0;
  return ok ? true : SLFail(SL_E_OPERATION_FAILED, false);
}

namespace {

// The colour, world transform and draw decision shared by images and text. `width` and
// `height` are the drawn size before scaling; false: nothing to draw.
struct DrawSetup {
  double scaleX = 1, scaleY = 1;
  u32 colour = 0xFFFFFFFFu;
  bool additive = false;
};

bool ColourOf(const SL_GS_DrawImageOptions* o, DrawSetup* setup) {
  u32 red = 255, green = 255, blue = 255, alpha = 255;
  if (o && (o->flags & SL_GS_DRAW_TINT)) red = o->tintRed, green = o->tintGreen, blue = o->tintBlue;
  if (o && (o->flags & SL_GS_DRAW_OPACITY) && !(o->opacity > kNearlyAll)) {
    if (!(o->opacity >= 1e-10)) return false;
    alpha = u32(o->opacity * 2.55);
  }
  setup->colour = (alpha << 24) | (red << 16) | (green << 8) | blue;
  setup->additive = o && (o->flags & SL_GS_DRAW_ADDITIVE);
  return true;
}

// World = scale, depth and position, with the rotation about its centre when asked for.
GfxMatrix4 WorldOf(const SL_GS_DrawImageOptions* o, const DrawSetup& setup, double left, double top, i32 x, i32 y) {
  GfxMatrix4 world;
  world.SetIdentity();
  world.m[0][0] = float(setup.scaleX);
  world.m[1][1] = float(setup.scaleY);
  if (o && (o->flags & SL_GS_DRAW_DEPTH)) {
    const double d = o->depth;
    world.m[3][2] = d >= kNearlyAll ? 2048.0 : d <= -kNearlyAll ? -2048.0 : std::fabs(d) <= 1e-10 ? 0.0 : d / 100 * 2048;
  }
  if (!o || !(o->flags & SL_GS_DRAW_ROTATION)) {
    world.m[3][0] = left;
    world.m[3][1] = top;
    return world;
  }
  double centreX = x, centreY = y;
  if (o->flags & SL_GS_DRAW_CENTRE) {
    centreX = o->centreX, centreY = o->centreY;
    if (!(o->flags & SL_GS_DRAW_CENTRE_ABSOLUTE)) centreX += x, centreY += y;
  }
  world.m[3][0] = left - centreX;
  world.m[3][1] = top - centreY;
  GfxVector3 angles;
  angles.Set(float(o->angleY * kDegrees), float(o->angleZ * kDegrees), float(o->angleX * kDegrees));
  GfxMatrix4 rotation, move;
  rotation.FromEuler(angles);
  move.SetIdentity();
  move.m[3][0] = centreX;
  move.m[3][1] = centreY;
  world.Multiply(rotation);
  world.Multiply(move);
  return world;
}

}  // namespace

bool CSL_GS_Gfx_DirectX::DrawImage(SL_GS_Image* handle, i32 x, i32 y, const SL_GS_DrawImageOptions* o) {
  SL_GS_DeviceRecord* r = m_record;
  if (!r) return SLFail(SL_E_NOT_INITIALISED, false);
  SL_GS_ImageRecord* image = FindImageRecord(handle);
  if (!image) return false;
  if (r->lost) return SLSucceed(true);
  SL_GS_ImageDevice* record = DeviceOf(image);
  if (!record) return SLFail(SL_E_NOT_SUPPORTED, false);
  if (record->dirty) {
    if (!FillImageTextures(image)) return false;
    record->dirty = 0;
  }
  if (!OpenScene()) return false;
  const u32 flags = o ? o->flags : 0;
  const u32 imageWidth = image->info.width, imageHeight = image->info.height;
  i64 sourceLeft = 0, sourceTop = 0, sourceRight = imageWidth, sourceBottom = imageHeight;
  if (flags & SL_GS_DRAW_SOURCE) {
    sourceLeft = o->sourceX, sourceTop = o->sourceY;
    sourceRight = sourceLeft + o->sourceWidth, sourceBottom = sourceTop + o->sourceHeight;
    if (sourceRight > i64(imageWidth)) sourceRight = imageWidth;
    if (sourceBottom > i64(imageHeight)) sourceBottom = imageHeight;
    if (sourceRight <= sourceLeft || sourceBottom <= sourceTop) return SLSucceed(true);
  }
  DrawSetup setup;
  if (flags & SL_GS_DRAW_SCALE) {
    setup.scaleX = float(o->scaleX), setup.scaleY = float(o->scaleY);
  } else if (flags & SL_GS_DRAW_TARGET_SIZE) {
    i32 targetWidth, targetHeight;
    SLMemCopy(&targetWidth, &o->scaleX, 4);
    SLMemCopy(&targetHeight, &o->scaleY, 4);
    setup.scaleX = float(double(targetWidth) / double(sourceRight - sourceLeft));
    setup.scaleY = float(double(targetHeight) / double(sourceBottom - sourceTop));
  }
  if (!(std::fabs(setup.scaleX) >= 1e-10) || !(std::fabs(setup.scaleY) >= 1e-10)) return SLSucceed(true);
  if (!ColourOf(o, &setup)) return SLSucceed(true);
  double anchorX = 0, anchorY = 0;
  if (flags & SL_GS_DRAW_ANCHOR) {
    anchorX = o->anchorX, anchorY = o->anchorY;
  } else if (image->info.pointSet) {
    anchorX = image->info.pointX, anchorY = image->info.pointY;
  }
  if (flags & (SL_GS_DRAW_SCALE | SL_GS_DRAW_TARGET_SIZE)) {
    anchorX = std::trunc(std::fabs(setup.scaleX) * anchorX);
    anchorY = std::trunc(std::fabs(setup.scaleY) * anchorY);
  }
  const GfxMatrix4 world = WorldOf(o, setup, double(x) - anchorX, double(y) - anchorY, x, y);
  SLCriticalSectionLock hold(&m_stageLock);
  if (!SetDrawStates(setup.colour, setup.additive, world)) return false;
  IDirect3DDevice9* d = r->device;
  const u32 tileCount = record->columns * record->rows;
  if (!(flags & SL_GS_DRAW_SOURCE)) {
    if (d->SetStreamSource(0, record->buffer, 0, sizeof(Vertex)) < 0) return SLFail(SL_E_OPERATION_FAILED, false);
    for (u32 i = 0; i < tileCount; ++i)
      if (!SetStageTexture(record->tiles[i].texture) || d->DrawPrimitive(D3DPT_TRIANGLEFAN, 4 * i, 2) < 0)
        return SLFail(SL_E_OPERATION_FAILED, false);
    return SLSucceed(true);
  }
  for (u32 i = 0; i < tileCount; ++i) {
    const SL_GS_ImageTile& tile = record->tiles[i];
    const i64 l = sourceLeft > i64(tile.x) ? sourceLeft : i64(tile.x);
    const i64 t = sourceTop > i64(tile.y) ? sourceTop : i64(tile.y);
    const i64 right = sourceRight < i64(tile.x + tile.width) ? sourceRight : i64(tile.x + tile.width);
    const i64 b = sourceBottom < i64(tile.y + tile.height) ? sourceBottom : i64(tile.y + tile.height);
    if (right <= l || b <= t) continue;
    const float u0 = float(l - tile.x) / float(tile.width), u1 = float(right - tile.x) / float(tile.width);
    const float v0 = float(t - tile.y) / float(tile.height), v1 = float(b - tile.y) / float(tile.height);
    const float x0 = float(l - sourceLeft), x1 = float(right - sourceLeft);
    const float y0 = float(t - sourceTop), y1 = float(b - sourceTop);
    const Vertex quad[4] = {{x0, y0, 0, 0xFFFFFFFFu, u0, v0},
                            {x1, y0, 0, 0xFFFFFFFFu, u1, v0},
                            {x1, y1, 0, 0xFFFFFFFFu, u1, v1},
                            {x0, y1, 0, 0xFFFFFFFFu, u0, v1}};
    if (!SetStageTexture(tile.texture) || d->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, quad, sizeof(Vertex)) < 0)
      return SLFail(SL_E_OPERATION_FAILED, false);
  }
  return SLSucceed(true);
}

// --- Text -----------------------------------------------------------------------------

namespace {

using SLInternals::SL_GS_FontDevice;
using SLInternals::SL_GS_FontTile;
using SLInternals::SL_GS_GlyphPiece;

SL_GS_FontDevice* DeviceOf(SL_GS_FontRecord* font) { return reinterpret_cast<SL_GS_FontDevice*>(font->deviceData); }

void FreeFontDevice(SL_GS_FontDevice* record, u32 glyphCount) {
  if (record->glyphs) {
    for (u32 i = 0; i < glyphCount; ++i) SLFree(record->glyphs[i].pieces);
    SLFree(record->glyphs);
  }
  if (record->tiles) {
    for (u32 i = 0; i < record->tileCount; ++i)
      if (record->tiles[i].texture) record->tiles[i].texture->Release();
    SLFree(record->tiles);
  }
  SLFree(record);
}

}  // namespace

bool CSL_GS_Gfx_DirectX::CreateFontTextures(SL_GS_FontRecord* font) {
  SL_GS_DeviceRecord* r = m_record;
  if (!r) return SLFail(SL_E_NOT_INITIALISED, false);
  auto* record = static_cast<SL_GS_FontDevice*>(SLAllocZeroed(u32(sizeof(SL_GS_FontDevice))));
  if (!record) return false;
  record->dirty = 1;
  record->format = D3DFMT_A8R8G8B8;
  // The largest power of two the device takes, up to a whole page.
  u32 limit = r->maxTextureWidth < r->maxTextureHeight ? r->maxTextureWidth : r->maxTextureHeight;
  if (limit > 256) limit = 256;
  u32 side = 16;
  while (side * 2 <= limit) side *= 2;
  record->side = side;
  record->perRow = 256 / side;
  const u32 pages = font->pages ? font->pages->GetCount() : 0;
  const u32 perPage = record->perRow * record->perRow;
  record->tileCount = pages * perPage;
  auto fail = [&] {
    FreeFontDevice(record, font->glyphCount);
    return SLFail(SL_E_OUT_OF_MEMORY, false);
  };
  record->tiles = static_cast<SL_GS_FontTile*>(SLAllocZeroed(u32(sizeof(SL_GS_FontTile)) * (record->tileCount + 1)));
  record->glyphs = static_cast<SLInternals::SL_GS_GlyphQuads*>(
      SLAllocZeroed(u32(sizeof(SLInternals::SL_GS_GlyphQuads)) * (font->glyphCount + 1)));
  if (!record->tiles || !record->glyphs) return fail();
  for (u32 i = 0; i < record->tileCount; ++i) {
    SL_GS_FontTile& tile = record->tiles[i];
    const u32 within = i % perPage;
    tile = SL_GS_FontTile{side * (within % record->perRow), side * (within / record->perRow), side, nullptr};
    if (r->device->CreateTexture(side, side, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tile.texture, nullptr) < 0) {
      tile.texture = nullptr;
      return fail();
    }
  }
  for (u32 g = 0; g < font->glyphCount; ++g) {
    const SL_GS_FontGlyph& glyph = font->glyphs[g];
    if (glyph.right <= glyph.left || glyph.bottom <= glyph.top || glyph.page >= pages) continue;
    // Every tile the glyph's pixels reach, columns outer and rows inner.
    const u32 c0 = glyph.left / side, c1 = (glyph.right - 1) / side, r0 = glyph.top / side, r1 = (glyph.bottom - 1) / side;
    const u32 count = (c1 - c0 + 1) * (r1 - r0 + 1);
    auto* pieces = static_cast<SL_GS_GlyphPiece*>(SLAllocZeroed(u32(sizeof(SL_GS_GlyphPiece)) * count));
    if (!pieces) return fail();
    record->glyphs[g] = SLInternals::SL_GS_GlyphQuads{count, pieces};
    u32 at = 0;
    for (u32 c = c0; c <= c1; ++c)
      for (u32 row = r0; row <= r1; ++row, ++at) {
        SL_GS_GlyphPiece& piece = pieces[at];
        piece.texture = record->tiles[glyph.page * perPage + row * record->perRow + c].texture;
        const i64 corners[4][2] = {{glyph.left, glyph.top}, {glyph.right, glyph.top}, {glyph.right, glyph.bottom},
                                   {glyph.left, glyph.bottom}};
        for (int k = 0; k < 4; ++k) {
          auto clampTo = [side](i64 v) { return v < 0 ? 0 : v > i64(side) ? i64(side) : v; };
          const i64 lx = clampTo(corners[k][0] - i64(side * c)), ly = clampTo(corners[k][1] - i64(side * row));
          const u32 white = 0xFFFFFFFFu;
          float* v = piece.vertices[k];
          v[0] = float(lx + i64(side * c) - i64(glyph.left));
          v[1] = float(ly + i64(side * row) - i64(glyph.top));
          v[2] = 0;
          SLMemCopy(&v[3], &white, 4);
          v[4] = float(lx) / float(side);
          v[5] = float(ly) / float(side);
        }
      }
  }
  font->deviceData = reinterpret_cast<std::uintptr_t>(record);
  if (!FillFontTextures(font)) return false;
  record->dirty = 0;
  return SLSucceed(true);
}

bool CSL_GS_Gfx_DirectX::FillFontTextures(SL_GS_FontRecord* font) {
  SL_GS_FontDevice* record = DeviceOf(font);
  const u32 pages = font->pages ? font->pages->GetCount() : 0;
  if (pages == 0) return SLSucceed(true);
  u32 keyColour = 0;
  (*font->pages)[0]->GetTransparentColor(&keyColour);
  const u32 key = (keyColour & 0xFF) << 16 | (keyColour & 0xFF00) | ((keyColour >> 16) & 0xFF);
  const u32 perPage = record->perRow * record->perRow, side = record->side;
  for (u32 p = 0; p < pages; ++p) {
    CSLImage* page = (*font->pages)[p];
    u32 ignored;
    const bool keyed = page->GetTransparentColor(&ignored);
    for (u32 i = 0; i < perPage; ++i) {
      const SL_GS_FontTile& tile = record->tiles[p * perPage + i];
      D3DLOCKED_RECT locked{};
      if (tile.texture->LockRect(0, &locked, nullptr, 0) < 0) return SLFail(SL_E_LOCK_FAILED, false);
      bool ok = true;
      for (u32 y = 0; y < side && ok; ++y) {
        u32* texels = reinterpret_cast<u32*>(static_cast<u8*>(locked.pBits) + u64(y) * u32(locked.Pitch));
        ok = SLConvertPixelRow(5, texels, page->GetFormat(), page->GetPixelAddress(tile.x, tile.y + y), side,
                               page->GetPalette());
        if (keyed)
          for (u32 x = 0; x < side; ++x)
            if ((texels[x] & 0xFFFFFF) == key) texels[x] = 0;
      }
      tile.texture->UnlockRect(0);
      if (!ok) return SLFail(SL_E_MALFORMED, false);
    }
  }
  return SLSucceed(true);
}

void CSL_GS_Gfx_DirectX::FreeFontTextures(SL_GS_FontRecord* font) {
  SL_GS_FontDevice* record = DeviceOf(font);
  if (!record) return;
  if (m_record) {
    SLCriticalSectionLock hold(&m_stageLock);
    m_record->device->SetTexture(0, nullptr);
    m_record->currentTexture = nullptr;
  }
  FreeFontDevice(record, font->glyphCount);
  font->deviceData = 0;
}

i32 CSL_GS_Gfx_DirectX::DrawTextW(SL_GS_Font* handle, i32 x, i32 y, u32 alignment, const SL_GS_DrawImageOptions* o,
                                  const SLWChar* text, u32 length) {
  SL_GS_DeviceRecord* r = m_record;
  if (!r) return SLFail(SL_E_NOT_INITIALISED, 0);
  SL_GS_FontRecord* font = FindFontRecord(handle);
  if (!font) return 0;
  if (length == 0) return SLSucceed(0);
  if (!text) return SLFail(SL_E_INVALID_ARG, 0);
  // -1 reads up to the terminating zero, as the width does.
  if (length == 0xFFFFFFFFu) {
    length = 0;
    while (text[length]) ++length;
    if (length == 0) return SLSucceed(0);
  }
  if (r->lost) return SLSucceed(0);
  SL_GS_FontDevice* record = DeviceOf(font);
  if (!record) return SLFail(SL_E_NOT_SUPPORTED, 0);
  if (record->dirty) {
    if (!FillFontTextures(font)) return 0;
    record->dirty = 0;
  }
  if (!OpenScene()) return 0;
  DrawSetup setup;
  if (o && (o->flags & SL_GS_DRAW_SCALE)) setup.scaleX = float(o->scaleX), setup.scaleY = float(o->scaleY);
  const i32 textWidth = GetTextWidth(handle, text, length);
  if (!(std::fabs(setup.scaleX) >= 1e-10) || !(std::fabs(setup.scaleY) >= 1e-10) || !ColourOf(o, &setup))
    return SLSucceed(textWidth);
  double left = x, top = y;
  if ((alignment & 0xF) == 1) left -= std::trunc(textWidth * setup.scaleX * 0.5);
  if ((alignment & 0xF) == 2) left -= std::trunc(textWidth * setup.scaleX);
  if ((alignment & 0xF0) == 0x10) top -= std::trunc(font->lineHeight * setup.scaleY * 0.5);
  if ((alignment & 0xF0) == 0x20) top -= std::trunc(font->lineHeight * setup.scaleY);
  const GfxMatrix4 world = WorldOf(o, setup, left, top, x, y);
  SLCriticalSectionLock hold(&m_stageLock);
  if (!SetDrawStates(setup.colour, setup.additive, world)) return 0;
  i64 pen = 0, width = 0;
  u32 previous = 0;
  bool any = false;
  for (u32 i = 0; i < length; ++i) {
    const u32 code = text[i];
    const SL_GS_FontGlyph* glyph = FindGlyph(handle, code);
    if (!glyph) {
      previous = 0;
      continue;
    }
    const SLInternals::SL_GS_GlyphQuads& quads = record->glyphs[glyph - font->glyphs];
    for (u32 k = 0; k < quads.count; ++k) {
      const SL_GS_GlyphPiece& piece = quads.pieces[k];
      float vertices[4][6];
      SLMemCopy(vertices, piece.vertices, sizeof vertices);
      for (auto& v : vertices) v[0] += float(pen);
      if (!SetStageTexture(piece.texture) ||
          r->device->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, vertices, sizeof(Vertex)) < 0)
        return SLFail(SL_E_OPERATION_FAILED, 0);
    }
    // The pair's adjustment moves the glyphs after it.
    if (previous != 0 && font->kerningCount)
      if (const SL_GS_FontKerningPair* pair = FindKerningPair(handle, previous, code)) pen += pair->adjustment;
    previous = code;
    pen += i64(glyph->right) - glyph->left + 2;
    width = pen;
    any = true;
  }
  const i64 result = any && width > 2 ? width - 2 : 0;
  return SLSucceed(i32(result > 0x7FFFFFFF ? 0x7FFFFFFF : result));
}
