// Drawing skin pieces: nine-slice elements (corners, edges and a centre that stretches or
// tiles per axis), glyphs and caller images, the clip-rectangle stack, and the hit tests
// that answer whether a point lies on those shapes.
//
// An element's insets are checked against its image when the skin loads, not against
// the element's own rectangle, so a skin may give insets larger than the element. Every
// piece here is therefore cut to the element's source rectangle, inner sizes are never
// below 0, and pieces or tiles smaller than a pixel are not drawn: whatever the skin
// says, no draw reads outside its element and no tiling loop can stall.
#include <algorithm>
#include <cmath>

#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "gamesystem/SLBaseGfx.h"
#include "gamesystem/directx/SLGfxDirectX.h"
#include "gui/SLGuiManager.h"

namespace {

constexpr double kOpaque = 99.9999999999;

bool Translucent(double opacity) { return opacity < kOpaque; }  // false for NaN

struct Source {
  i32 x, y, width, height;
};

// The pieces of an element along one axis, as the drawing places them in a length L:
// the start band (inset a), the end band (inset z) and the inner part between them.
struct Axis {
  i32 start;   // drawn size of the start band: min(a, L), cut to the source
  i32 end;     // drawn size of the end band
  i32 inner;   // L - a - z when positive
  i32 centre;  // source size of the centre: max(0, s - a - z)
};

// The drawing contract in one place: the end band gives way to the start band
// (it shrinks to L - a), both are cut to the source size s.
Axis AxisOf(i32 length, i32 source, i32 a, i32 z) {
  Axis axis;
  axis.start = a > 0 ? std::min({a, length, source}) : 0;
  i32 end = 0;
  if (z > 0) {
    end = z;
    if (i64(length) - z < a) end = i32(std::max<i64>(0, i64(length) - a));
    end = std::min(end, source);
  }
  axis.end = end;
  axis.inner = i32(std::max<i64>(0, i64(length) - a - z));
  axis.centre = i32(std::max<i64>(0, i64(source) - a - z));
  return axis;
}

class PieceDrawer {
 public:
  PieceDrawer(CSL_GS_BaseGfx* gfx, SL_GS_Image* image, double opacity) : m_gfx(gfx), m_image(image) {
    m_options = {};
    if (Translucent(opacity)) m_options.flags = SL_GS_DRAW_OPACITY, m_options.opacity = opacity;
  }
  bool ok() const { return m_ok; }

  // One source rectangle drawn at (x, y), scaled to (width, height) when that differs.
  void Draw(Source s, i32 x, i32 y, i32 width, i32 height) {
    if (s.width < 1 || s.height < 1 || width < 1 || height < 1) return;
    SL_GS_DrawImageOptions options = m_options;
    options.flags |= SL_GS_DRAW_SOURCE;
    options.sourceX = s.x, options.sourceY = s.y, options.sourceWidth = s.width, options.sourceHeight = s.height;
    if (width != s.width || height != s.height) {
      // The target size rides in the first four bytes of the scale factors.
      options.flags |= SL_GS_DRAW_TARGET_SIZE;
      SLMemCopy(&options.scaleX, &width, sizeof(width));
      SLMemCopy(&options.scaleY, &height, sizeof(height));
    }
    if (!m_gfx->DrawImage(m_image, x, y, &options)) m_ok = false;
  }

  // A horizontal band of `length` pixels from (x, y): the source scaled to it, or
  // repeated rightward with the last copy cut.
  void BandX(Source s, i32 x, i32 y, i32 length, bool stretch) {
    if (s.width < 1 || s.height < 1 || length < 1) return;
    if (stretch) return Draw(s, x, y, length, s.height);
    for (i64 pos = 0; pos < length; pos += s.width) {
      Source piece = s;
      piece.width = i32(std::min<i64>(s.width, length - pos));
      Draw(piece, i32(x + pos), y, piece.width, piece.height);
    }
  }
  void BandY(Source s, i32 x, i32 y, i32 length, bool stretch) {
    if (s.width < 1 || s.height < 1 || length < 1) return;
    if (stretch) return Draw(s, x, y, s.width, length);
    for (i64 pos = 0; pos < length; pos += s.height) {
      Source piece = s;
      piece.height = i32(std::min<i64>(s.height, length - pos));
      Draw(piece, x, i32(y + pos), piece.width, piece.height);
    }
  }

  // Fills a rectangle with a source: stretched, in rows, in columns or tiled.
  void Fill(Source s, const SLGuiRect& r, bool stretchX, bool stretchY) {
    if (s.width < 1 || s.height < 1 || r.width < 1 || r.height < 1) return;
    if (stretchX && stretchY) return Draw(s, r.x, r.y, r.width, r.height);
    if (stretchX) {
      for (i64 pos = 0; pos < r.height; pos += s.height) {
        Source row = s;
        row.height = i32(std::min<i64>(s.height, r.height - pos));
        Draw(row, r.x, i32(r.y + pos), r.width, row.height);
      }
      return;
    }
    if (stretchY) {
      for (i64 pos = 0; pos < r.width; pos += s.width) {
        Source column = s;
        column.width = i32(std::min<i64>(s.width, r.width - pos));
        Draw(column, i32(r.x + pos), r.y, column.width, r.height);
      }
      return;
    }
    // Tiles row by row, left to right; the last row and column are cut.
    for (i64 top = 0; top < r.height; top += s.height) {
      Source row = s;
      row.height = i32(std::min<i64>(s.height, r.height - top));
      BandX(row, r.x, i32(r.y + top), r.width, false);
    }
  }

 private:
  CSL_GS_BaseGfx* m_gfx;
  SL_GS_Image* m_image;
  SL_GS_DrawImageOptions m_options;
  bool m_ok = true;
};

Source CentreOf(const SLGuiSkinElement* e) {
  const Axis x = AxisOf(0, e->width, e->left, e->right), y = AxisOf(0, e->height, e->top, e->bottom);
  return Source{e->x + e->left, e->y + e->top, x.centre, y.centre};
}

bool Inside(const SLGuiRect* r, i32 x, i32 y) {
  return i64(x) >= r->x && i64(y) >= r->y && i64(x) < i64(r->x) + r->width && i64(y) < i64(r->y) + r->height;
}

// Where an offset of the inner part of an axis falls in the source's centre band.
i32 MapInner(i64 offset, i64 area, i32 centre, bool stretch) {
  if (centre < 1 || area < 1) return -1;
  if (stretch) return i32(offset * centre / area);
  return i32(offset % centre);
}

// The source offset of a point along one axis of an element drawn over `length`, as the
// drawing places the bands; -1 where nothing is drawn. `inner` tells a point of the
// inner part, which maps onto the centre band.
i32 MapBand(i64 offset, i32 length, i32 source, i32 a, i32 z, bool stretch, bool* inner) {
  const Axis axis = AxisOf(length, source, a, z);
  *inner = false;
  if (offset < a) return offset < axis.start ? i32(offset) : -1;
  if (offset >= i64(length) - z) return offset >= i64(length) - axis.end ? i32(source - (length - offset)) : -1;
  *inner = true;
  const i32 mapped = MapInner(offset - a, axis.inner, axis.centre, stretch);
  return mapped < 0 ? -1 : a + mapped;
}

}  // namespace

// --- Elements, glyphs and images ---

bool CSL_GS_GuiManager::DrawSkinElement(const SLGuiSkinElement* e, const SLGuiRect* rect, double opacity) {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, false);
  if (!e || !rect) return SLFail(SL_E_INVALID_ARG, false);
  CSL_GS_BaseGfx* gfx = m_state->gfx;
  if (!gfx) return SLFail(SL_E_NOT_INITIALISED, false);
  const i32 W = rect->width, H = rect->height, X = rect->x, Y = rect->y;
  if (W < 1 || H < 1) return SLSucceed(true);
  PieceDrawer draw(gfx, GetSkinImageHandle(e->skin, e->image), opacity);
  const Axis ax = AxisOf(W, e->width, e->left, e->right), ay = AxisOf(H, e->height, e->top, e->bottom);
  const i32 edgeHeight = H - e->top - e->bottom;  // the side columns' band, between the corners
  const auto column = [&](i32 sourceX, i32 width, i32 x) {
    if (width < 1) return;
    draw.Draw({sourceX, e->y, width, ay.start}, x, Y, width, ay.start);
    draw.Draw({sourceX, e->y + e->height - ay.end, width, ay.end}, x, Y + H - ay.end, width, ay.end);
    if (edgeHeight > 0)
      draw.BandY({sourceX, e->y + e->top, width, ay.centre}, x, Y + e->top, edgeHeight, e->stretchY != 0);
  };
  if (e->left > 0) column(e->x, ax.start, X);
  if (e->right > 0 && W - e->left > 0) {
    const i32 rw = std::min({W - e->left, e->right, e->width});
    column(e->x + e->width - rw, rw, X + W - rw);
  }
  if (i64(W) > i64(e->left) + e->right) {
    const i32 band = W - e->left - e->right;
    if (e->top > 0) draw.BandX({e->x + e->left, e->y, ax.centre, ay.start}, X + e->left, Y, band, e->stretchX != 0);
    if (H - e->top >= 1 && e->bottom > 0)
      draw.BandX({e->x + e->left, e->y + e->height - ay.end, ax.centre, ay.end}, X + e->left, Y + H - ay.end, band,
                 e->stretchX != 0);
  }
  return draw.ok() ? SLSucceed(true) : false;
}

bool CSL_GS_GuiManager::DrawSkinElementInRect(const SLGuiSkinElement* e, const SLGuiRect* rect, double opacity,
                                              const SLGuiSkinElement* backgroundOverride) {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, false);
  if (!e || !rect) return SLFail(SL_E_INVALID_ARG, false);
  CSL_GS_BaseGfx* gfx = m_state->gfx;
  if (!gfx) return SLFail(SL_E_NOT_INITIALISED, false);
  if (rect->width < 1 || rect->height < 1) return SLSucceed(true);
  SLGuiRect area = *rect;
  const SLGuiSkinElement* source = e;
  if (backgroundOverride) {
    if (!DrawSkinElement(backgroundOverride, rect, opacity)) return false;
    SLGuiSkinDeflateRect(backgroundOverride, &area);
    if (area.width < 1 || area.height < 1) return SLSucceed(true);
    source = backgroundOverride;
  }
  PieceDrawer draw(gfx, GetSkinImageHandle(source->skin, source->image), opacity);
  draw.Fill(CentreOf(source), area, source->stretchX != 0, source->stretchY != 0);
  return draw.ok() ? SLSucceed(true) : false;
}

bool CSL_GS_GuiManager::DrawSkinGlyph(const SLGuiSkinGlyph* glyph, i32 x, i32 y, double opacity) {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, false);
  if (!glyph) return SLFail(SL_E_INVALID_ARG, false);
  if (!m_state->gfx) return SLFail(SL_E_NOT_INITIALISED, false);
  PieceDrawer draw(m_state->gfx, GetSkinImageHandle(glyph->skin, glyph->image), opacity);
  draw.Draw({glyph->x, glyph->y, glyph->width, glyph->height}, x, y, glyph->width, glyph->height);
  return draw.ok() ? SLSucceed(true) : false;
}

bool CSL_GS_GuiManager::DrawImageWithOpacity(SL_GS_Image* image, i32 x, i32 y, double opacity,
                                             SL_GS_DrawImageOptions* options) {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, false);
  CSL_GS_BaseGfx* gfx = m_state->gfx;
  if (!gfx) return SLFail(SL_E_NOT_INITIALISED, false);
  SL_GS_DrawImageOptions opaque{};
  if (!options) options = &opaque;
  const u32 flags = options->flags;
  const double previous = options->opacity;
  if (Translucent(opacity)) {
    options->opacity = (flags & SL_GS_DRAW_OPACITY) ? opacity / 100 * previous : opacity;
    options->flags |= SL_GS_DRAW_OPACITY;
  }
  const bool drawn = gfx->DrawImage(image, x, y, options);
  options->flags = flags;
  options->opacity = previous;
  return drawn;
}

bool CSL_GS_GuiManager::DrawImageSlot(const SLGuiImageSlot* slot, i32 x, i32 y, double opacity) {
  if (!slot) return SLFail(SL_E_INVALID_ARG, false);
  return DrawImageWithOpacity(slot->image, x, y, opacity, slot->options);
}

bool CSL_GS_GuiManager::SetImageSlot(SLGuiImageSlot* slot, SL_GS_Image* image, const SL_GS_DrawImageOptions* options) {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, false);
  if (!slot) return SLFail(SL_E_INVALID_ARG, false);
  auto empty = [slot] {
    SLFree(slot->options);
    *slot = {};
  };
  if (!image) return empty(), SLSucceed(true);
  CSL_GS_BaseGfx* gfx = m_state->gfx;
  if (!gfx) return SLFail(SL_E_NOT_INITIALISED, false);
  SL_GS_ImageInfo info;
  if (!gfx->GetImageInfo(image, &info)) return false;
  i64 width = info.width, height = info.height;
  if (options) {
    if (options->flags & SL_GS_DRAW_SOURCE) {
      // The source rectangle cut to the image gives the base size.
      const i64 left = std::max<i64>(0, options->sourceX), top = std::max<i64>(0, options->sourceY);
      const i64 right = std::min<i64>(info.width, i64(options->sourceX) + options->sourceWidth);
      const i64 bottom = std::min<i64>(info.height, i64(options->sourceY) + options->sourceHeight);
      width = right - left, height = bottom - top;
    }
    if (width < 0) return SLFail(SL_E_INVALID_ARG, false);
    if (options->flags & SL_GS_DRAW_SCALE) {
      const double w = std::trunc(double(width) * std::fabs(options->scaleX));
      const double h = std::trunc(double(height) * std::fabs(options->scaleY));
      width = w < 2147483647.0 ? i64(w) : 2147483647;  // NaN compares false: refused below
      height = h < 2147483647.0 ? i64(h) : 2147483647;
      if (!(w >= 0)) width = -1;
      if (!(h >= 0)) height = -1;
    } else if (options->flags & SL_GS_DRAW_TARGET_SIZE) {
      i32 w, h;
      SLMemCopy(&w, &options->scaleX, sizeof(w));
      SLMemCopy(&h, &options->scaleY, sizeof(h));
      width = w, height = h;
    }
  }
  // A drawn size of 0 in either direction would divide by zero when hit testing.
  if (width < 1 || height < 1) return SLFail(SL_E_INVALID_ARG, false);
  SL_GS_DrawImageOptions* copy = nullptr;
  if (options) {
    copy = static_cast<SL_GS_DrawImageOptions*>(SLAlloc(u32(sizeof(SL_GS_DrawImageOptions))));
    if (!copy) return SLFail(SL_E_OUT_OF_MEMORY, false);
    *copy = *options;
  }
  empty();
  slot->image = image;
  slot->width = i32(width), slot->height = i32(height);
  slot->options = copy;
  return SLSucceed(true);
}

// --- Clip stack ---

bool CSL_GS_GuiManager::PushClipRect(i32 x, i32 y, i32 width, i32 height, bool replaceTop) {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, false);
  CSL_GS_BaseGfx* gfx = m_state->gfx;
  if (!gfx) return SLSucceed(true);
  TSLArray<SLGuiRect>& stack = *m_state->clipStack;
  if (replaceTop && stack.GetCount()) stack.RemoveAt(stack.GetCount() - 1);
  const SLGuiRect base = stack.GetCount() ? stack[stack.GetCount() - 1]
                                          : SLGuiRect{m_state->clipX, m_state->clipY, m_state->clipWidth,
                                                      m_state->clipHeight};
  const i64 left = std::max<i64>(x, base.x), top = std::max<i64>(y, base.y);
  const i64 right = std::min<i64>(i64(x) + width, i64(base.x) + base.width);
  const i64 bottom = std::min<i64>(i64(y) + height, i64(base.y) + base.height);
  const SLGuiRect clip{i32(left), i32(top), i32(std::max<i64>(0, right - left)), i32(std::max<i64>(0, bottom - top))};
  // Stacks grow 32 entries at a time.
  if (stack.GetCount() == stack.GetCapacity() && !stack.Reserve(stack.GetCount() + 32))
    return SLFail(SL_E_OUT_OF_MEMORY, false);
  if (!stack.Add(clip)) return SLFail(SL_E_OUT_OF_MEMORY, false);
  if (!gfx->SetClipRect(u32(std::max(0, clip.x)), u32(std::max(0, clip.y)), u32(clip.width), u32(clip.height))) {
    SLErrorKeeper keep;
    stack.RemoveAt(stack.GetCount() - 1);
    return false;
  }
  return SLSucceed(true);
}

bool CSL_GS_GuiManager::PopClipRect() {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, false);
  CSL_GS_BaseGfx* gfx = m_state->gfx;
  TSLArray<SLGuiRect>& stack = *m_state->clipStack;
  if (!gfx || stack.GetCount() == 0) return SLSucceed(true);
  const u32 count = stack.GetCount();
  const SLGuiRect below = count >= 2 ? stack[count - 2]
                                     : SLGuiRect{m_state->clipX, m_state->clipY, m_state->clipWidth,
                                                 m_state->clipHeight};
  const bool restored = gfx->SetClipRect(u32(std::max(0, below.x)), u32(std::max(0, below.y)),
                                         u32(std::max(0, below.width)), u32(std::max(0, below.height)));
  SLErrorKeeper keep;
  stack.RemoveAt(count - 1);
  return restored;
}

// --- Placing an image beside a text ---

namespace {

enum Align { kStart, kEnd, kCentre };

// One axis of LayoutImageAndText: positions of the text and the image inside `length`.
void LayoutAxis(i32 length, i32 text, i32 image, Align textAlign, Align imageAlign, bool adjacent, i32 gap,
                i32* textPos, i32* imagePos) {
  const auto aligned = [length](i32 size, Align align) {
    return align == kStart ? 0 : align == kEnd ? length - size : (length - size) / 2;
  };
  if (image < 1) {
    *textPos = aligned(text, textAlign);
    *imagePos = 0;
    return;
  }
  i32 t = 0, i = 0;
  switch (textAlign) {
    case kStart:
      t = 0;
      if (imageAlign == kEnd) {
        i = adjacent ? text + gap : std::max(length - image, text + gap);
      } else if (imageAlign == kCentre) {
        const i32 start = text + gap;
        i = start + std::max(0, (length - start - image) / 2);
      } else {
        i = 0, t = image + gap;
      }
      break;
    case kEnd:
      if (imageAlign == kEnd) {
        i = length - image, t = i - gap - text;
      } else if (imageAlign == kCentre) {
        t = length - text;
        const i32 room = t - gap;
        i = std::min((room - image) / 2, room - image);
      } else {
        t = length - text;
        i = adjacent ? t - gap - image : std::min(0, t - gap - image);
      }
      break;
    case kCentre:
      if (imageAlign == kEnd) {
        if (adjacent) {
          t = (length - (text + gap + image)) / 2, i = t + text + gap;
        } else {
          i = length - image, t = (length - text) / 2;
          if (t + text + gap > i) t = i - gap - text;
        }
      } else if (imageAlign == kCentre) {
        t = (length - text) / 2, i = (length - image) / 2;
      } else {
        if (adjacent) {
          i = (length - (image + gap + text)) / 2, t = i + image + gap;
        } else {
          i = 0, t = (length - text) / 2;
          if (t < image + gap) t = image + gap;
        }
      }
      break;
  }
  *textPos = t, *imagePos = i;
}

Align Horizontal(u32 format) {
  switch (format & 3) {
    case 1: return kEnd;
    case 2: return kCentre;
    default: return kStart;
  }
}
Align Vertical(u32 format) {
  switch (format & 12) {
    case 4: return kEnd;
    case 8: return kStart;
    default: return kCentre;
  }
}

}  // namespace

bool CSL_GS_GuiManager::LayoutImageAndText(const SLGuiRect* rect, SLGuiRect* text, u32 textFormat, SLGuiRect* image,
                                           u32 imageStyle, bool adjacent, i32 gap) {
  if (!rect || !text || !image) return SLFail(SL_E_INVALID_ARG, false);
  const bool hasText = text->width > 0 && text->height > 0;
  const i32 g = hasText ? gap : 0;
  i32 tx, ix, ty, iy;
  LayoutAxis(rect->width, text->width, image->width, Horizontal(textFormat), Horizontal(imageStyle), adjacent, g, &tx,
             &ix);
  LayoutAxis(rect->height, text->height, image->height, Vertical(textFormat), Vertical(imageStyle), adjacent, g, &ty,
             &iy);
  text->x = rect->x + tx, text->y = rect->y + ty;
  image->x = rect->x + ix, image->y = rect->y + iy;
  return SLSucceed(true);
}

double CSL_GS_GuiManager::GetEffectiveOpacity(CSL_GS_GuiWindow* window) {
  double opacity = 100;
  for (CSL_GS_GuiWindow* w = window; w; w = ParentOf(w)) opacity *= w->GetOpacity() / 100;
  return opacity;
}

// --- Hit tests: true means transparent ---

bool CSL_GS_GuiManager::HitTestImage(SL_GS_Image* image, i32 x, i32 y) {
  if (!m_state || !m_state->gfx) return true;
  return !m_state->gfx->HitTest(image, x, y);
}

bool CSL_GS_GuiManager::HitTestSkinGlyph(const SLGuiSkinGlyph* glyph, i32 x, i32 y) {
  if (!m_state || !m_state->gfx || !glyph) return true;
  if (x < 0 || y < 0 || x >= glyph->width || y >= glyph->height) return true;
  return HitTestImage(GetSkinImageHandle(glyph->skin, glyph->image), glyph->x + x, glyph->y + y);
}

bool CSL_GS_GuiManager::HitTestImageSlot(const SLGuiImageSlot* slot, i32 x, i32 y) {
  if (!m_state || !m_state->gfx || !slot || !slot->image) return true;
  if (slot->width < 1 || slot->height < 1 || x < 0 || y < 0 || x >= slot->width || y >= slot->height) return true;
  SL_GS_ImageInfo info;
  if (!m_state->gfx->GetImageInfo(slot->image, &info)) return true;
  i64 px = x, py = y;
  const SL_GS_DrawImageOptions* options = slot->options;
  i64 baseWidth = info.width, baseHeight = info.height, offsetX = 0, offsetY = 0;
  if (options && (options->flags & SL_GS_DRAW_SOURCE)) {
    offsetX = std::max<i64>(0, options->sourceX), offsetY = std::max<i64>(0, options->sourceY);
    baseWidth = std::min<i64>(info.width, i64(options->sourceX) + options->sourceWidth) - offsetX;
    baseHeight = std::min<i64>(info.height, i64(options->sourceY) + options->sourceHeight) - offsetY;
  }
  if (options && (options->flags & (SL_GS_DRAW_SCALE | SL_GS_DRAW_TARGET_SIZE))) {
    px = px * baseWidth / slot->width;
    py = py * baseHeight / slot->height;
  }
  if (px >= baseWidth || py >= baseHeight) return true;
  return HitTestImage(slot->image, i32(px + offsetX), i32(py + offsetY));
}

u32 CSL_GS_GuiManager::SkinElementZoneAt(const SLGuiSkinElement* e, const SLGuiRect* rect, i32 x, i32 y) {
  if (!e || !rect || !Inside(rect, x, y)) return SL_GUI_ZONE_OUTSIDE;
  const i64 px = i64(x) - rect->x, py = i64(y) - rect->y;
  if (px < e->left || py < e->top || px >= i64(rect->width) - e->right || py >= i64(rect->height) - e->bottom)
    return SL_GUI_ZONE_INSET;
  return SL_GUI_ZONE_INNER;
}

bool CSL_GS_GuiManager::HitTestSkinElement(const SLGuiSkinElement* e, const SLGuiRect* rect, i32 x, i32 y) {
  if (!m_state || !m_state->gfx || !e || !rect || !Inside(rect, x, y)) return true;
  bool innerX, innerY;
  const i32 sx = MapBand(i64(x) - rect->x, rect->width, e->width, e->left, e->right, e->stretchX != 0, &innerX);
  const i32 sy = MapBand(i64(y) - rect->y, rect->height, e->height, e->top, e->bottom, e->stretchY != 0, &innerY);
  if (innerX && innerY) return true;
  if (sx < 0 || sy < 0 || sx >= e->width || sy >= e->height) return true;
  return HitTestImage(GetSkinImageHandle(e->skin, e->image), e->x + sx, e->y + sy);
}

bool CSL_GS_GuiManager::HitTestSkinElementInRect(const SLGuiSkinElement* e, const SLGuiRect* rect, i32 x, i32 y,
                                                 const SLGuiSkinElement* backgroundOverride) {
  if (!m_state || !m_state->gfx || !e || !rect || !Inside(rect, x, y)) return true;
  SLGuiRect area = *rect;
  const SLGuiSkinElement* source = e;
  if (backgroundOverride) {
    if (SkinElementZoneAt(backgroundOverride, rect, x, y) == SL_GUI_ZONE_INSET)
      return HitTestSkinElement(backgroundOverride, rect, x, y);
    SLGuiSkinDeflateRect(backgroundOverride, &area);
    source = backgroundOverride;
  }
  if (!Inside(&area, x, y)) return true;
  const Source centre = CentreOf(source);
  const i32 cx = MapInner(i64(x) - area.x, area.width, centre.width, source->stretchX != 0);
  const i32 cy = MapInner(i64(y) - area.y, area.height, centre.height, source->stretchY != 0);
  if (cx < 0 || cy < 0) return true;
  return HitTestImage(GetSkinImageHandle(source->skin, source->image), centre.x + cx, centre.y + cy);
}
