#include "image/SLImageQuantizer.h"

#include "foundation/SLArray.h"
#include "foundation/SLByteOrder.h"
#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "image/SLImage.h"
#include "image/SLPixelFormatTable.h"

SL_IMPLEMENT_CLASS_CREATABLE(CSLImageQuantizer, CSLObject)

namespace {

// Histogram cells: red and blue by their top 5 bits, green by its top 6.
constexpr u32 kRedCells = 32, kGreenCells = 64, kBlueCells = 32;
constexpr u32 kRedShift = 3, kGreenShift = 2, kBlueShift = 3;
// Distances weigh red 2, green 3, blue 1 (per 8-bit unit); spans in cells scale to
// 8-bit units first: red and blue cells are 8 wide, green cells 4.
constexpr i32 kRedScale = 2, kGreenScale = 3, kBlueScale = 1;
constexpr i32 kRedUnit = 8 * kRedScale, kGreenUnit = 4 * kGreenScale, kBlueUnit = 8 * kBlueScale;
// Update boxes of the inverse map: 4 x 8 x 4 cells, i.e. 32 units along each channel.
constexpr u32 kBoxRed = 4, kBoxGreen = 8, kBoxBlue = 4;
constexpr u32 kBoxCells = kBoxRed * kBoxGreen * kBoxBlue;
constexpr u32 kChunk = 256;

inline u32 CellIndex(u32 redCell, u32 greenCell, u32 blueCell) {
  return (redCell * kGreenCells + greenCell) * kBlueCells + blueCell;
}

// Fills in the defaults of a description: steps of 3 (byte planes), 1 (indexes) or 2
// (16-bit pixels), row strides of width x step.
SLPixelDescription::Plane DefaultedPlane(const SLPixelDescription& source, u32 plane) {
  SLPixelDescription::Plane out = source.planes[plane];
  if (out.step == 0) out.step = source.kind == 1 ? 3 : source.kind == 2 ? 1 : 2;
  if (out.rowStride == 0) out.rowStride = source.width * out.step;
  return out;
}

// Reads `count` pixels of row y from column x as R, G, B bytes.
void ReadPixels(const SLPixelDescription& source, u32 x, u32 y, u32 count, u32 flags, u8* rgb) {
  switch (source.kind) {
    case 1:
      for (u32 channel = 0; channel < 3; ++channel) {
        const SLPixelDescription::Plane plane = DefaultedPlane(source, channel);
        u8* out = rgb + channel;
        if (!plane.data || (flags & (1u << channel))) {
          for (u32 i = 0; i < count; ++i) out[3 * i] = 0;
          continue;
        }
        const u8* in = plane.data + u64(y) * plane.rowStride + u64(x) * plane.step;
        for (u32 i = 0; i < count; ++i) out[3 * i] = in[u64(i) * plane.step];
      }
      return;
    case 2: {
      const SLPixelDescription::Plane plane = DefaultedPlane(source, 0);
      const u8* in = plane.data + u64(y) * plane.rowStride + u64(x) * plane.step;
      for (u32 i = 0; i < count; ++i) {
        const SLPaletteEntry& entry = source.palette.entries[in[u64(i) * plane.step]];
        rgb[3 * i] = entry.red;
        rgb[3 * i + 1] = entry.green;
        rgb[3 * i + 2] = entry.blue;
      }
      break;
    }
    default: {  // 5-6-5, widened by shifts as everywhere else
      const SLPixelDescription::Plane plane = DefaultedPlane(source, 0);
      const u8* in = plane.data + u64(y) * plane.rowStride + u64(x) * plane.step;
      const bool redLow = source.kind == 3;
      for (u32 i = 0; i < count; ++i) {
        u32 v = SLLoadLE16(in + u64(i) * plane.step);
        u32 low = (v & 0x1F) << 3, high = (v >> 11) << 3;
        rgb[3 * i] = u8(redLow ? low : high);
        rgb[3 * i + 1] = u8(((v >> 5) & 0x3F) << 2);
        rgb[3 * i + 2] = u8(redLow ? high : low);
      }
      break;
    }
  }
  for (u32 channel = 0; channel < 3; ++channel)
    if (flags & (1u << channel))
      for (u32 i = 0; i < count; ++i) rgb[3 * i + channel] = 0;
}

template <u32 Step, class Visit>
inline void VisitInterleaved(const u8* __restrict red, const u8* __restrict green, const u8* __restrict blue,
                             u32 count, Visit& visit) {
  for (size_t i = 0; i < count; ++i) visit(u32(i), u32(red[Step * i]), u32(green[Step * i]), u32(blue[Step * i]));
}

// Calls visit(i, red, green, blue) for `count` pixels of row y from column x. Interleaved
// pixels of 3 or 4 bytes, the usual source, are read in place; others through `scratch`
// (3 bytes a pixel).
template <class Visit>
void VisitPixels(const SLPixelDescription& source, u32 x, u32 y, u32 count, u32 flags, u8* scratch, Visit visit) {
  if (source.kind == 1 && (flags & 7) == 0) {
    const SLPixelDescription::Plane red = DefaultedPlane(source, 0), green = DefaultedPlane(source, 1),
                                    blue = DefaultedPlane(source, 2);
    if (red.data && green.data && blue.data && red.step == green.step && red.step == blue.step &&
        (red.step == 3 || red.step == 4) && red.rowStride == green.rowStride && red.rowStride == blue.rowStride) {
      const u64 start = u64(y) * red.rowStride + u64(x) * red.step;
      if (red.step == 3)
        VisitInterleaved<3>(red.data + start, green.data + start, blue.data + start, count, visit);
      else
        VisitInterleaved<4>(red.data + start, green.data + start, blue.data + start, count, visit);
      return;
    }
  }
  ReadPixels(source, x, y, count, flags, scratch);
  for (u32 i = 0; i < count; ++i) visit(i, u32(scratch[3 * i]), u32(scratch[3 * i + 1]), u32(scratch[3 * i + 2]));
}

// The quantizer takes byte planes, indexes and 5-6-5 pixels; a source with no data at
// all has no pixels.
bool CheckDescription(const SLPixelDescription* pixels) {
  if (!pixels) return SLFail(SL_E_NULL_DATA, false);
  if (pixels->kind < 1 || pixels->kind > 4) return SLFail(SL_E_IMAGE_FORMAT_ID, false);
  const bool anyData = pixels->planes[0].data || (pixels->kind == 1 && (pixels->planes[1].data || pixels->planes[2].data));
  return anyData ? true : SLFail(SL_E_IMAGE_NO_PIXELS, false);
}

// Limits the diffused error: unchanged below 16, half slope up to 47, flat from 48 (32).
inline i32 LimitError(i32 error) {
  i32 magnitude = error < 0 ? -error : error;
  i32 limited = magnitude < 16 ? magnitude : magnitude < 48 ? 16 + (magnitude - 16) / 2 : 32;
  return error < 0 ? -limited : limited;
}

inline i32 Clamp255(i32 value) { return value < 0 ? 0 : value > 255 ? 255 : value; }

}  // namespace

struct CSLImageQuantizer::WorkArea {
  u32 histogram[kRedCells * kGreenCells * kBlueCells];  // counts, then index + 1
  u8 palette[256][3];
  u32 colorCount;
  struct Box {
    i32 redMin, redMax, greenMin, greenMax, blueMin, blueMax;
    i32 volume;
    i32 colorCount;  // populated cells
  } boxes[256];

  u32& Cell(i32 red, i32 green, i32 blue) { return histogram[CellIndex(u32(red), u32(green), u32(blue))]; }

  bool PlaneHasColor(const Box& box, int axis, i32 at) {
    i32 lo[3] = {box.redMin, box.greenMin, box.blueMin}, hi[3] = {box.redMax, box.greenMax, box.blueMax};
    lo[axis] = hi[axis] = at;
    for (i32 r = lo[0]; r <= hi[0]; ++r)
      for (i32 g = lo[1]; g <= hi[1]; ++g)
        for (i32 b = lo[2]; b <= hi[2]; ++b)
          if (Cell(r, g, b)) return true;
    return false;
  }

  // Shrinks the box to its populated cells, then measures it.
  void UpdateBox(Box& box) {
    i32* mins[3] = {&box.redMin, &box.greenMin, &box.blueMin};
    i32* maxs[3] = {&box.redMax, &box.greenMax, &box.blueMax};
    for (int axis = 0; axis < 3; ++axis) {
      for (i32 at = *mins[axis]; at <= *maxs[axis]; ++at)
        if (PlaneHasColor(box, axis, at)) {
          *mins[axis] = at;
          break;
        }
      for (i32 at = *maxs[axis]; at >= *mins[axis]; --at)
        if (PlaneHasColor(box, axis, at)) {
          *maxs[axis] = at;
          break;
        }
    }
    const i32 red = (box.redMax - box.redMin) * kRedUnit;
    const i32 green = (box.greenMax - box.greenMin) * kGreenUnit;
    const i32 blue = (box.blueMax - box.blueMin) * kBlueUnit;
    box.volume = red * red + green * green + blue * blue;
    i32 populated = 0;
    for (i32 r = box.redMin; r <= box.redMax; ++r)
      for (i32 g = box.greenMin; g <= box.greenMax; ++g)
        for (i32 b = box.blueMin; b <= box.blueMax; ++b)
          if (Cell(r, g, b)) ++populated;
    box.colorCount = populated;
  }

  // Population-weighted mean of the cell centres (64-bit: a big picture overflows 32).
  void BoxColor(const Box& box, u8* out) {
    u64 total = 0, red = 0, green = 0, blue = 0;
    for (i32 r = box.redMin; r <= box.redMax; ++r)
      for (i32 g = box.greenMin; g <= box.greenMax; ++g)
        for (i32 b = box.blueMin; b <= box.blueMax; ++b) {
          const u64 count = Cell(r, g, b);
          if (!count) continue;
          total += count;
          red += u64(r * 8 + 4) * count;
          green += u64(g * 4 + 2) * count;
          blue += u64(b * 8 + 4) * count;
        }
    if (total == 0) {
      out[0] = out[1] = out[2] = 0;
      return;
    }
    out[0] = u8((red + total / 2) / total);
    out[1] = u8((green + total / 2) / total);
    out[2] = u8((blue + total / 2) / total);
  }
};

CSLImageQuantizer::~CSLImageQuantizer() {
  static_assert(sizeof(WorkArea) == 271108);
  SLErrorKeeper keep;
  SLFree(m_work);
}

bool CSLImageQuantizer::EnsureWorkArea() {
  if (m_work) return true;
  m_work = static_cast<WorkArea*>(SLAllocZeroed(sizeof(WorkArea)));
  return m_work ? true : SLFail(SL_E_OUT_OF_MEMORY, false);
}

bool CSLImageQuantizer::ResetHistogram() {
  if (!EnsureWorkArea()) return false;
  SLMemSet(m_work->histogram, 0, sizeof(m_work->histogram));
  return SLSucceed(true);
}

bool CSLImageQuantizer::AddImage(const CSLImage* image, u32 flags) {
  if (!image) return SLFail(SL_E_NULL_DATA, false);
  SLImageInfo info;
  image->GetInfo(&info);
  return AddPixels(&info, flags);
}

bool CSLImageQuantizer::AddPixels(const SLImageInfo* info, u32 flags) {
  if (!info) return SLFail(SL_E_NULL_DATA, false);
  SLPixelDescription pixels;
  if (!SLDescribeImagePixels(info, &pixels)) return false;
  return AccumulateHistogram(&pixels, flags);
}

bool CSLImageQuantizer::AccumulateHistogram(const SLPixelDescription* pixels, u32 flags) {
  if (!CheckDescription(pixels) || !EnsureWorkArea()) return false;
  u8 rgb[kChunk * 3];
  for (u32 y = 0; y < pixels->height; ++y)
    for (u32 x = 0; x < pixels->width; x += kChunk) {
      const u32 count = pixels->width - x < kChunk ? pixels->width - x : kChunk;
      // Neighbours often share a cell: a run is counted in a register and added once.
      u32* __restrict histogram = m_work->histogram;
      u32 runCell = 0, run = 0;
      VisitPixels(*pixels, x, y, count, flags, rgb, [&histogram, &runCell, &run](u32, u32 red, u32 green, u32 blue) {
        const u32 cell = CellIndex(red >> kRedShift, green >> kGreenShift, blue >> kBlueShift);
        if (cell == runCell) {
          ++run;
          return;
        }
        histogram[runCell] += run;
        runCell = cell;
        run = 1;
      });
      histogram[runCell] += run;
    }
  return SLSucceed(true);
}

bool CSLImageQuantizer::SelectColors(SLImagePalette* out, u32 count) {
  if (!out) return SLFail(SL_E_NULL_OUTPUT, false);
  if (count > 256) return SLFail(SL_E_INVALID_ARG, false);
  if (count == 0) count = 256;
  if (!EnsureWorkArea()) return false;
  WorkArea& work = *m_work;
  work.boxes[0] = {0, kRedCells - 1, 0, kGreenCells - 1, 0, kBlueCells - 1, 0, 0};
  work.UpdateBox(work.boxes[0]);
  u32 boxCount = 1;
  // Median cut: while there is room, split by population first (while that can still
  // double the boxes), by volume afterwards; the earliest box wins ties.
  while (boxCount < count) {
    WorkArea::Box* chosen = nullptr;
    i64 best = 0;
    const bool byPopulation = boxCount * 2 <= count;
    for (u32 i = 0; i < boxCount; ++i) {
      const WorkArea::Box& box = work.boxes[i];
      const i64 measure = byPopulation ? (box.volume > 0 ? box.colorCount : 0) : box.volume;
      if (measure > best) {
        best = measure;
        chosen = &work.boxes[i];
      }
    }
    if (!chosen) break;
    WorkArea::Box& added = work.boxes[boxCount++];
    added = *chosen;
    const i32 red = (chosen->redMax - chosen->redMin) * kRedUnit;
    const i32 green = (chosen->greenMax - chosen->greenMin) * kGreenUnit;
    const i32 blue = (chosen->blueMax - chosen->blueMin) * kBlueUnit;
    // Ties go to green, then red, blue last.
    int axis = 1;
    i32 widest = green;
    if (red > widest) {
      widest = red;
      axis = 0;
    }
    if (blue > widest) axis = 2;
    i32* mins[3] = {&chosen->redMin, &chosen->greenMin, &chosen->blueMin};
    i32* maxs[3] = {&chosen->redMax, &chosen->greenMax, &chosen->blueMax};
    i32* addedMins[3] = {&added.redMin, &added.greenMin, &added.blueMin};
    const i32 split = (*mins[axis] + *maxs[axis]) / 2;
    *maxs[axis] = split;
    *addedMins[axis] = split + 1;
    work.UpdateBox(*chosen);
    work.UpdateBox(added);
  }
  for (u32 i = 0; i < 256; ++i) {
    u8* color = work.palette[i];
    if (i < boxCount)
      work.BoxColor(work.boxes[i], color);
    else
      color[0] = color[1] = color[2] = 0;
    out->entries[i] = {color[0], color[1], color[2], 255};
  }
  work.colorCount = boxCount;
  out->count = boxCount;
  return SLSucceed(true);
}

bool CSLImageQuantizer::SetPalette(const SLImagePalette* palette) {
  if (!palette || palette->count == 0) return SLFail(SL_E_NULL_DATA, false);
  if (!EnsureWorkArea()) return false;
  const u32 count = palette->count < 256 ? palette->count : 256;
  for (u32 i = 0; i < 256; ++i) {
    const SLPaletteEntry black = {0, 0, 0, 255};
    const SLPaletteEntry& entry = i < count ? palette->entries[i] : black;
    m_work->palette[i][0] = entry.red;
    m_work->palette[i][1] = entry.green;
    m_work->palette[i][2] = entry.blue;
  }
  m_work->colorCount = count;
  return SLSucceed(true);
}

// Fills the update box holding a cell: first the colours that can be nearest to some
// cell of the box (nearest distance not above the smallest farthest distance), then the
// nearest of those for every cell, stepping the distances incrementally.
void CSLImageQuantizer::FillInverseMap(u32 redCell, u32 greenCell, u32 blueCell) {
  WorkArea& work = *m_work;
  redCell &= ~(kBoxRed - 1);
  greenCell &= ~(kBoxGreen - 1);
  blueCell &= ~(kBoxBlue - 1);
  // Centres of the box's first and last cells, in 8-bit units.
  const i32 minRed = i32(redCell * 8 + 4), maxRed = minRed + 24;
  const i32 minGreen = i32(greenCell * 4 + 2), maxGreen = minGreen + 28;
  const i32 minBlue = i32(blueCell * 8 + 4), maxBlue = minBlue + 24;
  auto axisRange = [](i32 value, i32 lo, i32 hi, i32 scale, i32* nearest, i32* farthest) {
    i32 near = 0, far;
    if (value < lo) {
      near = (value - lo) * scale;
      far = (value - hi) * scale;
    } else if (value > hi) {
      near = (value - hi) * scale;
      far = (value - lo) * scale;
    } else {
      far = (value <= (lo + hi) >> 1 ? value - hi : value - lo) * scale;
    }
    *nearest += near * near;
    *farthest += far * far;
  };
  i32 nearestDistance[256];
  i32 smallestFarthest = 0x7FFFFFFF;
  for (u32 i = 0; i < work.colorCount; ++i) {
    i32 nearest = 0, farthest = 0;
    axisRange(work.palette[i][0], minRed, maxRed, kRedScale, &nearest, &farthest);
    axisRange(work.palette[i][1], minGreen, maxGreen, kGreenScale, &nearest, &farthest);
    axisRange(work.palette[i][2], minBlue, maxBlue, kBlueScale, &nearest, &farthest);
    nearestDistance[i] = nearest;
    if (farthest < smallestFarthest) smallestFarthest = farthest;
  }
  i32 bestDistance[kBoxCells];
  u8 bestColor[kBoxCells] = {};
  for (i32& distance : bestDistance) distance = 0x7FFFFFFF;
  for (u32 i = 0; i < work.colorCount; ++i) {
    if (nearestDistance[i] > smallestFarthest) continue;
    i32 redStep = (minRed - work.palette[i][0]) * kRedScale;
    i32 greenStep = (minGreen - work.palette[i][1]) * kGreenScale;
    i32 blueStep = (minBlue - work.palette[i][2]) * kBlueScale;
    i32 redDistance = redStep * redStep + greenStep * greenStep + blueStep * blueStep;
    // (d + s)^2 - d^2 = 2ds + s^2, and it grows by 2s^2 per step.
    redStep = redStep * 2 * kRedUnit + kRedUnit * kRedUnit;
    greenStep = greenStep * 2 * kGreenUnit + kGreenUnit * kGreenUnit;
    blueStep = blueStep * 2 * kBlueUnit + kBlueUnit * kBlueUnit;
    u32 cell = 0;
    for (u32 r = 0; r < kBoxRed; ++r) {
      i32 greenDistance = redDistance, greenIncrement = greenStep;
      for (u32 g = 0; g < kBoxGreen; ++g) {
        i32 distance = greenDistance, blueIncrement = blueStep;
        for (u32 b = 0; b < kBoxBlue; ++b, ++cell) {
          if (distance < bestDistance[cell]) {
            bestDistance[cell] = distance;
            bestColor[cell] = u8(i);
          }
          distance += blueIncrement;
          blueIncrement += 2 * kBlueUnit * kBlueUnit;
        }
        greenDistance += greenIncrement;
        greenIncrement += 2 * kGreenUnit * kGreenUnit;
      }
      redDistance += redStep;
      redStep += 2 * kRedUnit * kRedUnit;
    }
  }
  u32 cell = 0;
  for (u32 r = 0; r < kBoxRed; ++r)
    for (u32 g = 0; g < kBoxGreen; ++g)
      for (u32 b = 0; b < kBoxBlue; ++b, ++cell)
        work.histogram[CellIndex(redCell + r, greenCell + g, blueCell + b)] = u32(bestColor[cell]) + 1;
}

inline u32 CSLImageQuantizer::LookUp(u32 red, u32 green, u32 blue) {
  u32& cached = m_work->histogram[CellIndex(red >> kRedShift, green >> kGreenShift, blue >> kBlueShift)];
  if (cached == 0) FillInverseMap(red >> kRedShift, green >> kGreenShift, blue >> kBlueShift);
  return cached - 1;
}

bool CSLImageQuantizer::RemapPixels(SLRemapResult* result, const SLImageInfo* source, bool dither, u32 flags) {
  if (result) SLMemSet(result, 0, sizeof(*result));
  if (!source) return SLFail(SL_E_NULL_DATA, false);
  if (source->width == 0 || source->height == 0) return SLFail(SL_E_IMAGE_EMPTY, false);
  SLPixelDescription pixels;
  if (!SLDescribeImagePixels(source, &pixels)) return false;
  return Remap(result, &pixels, dither, flags);
}

bool CSLImageQuantizer::Remap(SLRemapResult* result, const SLPixelDescription* pixels, bool dither, u32 flags) {
  if (!result) return SLFail(SL_E_NULL_OUTPUT, false);
  if (!CheckDescription(pixels)) return false;
  const u32 width = pixels->width, height = pixels->height;
  if (width == 0 || height == 0) return SLFail(SL_E_IMAGE_EMPTY, false);
  if (!m_work || m_work->colorCount == 0) return SLFail(SL_E_NOT_INITIALISED, false);
  u64 indexBytes, rowBytes, errorBytes, scratchBytes;
  if (!SLCheckedMul(width, height, &indexBytes) || !SLFitsU32(indexBytes) ||
      !SLCheckedMul(u64(width) + 2, 3 * sizeof(i32), &errorBytes) || !SLCheckedMul(width, 3, &rowBytes) ||
      !SLCheckedAdd(errorBytes, rowBytes, &scratchBytes) || !SLFitsU32(scratchBytes))
    return SLFail(SL_E_OUT_OF_MEMORY, false);
  TSLAutoPtr<u8> indexes(static_cast<u8*>(SLAlloc(u32(indexBytes))));
  TSLAutoPtr<u8> scratch(static_cast<u8*>(SLAllocZeroed(u32(scratchBytes))));
  if (!indexes || !scratch) return SLFail(SL_E_OUT_OF_MEMORY, false);
  if (!ResetHistogram()) return false;

  i32* errors = reinterpret_cast<i32*>(scratch.Get());  // (width + 2) x 3, in sixteenths
  u8* rgb = scratch.Get() + errorBytes;
  for (u32 y = 0; y < height; ++y) {
    u8* out = indexes.Get() + u64(y) * width;
    if (!dither) {
      u32 lastCell = 0xFFFFFFFFu;
      u8 lastIndex = 0;
      VisitPixels(*pixels, 0, y, width, flags, rgb, [&](u32 x, u32 red, u32 green, u32 blue) {
        const u32 cell = CellIndex(red >> kRedShift, green >> kGreenShift, blue >> kBlueShift);
        if (cell != lastCell) {
          lastCell = cell;
          lastIndex = u8(LookUp(red, green, blue));
        }
        out[x] = lastIndex;
      });
      continue;
    }
    ReadPixels(*pixels, 0, y, width, flags, rgb);
    // Serpentine Floyd-Steinberg: even rows left to right, odd rows right to left. The
    // error row holds, per column (shifted by one), what the row below receives.
    const bool leftToRight = (y & 1) == 0;
    const i32 dir = leftToRight ? 1 : -1;
    i32 x = leftToRight ? 0 : i32(width) - 1;
    i32* below = errors + (leftToRight ? 0 : (u64(width) + 1) * 3);
    i32 current[3] = {0, 0, 0}, belowPrevious[3] = {0, 0, 0}, belowHere[3] = {0, 0, 0};
    for (u32 n = 0; n < width; ++n, x += dir, below += 3 * dir) {
      i32 wanted[3];
      for (int c = 0; c < 3; ++c) {
        const i32 error = (current[c] + below[3 * dir + c] + 8) >> 4;
        wanted[c] = Clamp255(LimitError(error) + rgb[3 * x + c]);
      }
      const u32 index = LookUp(u32(wanted[0]), u32(wanted[1]), u32(wanted[2]));
      out[x] = u8(index);
      for (int c = 0; c < 3; ++c) {
        const i32 error = wanted[c] - m_work->palette[index][c];
        below[c] = belowPrevious[c] + error * 3;
        belowPrevious[c] = belowHere[c] + error * 5;
        belowHere[c] = error;
        current[c] = error * 7;
      }
    }
    for (int c = 0; c < 3; ++c) below[c] = belowPrevious[c];
  }

  result->width = width;
  result->height = height;
  result->colorCount = m_work->colorCount;
  for (u32 i = 0; i < 256; ++i)
    result->palette[i] = {m_work->palette[i][0], m_work->palette[i][1], m_work->palette[i][2], 255};
  result->indexes = indexes.Detach();
  result->bytesPerPixel = 1;
  result->stride = width;
  return SLSucceed(true);
}

bool SLDescribeImagePixels(const SLImageInfo* info, SLPixelDescription* out) {
  if (!info) return SLFail(SL_E_NULL_DATA, false);
  if (!out) return SLFail(SL_E_NULL_OUTPUT, false);
  const u32 format = info->format;
  if (!SLInternals::SLHasLayout(format) || format == SL_IMAGE_FORMAT_ALPHA)
    return SLFail(SL_E_IMAGE_FORMAT_ID, false);
  if (!info->pixels) return SLFail(SL_E_IMAGE_NO_PIXELS, false);
  SLMemSet(out, 0, sizeof(*out));
  out->width = info->width;
  out->height = info->height;
  const SLInternals::SLPixelLayout& layout = SLInternals::SLFormatLayout(format);
  const u32 stride = info->stride ? info->stride : info->width * layout.bytesPerPixel;
  if (format == SL_IMAGE_FORMAT_PALETTE) {
    out->kind = 2;
    out->planes[0] = {info->pixels, 1, stride};
    out->palette.count = 256;
    for (u32 i = 0; i < 256; ++i) {
      if (info->palette)
        out->palette.entries[i] = info->palette->entries[i];
      else
        SLDefaultPaletteColor(i, &out->palette.entries[i]);
    }
  } else if (layout.bytesPerPixel >= 3) {
    out->kind = 1;
    const u32 masks[3] = {layout.redMask, layout.greenMask, layout.blueMask};
    for (u32 channel = 0; channel < 3; ++channel)
      out->planes[channel] = {info->pixels + __builtin_ctz(masks[channel]) / 8, layout.bytesPerPixel, stride};
  } else {
    static const u8 kinds[10] = {3, 4, 5, 6, 5, 6, 7, 8, 7, 8};  // the 16-bit formats in id order
    out->kind = kinds[format - SL_IMAGE_FORMAT_FIRST_16BIT];
    out->planes[0] = {info->pixels, 2, stride};
  }
  return SLSucceed(true);
}
