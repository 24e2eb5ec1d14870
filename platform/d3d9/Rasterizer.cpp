// The software device's drawing: triangle fans of position-colour-texture vertices through
// the world, view and projection transforms (row vectors, f32), clipped in clip space
// against the near and far planes and the enabled user planes, divided, mapped to the
// viewport with positions snapped to 1/256 pixel, and filled with pixel centres at
// integer coordinates and the top-left rule. Each pixel samples the stage-0 texture with
// perspective-correct coordinates (clamped; point sampling when magnified, bilinear when
// minified), modulates it with the vertex colour or the texture factor, and goes through
// the alpha test, the scissor rectangle, the depth test and blending into the back buffer.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/d3d9/D3D9.h"

namespace SLD3D9 {

namespace {

constexpr DWORD kServedVertexFormat = D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1;
constexpr int kMaxPolygon = 16;  // a triangle clipped by up to 10 planes
constexpr float kGuardBand = 64;

// A vertex in clip space with its attributes: u, v and the colour's four bytes.
struct ClipVertex {
  float p[4];
  float a[6];  // u, v, red, green, blue, alpha
};

// A vertex on the screen: attributes divided by w, with 1/w kept to undo it per pixel.
struct ScreenVertex {
  double x, y, z, q;  // q = 1/w
  double a[6];
};

D3DMATRIX Multiply(const D3DMATRIX& a, const D3DMATRIX& b) {
  D3DMATRIX out{};
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c)
      out.m[r][c] = a.m[r][0] * b.m[0][c] + a.m[r][1] * b.m[1][c] + a.m[r][2] * b.m[2][c] + a.m[r][3] * b.m[3][c];
  return out;
}

bool Compare(DWORD function, double value, double reference) {
  switch (function) {
    case D3DCMP_NEVER: return false;
    case D3DCMP_LESS: return value < reference;
    case D3DCMP_EQUAL: return value == reference;
    case D3DCMP_LESSEQUAL: return value <= reference;
    case D3DCMP_GREATER: return value > reference;
    case D3DCMP_NOTEQUAL: return value != reference;
    case D3DCMP_GREATEREQUAL: return value >= reference;
    default: return true;
  }
}

inline std::uint32_t Product(std::uint32_t a, std::uint32_t b) { return (a * b + 127) / 255; }

// One channel's share of a blend.
inline std::uint32_t BlendFactor(DWORD blend, std::uint32_t sourceAlpha, std::uint32_t channel) {
  switch (blend) {
    case D3DBLEND_ZERO: return 0;
    case D3DBLEND_ONE: return channel;
    case D3DBLEND_SRCALPHA: return Product(channel, sourceAlpha);
    case D3DBLEND_INVSRCALPHA: return Product(channel, 255 - sourceAlpha);
    default: return channel;
  }
}

std::uint32_t Channel(std::uint32_t argb, int shift) { return (argb >> shift) & 0xFF; }

// A point's side of a plane in clip space, in double: products of large finite floats
// would overflow in float and leave infinities for the interpolation.
inline double PlaneDistance(const float* n, const float* p) {
  return double(n[0]) * p[0] + double(n[1]) * p[1] + double(n[2]) * p[2] + double(n[3]) * p[3];
}

// Clips a convex polygon against the plane (n · p >= 0); returns the new vertex count.
int ClipPolygon(const ClipVertex* in, int count, const float* n, ClipVertex* out) {
  int made = 0;
  for (int i = 0; i < count; ++i) {
    const ClipVertex& a = in[i];
    const ClipVertex& b = in[(i + 1) % count];
    const double da = PlaneDistance(n, a.p), db = PlaneDistance(n, b.p);
    if (da >= 0) out[made++] = a;
    if ((da >= 0) != (db >= 0) && made < kMaxPolygon) {
      // In double, so that the new point lies between the two finite ones.
      const double t = da / (da - db);
      ClipVertex& v = out[made++];
      for (int k = 0; k < 4; ++k) v.p[k] = float(a.p[k] + (double(b.p[k]) - a.p[k]) * t);
      for (int k = 0; k < 6; ++k) v.a[k] = float(a.a[k] + (double(b.a[k]) - a.a[k]) * t);
    }
    if (made >= kMaxPolygon) break;
  }
  return made;
}


// What the pixels of one draw need of the device.
struct PixelState {
  Surface* target;
  float* depth;  // null without a depth test
  const Surface* texture;
  const Texture* textureObject;  // the texture `texture` is the level of
  DWORD depthFunction;
  bool depthWrite;
  bool alphaTest;
  DWORD alphaFunction, alphaReference;
  bool blend;
  DWORD sourceBlend, destinationBlend;
  DWORD colourOp, alphaOp;
  bool colourFromFactor, alphaFromFactor;
  std::uint32_t factor;
  long left, top, right, bottom;  // the pixels that may be written
  bool pixelByPixel;              // no row kernels (tests compare the two routes)
};

// The index of the texel holding coordinate `f` (in texels), clamped to [0, n - 1]; NaN
// and values far outside give the edge texel without an out-of-range conversion.
inline int TexelIndex(double f, int n) {
  if (!(f >= 1.0)) return 0;
  if (f >= double(n - 1)) return n - 1;
  return int(f);
}

// The texel at (u, v), clamped to the texture; bilinear when minifying.
std::uint32_t Sample(const Surface* texture, double u, double v, bool minify) {
  const int width = int(texture->Width()), height = int(texture->Height());
  const D3DFORMAT format = texture->Format();
  const unsigned bytes = BytesPerPixel(format);
  const bool words = format == D3DFMT_A8R8G8B8;
  auto texel = [&](int x, int y) {
    x = std::clamp(x, 0, width - 1), y = std::clamp(y, 0, height - 1);
    const std::uint8_t* row = texture->Row(unsigned(y));
    return words ? reinterpret_cast<const std::uint32_t*>(row)[x] : ReadArgb(format, row + std::size_t(x) * bytes);
  };
  if (!minify) return texel(TexelIndex(u * width, width), TexelIndex(v * height, height));
  // Past the edges every tap reads the edge texel, so the coordinates are held within one
  // texel of the texture before they become integers.
  double fu = u * width - 0.5, fv = v * height - 0.5;
  if (!(fu >= -1.0)) fu = -1.0;
  if (!(fv >= -1.0)) fv = -1.0;
  fu = std::min(fu, double(width)), fv = std::min(fv, double(height));
  // The coordinates in 1/256 texel, rounded: the whole texels and the weights. A weight
  // that rounds up to a whole texel moves to the next texel with weight 0, the same sum.
  const long su = std::lround(fu * 256), sv = std::lround(fv * 256);
  const int x0 = int(su >> 8), y0 = int(sv >> 8);
  const std::uint32_t wx = std::uint32_t(su & 255), wy = std::uint32_t(sv & 255);
  const std::uint32_t t00 = texel(x0, y0), t10 = texel(x0 + 1, y0), t01 = texel(x0, y0 + 1), t11 = texel(x0 + 1, y0 + 1);
  // Two channels at a time, 16 bits apart: each weighted sum stays below 2^16 before the
  // vertical pass, which runs per channel in 64 bits.
  auto horizontal = [&](std::uint32_t left, std::uint32_t right) {
    const std::uint64_t l = left, r = right;
    const std::uint64_t spreadL = (l & 0xFF) | (l & 0xFF00) << 8 | (l & 0xFF0000) << 16 | (l & 0xFF000000u) << 24;
    const std::uint64_t spreadR = (r & 0xFF) | (r & 0xFF00) << 8 | (r & 0xFF0000) << 16 | (r & 0xFF000000u) << 24;
    return spreadL * (256 - wx) + spreadR * wx;  // four 16-bit lanes
  };
  const std::uint64_t top = horizontal(t00, t10), bottom = horizontal(t01, t11);
  std::uint32_t out = 0;
  for (int lane = 0; lane < 4; ++lane) {
    const std::uint64_t t = (top >> (16 * lane)) & 0xFFFF, b = (bottom >> (16 * lane)) & 0xFFFF;
    out |= std::uint32_t((t * (256 - wy) + b * wy + 32768) >> 16) << (8 * lane);
  }
  return out;
}

// Stage 0 and the alpha test: the pixel's colour before blending, alpha in the top byte;
// false when the alpha test rejects it.
inline bool Combine(const PixelState& st, std::uint32_t texel, std::uint32_t colourArg, std::uint32_t alphaArg,
                    std::uint32_t* result) {
  std::uint32_t out = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    const std::uint32_t t = Channel(texel, shift), d = Channel(colourArg, shift);
    out |= (st.colourOp == D3DTOP_SELECTARG1 ? t : st.colourOp == D3DTOP_SELECTARG2 ? d : Product(t, d)) << shift;
  }
  const std::uint32_t ta = Channel(texel, 24), da = Channel(alphaArg, 24);
  const std::uint32_t alpha = st.alphaOp == D3DTOP_SELECTARG1 ? ta : st.alphaOp == D3DTOP_SELECTARG2 ? da : Product(ta, da);
  if (st.alphaTest && !Compare(st.alphaFunction, alpha, st.alphaReference)) return false;
  *result = out | (alpha << 24);
  return true;
}

// The blend of a combined colour over the pixel under it, both 0xAARRGGBB, saturating.
inline std::uint32_t Blend(const PixelState& st, std::uint32_t source, std::uint32_t under) {
  const std::uint32_t alpha = source >> 24;
  std::uint32_t mixed = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    const std::uint32_t sum = BlendFactor(st.sourceBlend, alpha, Channel(source, shift)) +
                              BlendFactor(st.destinationBlend, alpha, Channel(under, shift));
    mixed |= std::min<std::uint32_t>(sum, 255) << shift;
  }
  return mixed;
}

// Floor of a / b for b > 0.
inline std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
  const std::int64_t q = a / b;
  return (a % b != 0 && a < 0) ? q - 1 : q;
}

// One edge of a triangle in 1/256 pixel units. Its function is positive on the inner side;
// a pixel centre on the edge belongs to the triangle only on a top or left edge.
struct Edge {
  std::int64_t x0, y0, dx, dy;
  bool topLeft;
};

// An edge's limit on successive rows, stepped exactly without a division per row. On the
// row at sy (1/256 units) the edge's function at pixel px is A - 256 px dy and must reach
// t (0 on a top or left edge, else 1): with a = A - t, a pixel is inside when
// px <= a / (256 dy) for dy > 0, px >= -a / (256 |dy|) for dy < 0, and a >= 0 for dy = 0.
// `q` and `r` hold floor(a / d) and its remainder as a grows by 256 dx a row.
struct EdgeWalk {
  std::int64_t q, r, d, dq, dr;
  int side;  // 1: limits the last pixel, -1: the first, 0: the whole row
  EdgeWalk(const Edge& e, std::int64_t sy) {
    const std::int64_t a = (sy - e.y0) * e.dx + e.x0 * e.dy - (e.topLeft ? 0 : 1);
    side = e.dy > 0 ? 1 : e.dy < 0 ? -1 : 0;
    d = side ? 256 * (e.dy > 0 ? e.dy : -e.dy) : 1;
    q = FloorDiv(a, d), r = a - q * d;
    const std::int64_t step = 256 * e.dx;
    dq = FloorDiv(step, d), dr = step - dq * d;
  }
  void Next() {
    q += dq, r += dr;
    if (r >= d) r -= d, ++q;
  }
  // Narrows [*first, *last] to the pixels inside the edge; false when none is.
  bool Narrow(long* first, long* last) const {
    if (side > 0) *last = std::min<long>(*last, long(q));
    else if (side < 0) *first = std::max<long>(*first, long(-q));
    else if (q < 0) return false;
    return *first <= *last;
  }
};

Edge MakeEdge(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1) {
  const std::int64_t dx = x1 - x0, dy = y1 - y0;
  // With y downward and the interior on the positive side, a top edge runs to the right
  // and a left edge upward.
  return Edge{x0, y0, dx, dy, dy < 0 || (dy == 0 && dx > 0)};
}

// What a triangle whose vertices share one w needs per pixel: its attributes are affine
// on the screen, so the level of detail and a flat colour hold for all of it.
struct AffineTriangle {
  double w;
  double u0, ux, uy, v0, vx, vy;  // u and v planes before the division by w
  double z0, zx, zy;
  std::uint32_t colourArg, alphaArg;
  bool minify;
  // A texel with full alpha leaves the stage and the blend as it is.
  bool opaqueCopies;
  // Stage 0, the alpha test and the blend are those BlendTexels does, with these values.
  bool kernel;
  std::uint32_t factor;
  int alphaAbove;
  // Point-sampled 4-byte texels whose column is the pixel's plus k on every row.
  bool columnsFollowPixels;
  long k;
};

// The texel of pixel (x, y) of an affine triangle.
inline std::uint32_t AffineTexel(const PixelState& st, const AffineTriangle& f, double x, double y, int width,
                                 int height, bool wideTexture) {
  const double u = (f.u0 + f.ux * x + f.uy * y) * f.w, v = (f.v0 + f.vx * x + f.vy * y) * f.w;
  if (f.minify) return Sample(st.texture, u, v, true);
  const std::uint8_t* line = st.texture->Row(unsigned(TexelIndex(v * height, height)));
  const int column = TexelIndex(u * width, width);
  return wideTexture ? reinterpret_cast<const std::uint32_t*>(line)[column]
                     : ReadArgb(st.texture->Format(), line + std::size_t(column) * 2);
}

inline std::uint32_t ToByte(double value) { return std::uint32_t(std::clamp(std::lround(value), 0L, 255L)); }

// Whether every pixel x of [first, last] reads texel column x + k on every row (sets *k):
// u grows along x alone and v is the same along a row. The computed texel column is
// monotonic in x (each step of its double evaluation rounds monotonically); with a step at
// least 2^-16 away from 1 and values small enough that rounding stays far below that,
// equal growth over the range means it grows by exactly one per pixel.
bool ColumnsFollowPixels(const PixelState& st, const AffineTriangle& f, long first, long last, long* k) {
  const int width = int(st.texture->Width());
  if (f.vx != 0 || f.uy != 0) return false;
  const double step = f.ux * f.w * width;
  if (!(std::fabs(step - 1.0) >= 1.0 / 65536) || !(step > 0.5) || !(step < 1.5)) return false;
  constexpr double kSmall = 268435456.0;  // 2^28 texels
  const double scale = std::fabs(f.w) * width;
  if (!(std::fabs(f.u0) * scale < kSmall) || !(std::fabs(f.ux * double(last)) * scale < kSmall)) return false;
  // The same expression the per-pixel path evaluates, with y's term exactly zero.
  const double y = 0;
  const double a = (f.u0 + f.ux * double(first) + f.uy * y) * f.w * width;
  const double b = (f.u0 + f.ux * double(last) + f.uy * y) * f.w * width;
  if (!(a >= 0) || !(b < double(width))) return false;
  const long ta = long(a), tb = long(b);
  if (tb - ta != last - first) return false;
  *k = ta - first;
  return true;
}

// One row of an affine triangle, pixels [first, last].
void AffineRow(const PixelState& st, const AffineTriangle& f, long py, long first, long last) {
  const D3DFORMAT format = st.target->Format();
  const unsigned bytes = BytesPerPixel(format);
  const double y = double(py);
  std::uint8_t* row = st.target->Row(unsigned(py));
  float* depthRow = st.depth ? st.depth + std::size_t(py) * st.target->Width() : nullptr;
  const bool wideTarget = bytes == 4;
  const bool wideTexture = st.texture && st.texture->Format() == D3DFMT_A8R8G8B8;
  const int width = st.texture ? int(st.texture->Width()) : 0, height = st.texture ? int(st.texture->Height()) : 0;
  if (f.columnsFollowPixels && wideTarget && !depthRow) {
    const int texelRow = TexelIndex((f.v0 + f.vx * double(first) + f.vy * y) * f.w * height, height);
    const auto* source = reinterpret_cast<const std::uint32_t*>(st.texture->Row(unsigned(texelRow))) + f.k;
    auto* target = reinterpret_cast<std::uint32_t*>(row);
    long px = first;
    if (f.opaqueCopies && st.textureObject->RowOpaque(unsigned(texelRow))) {
      std::memcpy(target + first, source + first, std::size_t(last + 1 - first) * 4);
      return;
    }
    if (f.kernel) {
      const bool additive = st.destinationBlend == D3DBLEND_ONE, opaqueTarget = format == D3DFMT_X8R8G8B8;
      if (!f.opaqueCopies) return BlendTexels(target + first, source + first, std::size_t(last + 1 - first), f.factor,
                                              f.alphaAbove, additive, opaqueTarget);
      while (px <= last) {
        px += long(CopyWhileOpaque(target + px, source + px, std::size_t(last + 1 - px)));
        if (px > last) break;
        const long n = std::min<long>(32, last + 1 - px);
        BlendTexels(target + px, source + px, std::size_t(n), f.factor, f.alphaAbove, additive, opaqueTarget);
        px += n;
      }
      return;
    }
    while (px <= last) {
      if (f.opaqueCopies) {
        // Runs of opaque texels are copied eight at a time.
        long run = px;
        while (run + 8 <= last + 1) {
          std::uint32_t all = 0xFF000000u;
          for (int i = 0; i < 8; ++i) all &= source[run + i];
          if ((all >> 24) != 0xFF) break;
          run += 8;
        }
        while (run <= last && (source[run] >> 24) == 0xFF) ++run;
        if (run > px) {
          std::memcpy(target + px, source + px, std::size_t(run - px) * 4);
          px = run;
          continue;
        }
      }
      std::uint32_t out;
      if (Combine(st, source[px], f.colourArg, f.alphaArg, &out)) {
        if (st.blend) out = Blend(st, out, target[px] | (format == D3DFMT_X8R8G8B8 ? 0xFF000000u : 0));
        target[px] = out;
      }
      ++px;
    }
    return;
  }
  if (f.kernel && wideTarget && wideTexture && !depthRow) {
    // Scaled and turned pictures: texels gathered a stretch at a time, then blended.
    auto* target = reinterpret_cast<std::uint32_t*>(row);
    std::uint32_t texels[64];
    for (long px = first; px <= last;) {
      const long n = std::min<long>(64, last + 1 - px);
      for (long i = 0; i < n; ++i) texels[i] = AffineTexel(st, f, double(px + i), y, width, height, true);
      BlendTexels(target + px, texels, std::size_t(n), f.factor, f.alphaAbove, st.destinationBlend == D3DBLEND_ONE,
                  format == D3DFMT_X8R8G8B8);
      px += n;
    }
    return;
  }
  for (long px = first; px <= last; ++px) {
    const double x = double(px);
    if (depthRow && !Compare(st.depthFunction, f.z0 + f.zx * x + f.zy * y, depthRow[px])) continue;
    const std::uint32_t texel = st.texture ? AffineTexel(st, f, x, y, width, height, wideTexture) : 0xFFFFFFFFu;
    std::uint32_t out;
    if (!Combine(st, texel, f.colourArg, f.alphaArg, &out)) continue;
    std::uint8_t* pixel = row + std::size_t(px) * bytes;
    if (st.blend) out = Blend(st, out, ReadArgb(format, pixel));
    if (wideTarget) reinterpret_cast<std::uint32_t*>(row)[px] = out;
    else WriteArgb(format, pixel, out);
    if (depthRow && st.depthWrite) depthRow[px] = float(f.z0 + f.zx * x + f.zy * y);
  }
}

// Attribute planes of a triangle over the screen: f(x, y) = f0 + fx·x + fy·y, each as
// {fx, fy, f0}: 1/w, z, and u, v and the colour's bytes divided by w.
struct Planes {
  double q[3], z[3], a[6][3];
};

// Orders b and c so that the triangle's area is positive and makes its planes; false for
// a triangle without area.
bool TrianglePlanes(const ScreenVertex& a, ScreenVertex* b, ScreenVertex* c, Planes* out) {
  double area = (b->x - a.x) * (c->y - a.y) - (b->y - a.y) * (c->x - a.x);
  if (area == 0 || !std::isfinite(area)) return false;
  if (area < 0) std::swap(*b, *c), area = -area;
  const double dx1 = b->x - a.x, dy1 = b->y - a.y, dx2 = c->x - a.x, dy2 = c->y - a.y;
  auto plane = [&](double va, double vb, double vc, double* f) {
    const double d1 = vb - va, d2 = vc - va;
    f[0] = (d1 * dy2 - d2 * dy1) / area;
    f[1] = (d2 * dx1 - d1 * dx2) / area;
    f[2] = va - f[0] * a.x - f[1] * a.y;
  };
  plane(a.q, b->q, c->q, out->q);
  plane(a.z, b->z, c->z, out->z);
  for (int k = 0; k < 6; ++k) plane(a.a[k], b->a[k], c->a[k], out->a[k]);
  return true;
}

// A vertex's position in 1/256 pixel units. Positions are snapped to 1/256 (so the product
// is a whole number, converted exactly) and held within the guard band (so edge functions
// are exact in 64-bit integers).
inline std::int64_t Fixed(double coordinate) { return std::int64_t(coordinate * 256); }

// Fills the convex polygon v[0..n) (a positive area, its edges in order) with one set of
// planes.
void FillPolygon(const PixelState& st, const ScreenVertex* v, int n, const Planes& p);

void FillTriangle(const PixelState& st, const ScreenVertex& a, ScreenVertex b, ScreenVertex c) {
  Planes planes;
  if (!TrianglePlanes(a, &b, &c, &planes)) return;
  // The orientation again, exactly: snapped positions may leave no area.
  const std::int64_t ax = Fixed(a.x), ay = Fixed(a.y), bx = Fixed(b.x), by = Fixed(b.y);
  const std::int64_t cx = Fixed(c.x), cy = Fixed(c.y);
  if ((ay - by) * (cx - bx) - (ax - bx) * (cy - by) <= 0) return;
  const ScreenVertex v[3] = {a, b, c};
  FillPolygon(st, v, 3, planes);
}

// A quad whose two triangles share their planes bit for bit and that is strictly convex
// is filled at once: every pixel gets what its triangle would give it (a pixel centre on
// the shared diagonal belongs to exactly one of them), in half the spans.
void FillQuad(const PixelState& st, const ScreenVertex* quad) {
  auto negative = [&](const ScreenVertex& b, const ScreenVertex& c) {
    const ScreenVertex& a = quad[0];
    return (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x) < 0;
  };
  ScreenVertex b0 = quad[1], c0 = quad[2], b1 = quad[2], c1 = quad[3];
  Planes first, second;
  const bool turned = negative(quad[1], quad[2]);
  if (turned == negative(quad[2], quad[3]) && TrianglePlanes(quad[0], &b0, &c0, &first) &&
      TrianglePlanes(quad[0], &b1, &c1, &second) && std::memcmp(&first, &second, sizeof first) == 0) {
    // The corners in the order of positive area, all turning the same way.
    const ScreenVertex ordered[4] = {quad[0], quad[turned ? 3 : 1], quad[2], quad[turned ? 1 : 3]};
    bool convex = true;
    for (int i = 0; i < 4 && convex; ++i) {
      const ScreenVertex &p = ordered[i], &q = ordered[(i + 1) % 4], &r = ordered[(i + 2) % 4];
      convex = (Fixed(q.x) - Fixed(p.x)) * (Fixed(r.y) - Fixed(p.y)) - (Fixed(q.y) - Fixed(p.y)) * (Fixed(r.x) - Fixed(p.x)) > 0;
    }
    if (convex) return FillPolygon(st, ordered, 4, first);
  }
  FillTriangle(st, quad[0], quad[1], quad[2]);
  FillTriangle(st, quad[0], quad[2], quad[3]);
}

void FillPolygon(const PixelState& st, const ScreenVertex* v, int n, const Planes& p) {
  Edge edges[4];
  double minX = v[0].x, maxX = v[0].x, minY = v[0].y, maxY = v[0].y;
  for (int i = 0; i < n; ++i) {
    const ScreenVertex &from = v[i], &to = v[(i + 1) % n];
    edges[i] = MakeEdge(Fixed(from.x), Fixed(from.y), Fixed(to.x), Fixed(to.y));
    minX = std::min(minX, from.x), maxX = std::max(maxX, from.x);
    minY = std::min(minY, from.y), maxY = std::max(maxY, from.y);
  }
  const long left = std::max<long>(st.left, long(std::ceil(minX)));
  const long right = std::min<long>(st.right - 1, long(std::floor(maxX)));
  const long top = std::max<long>(st.top, long(std::ceil(minY)));
  const long bottom = std::min<long>(st.bottom - 1, long(std::floor(maxY)));
  if (left > right || top > bottom) return;
  const double qx = p.q[0], qy = p.q[1], q0 = p.q[2], zx = p.z[0], zy = p.z[1], z0 = p.z[2];
  double ax_[6], ay_[6], a0[6];
  for (int k = 0; k < 6; ++k) ax_[k] = p.a[k][0], ay_[k] = p.a[k][1], a0[k] = p.a[k][2];
  // The rows' spans: each edge narrows them, stepped a row at a time.
  EdgeWalk walks[4] = {EdgeWalk(edges[0], std::int64_t(top) * 256), EdgeWalk(edges[1], std::int64_t(top) * 256),
                       EdgeWalk(edges[2], std::int64_t(top) * 256),
                       EdgeWalk(edges[n > 3 ? 3 : 0], std::int64_t(top) * 256)};
  auto span = [&](long* first, long* last) {
    *first = left, *last = right;
    bool inside = true;
    for (int i = 0; i < n; ++i) {
      inside = inside && walks[i].Narrow(first, last);
      walks[i].Next();
    }
    return inside;
  };

  // Texels per pixel above 2^(0.5/256): the level of detail rounds to above zero.
  constexpr double kMinifyLimit = 1.0013547198921082;
  auto diffuseAt = [&](double x, double y, double w) {
    double attr[6];
    for (int k = 2; k < 6; ++k) attr[k] = (a0[k] + ax_[k] * x + ay_[k] * y) * w;
    return (ToByte(attr[5]) << 24) | (ToByte(attr[2]) << 16) | (ToByte(attr[3]) << 8) | ToByte(attr[4]);
  };
  bool flatColour = true;
  for (int k = 2; k < 6; ++k) flatColour = flatColour && ax_[k] == 0 && ay_[k] == 0;

  // One w for the whole triangle (every sprite and glyph facing the camera): u and v are
  // affine on the screen, and the level of detail and the colour are the same everywhere.
  if (qx == 0 && qy == 0 && flatColour && !st.pixelByPixel) {
    const double q = q0;
    if (!(q > 0)) return;
    AffineTriangle f{};
    f.w = 1.0 / q;
    f.u0 = a0[0], f.ux = ax_[0], f.uy = ay_[0], f.v0 = a0[1], f.vx = ax_[1], f.vy = ay_[1];
    f.z0 = z0, f.zx = zx, f.zy = zy;
    const double x = double(left), y = double(top);
    const std::uint32_t diffuse = diffuseAt(x, y, f.w);
    f.colourArg = st.colourFromFactor ? st.factor : diffuse;
    f.alphaArg = st.alphaFromFactor ? st.factor : diffuse;
    if (st.texture) {
      const double u = (a0[0] + ax_[0] * x + ay_[0] * y) * f.w, v = (a0[1] + ax_[1] * x + ay_[1] * y) * f.w;
      const double ux = (ax_[0] - u * qx) * f.w * st.texture->Width(), uy = (ay_[0] - u * qy) * f.w * st.texture->Width();
      const double vx = (ax_[1] - v * qx) * f.w * st.texture->Height(), vy = (ay_[1] - v * qy) * f.w * st.texture->Height();
      f.minify = std::max(ux * ux + vx * vx, uy * uy + vy * vy) > kMinifyLimit * kMinifyLimit;
    }
    std::uint32_t through = 0;
    f.opaqueCopies = Combine(st, 0xFFFFFFFFu, f.colourArg, f.alphaArg, &through) && through == 0xFFFFFFFFu &&
                     (!st.blend || (st.sourceBlend == D3DBLEND_SRCALPHA && st.destinationBlend == D3DBLEND_INVSRCALPHA));
    // Every texel with full alpha must come through unchanged, not only white.
    if (f.opaqueCopies && st.colourOp != D3DTOP_SELECTARG1 &&
        !(st.colourOp != D3DTOP_SELECTARG2 && (f.colourArg & 0xFFFFFF) == 0xFFFFFF))
      f.opaqueCopies = false;
    const bool plainAlphaTest = !st.alphaTest || st.alphaFunction == D3DCMP_ALWAYS || st.alphaFunction == D3DCMP_GREATER;
    f.kernel = st.texture && st.blend && st.sourceBlend == D3DBLEND_SRCALPHA &&
               (st.destinationBlend == D3DBLEND_INVSRCALPHA || st.destinationBlend == D3DBLEND_ONE) &&
               st.colourOp != D3DTOP_SELECTARG2 && st.alphaOp != D3DTOP_SELECTARG2 && plainAlphaTest;
    f.factor = (st.colourOp == D3DTOP_SELECTARG1 ? 0xFFFFFFu : f.colourArg & 0xFFFFFFu) |
               (st.alphaOp == D3DTOP_SELECTARG1 ? 0xFF000000u : f.alphaArg & 0xFF000000u);
    f.alphaAbove = st.alphaTest && st.alphaFunction == D3DCMP_GREATER ? int(st.alphaReference) : -1;
    f.columnsFollowPixels = st.texture && st.texture->Format() == D3DFMT_A8R8G8B8 && !f.minify &&
                            ColumnsFollowPixels(st, f, left, right, &f.k);
    for (long py = top; py <= bottom; ++py) {
      long first, last;
      if (span(&first, &last)) AffineRow(st, f, py, first, last);
    }
    return;
  }

  const D3DFORMAT format = st.target->Format();
  const unsigned bytes = BytesPerPixel(format);
  const unsigned width = st.target->Width();
  for (long py = top; py <= bottom; ++py) {
    long first, last;
    if (!span(&first, &last)) continue;
    std::uint8_t* row = st.target->Row(unsigned(py));
    for (long px = first; px <= last; ++px) {
      const double x = double(px), y = double(py);
      const double q = q0 + qx * x + qy * y;
      if (!(q > 0)) continue;
      const double w = 1.0 / q;
      const double z = z0 + zx * x + zy * y;
      float* depth = st.depth ? st.depth + std::size_t(py) * width + std::size_t(px) : nullptr;
      if (depth && !Compare(st.depthFunction, z, *depth)) continue;
      std::uint32_t texel = 0xFFFFFFFFu;
      if (st.texture) {
        const double u = (a0[0] + ax_[0] * x + ay_[0] * y) * w, v = (a0[1] + ax_[1] * x + ay_[1] * y) * w;
        // Derivatives of u and v along x and y, in texels.
        const double ux = (ax_[0] - u * qx) * w * st.texture->Width();
        const double uy = (ay_[0] - u * qy) * w * st.texture->Width();
        const double vx = (ax_[1] - v * qx) * w * st.texture->Height();
        const double vy = (ay_[1] - v * qy) * w * st.texture->Height();
        const double rho = std::max(ux * ux + vx * vx, uy * uy + vy * vy);
        texel = Sample(st.texture, u, v, rho > kMinifyLimit * kMinifyLimit);
      }
      const std::uint32_t diffuse = diffuseAt(x, y, w);
      std::uint32_t out;
      if (!Combine(st, texel, st.colourFromFactor ? st.factor : diffuse, st.alphaFromFactor ? st.factor : diffuse, &out))
        continue;
      std::uint8_t* pixel = row + std::size_t(px) * bytes;
      if (st.blend) out = Blend(st, out, ReadArgb(format, pixel));
      WriteArgb(format, pixel, out);
      if (depth && st.depthWrite) *depth = float(z);
    }
  }
}

}  // namespace

HRESULT Device::DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  auto* buffer = dynamic_cast<VertexBuffer*>(stream_);
  if (type != D3DPT_TRIANGLEFAN || !buffer || streamStride_ < 24 || primitiveCount == 0) return D3DERR_INVALIDCALL;
  const std::uint64_t end = std::uint64_t(streamOffset_) + (std::uint64_t(startVertex) + primitiveCount + 2) * streamStride_;
  if (end > buffer->Size()) return D3DERR_INVALIDCALL;
  return DrawFan(buffer->Data() + streamOffset_ + std::size_t(startVertex) * streamStride_, streamStride_,
                 primitiveCount + 2);
}

HRESULT Device::DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* vertices, UINT stride) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  if (type != D3DPT_TRIANGLEFAN || !vertices || stride < 24 || primitiveCount == 0 || primitiveCount > 65536)
    return D3DERR_INVALIDCALL;
  // Drawing from the caller's memory leaves no stream bound, as the system does.
  SetStreamSource(0, nullptr, 0, 0);
  return DrawFan(static_cast<const std::uint8_t*>(vertices), stride, primitiveCount + 2);
}

HRESULT Device::DrawFan(const std::uint8_t* vertices, UINT stride, UINT count) {
  RunDrawHook();
  if (fvf_ != kServedVertexFormat) return D3DERR_INVALIDCALL;
  const D3DMATRIX transform = Multiply(Multiply(world_, view_), projection_);
  PixelState st{};
  st.target = back_;
  if (auto* bound = dynamic_cast<Texture*>(textures_[0])) st.texture = bound->Level(), st.textureObject = bound;
  if (renderStates_[D3DRS_ZENABLE] && !depth_.empty()) st.depth = depth_.data();
  st.depthFunction = renderStates_[D3DRS_ZFUNC];
  st.depthWrite = renderStates_[D3DRS_ZWRITEENABLE] != 0;
  st.alphaTest = renderStates_[D3DRS_ALPHATESTENABLE] != 0;
  st.alphaFunction = renderStates_[D3DRS_ALPHAFUNC];
  st.alphaReference = renderStates_[D3DRS_ALPHAREF] & 0xFF;
  st.blend = renderStates_[D3DRS_ALPHABLENDENABLE] != 0;
  st.sourceBlend = renderStates_[D3DRS_SRCBLEND];
  st.destinationBlend = renderStates_[D3DRS_DESTBLEND];
  st.colourOp = stageStates_[0][D3DTSS_COLOROP];
  st.alphaOp = stageStates_[0][D3DTSS_ALPHAOP];
  st.colourFromFactor = stageStates_[0][D3DTSS_COLORARG2] == D3DTA_TFACTOR;
  st.alphaFromFactor = stageStates_[0][D3DTSS_ALPHAARG2] == D3DTA_TFACTOR;
  st.factor = renderStates_[D3DRS_TEXTUREFACTOR];
  st.pixelByPixel = PixelByPixel();

  // The pixels this draw may touch: the viewport, and the scissor rectangle when it is on.
  long clipLeft = viewport_.X, clipTop = viewport_.Y;
  long clipRight = long(viewport_.X + viewport_.Width), clipBottom = long(viewport_.Y + viewport_.Height);
  if (renderStates_[D3DRS_SCISSORTESTENABLE]) {
    clipLeft = std::max<long>(clipLeft, scissor_.left), clipTop = std::max<long>(clipTop, scissor_.top);
    clipRight = std::min<long>(clipRight, scissor_.right), clipBottom = std::min<long>(clipBottom, scissor_.bottom);
  }
  clipRight = std::min<long>(clipRight, back_->Width()), clipBottom = std::min<long>(clipBottom, back_->Height());
  if (clipLeft >= clipRight || clipTop >= clipBottom) return D3D_OK;
  st.left = clipLeft, st.top = clipTop, st.right = clipRight, st.bottom = clipBottom;

  // Planes in clip space: near, far, the guard band (x and y within 64 w, so that screen
  // positions stay small enough for exact 64-bit edge functions; far outside any viewport)
  // and the enabled user planes.
  float planes[6 + kClipPlanes][4] = {{0, 0, 1, 0},  {0, 0, -1, 1}, {1, 0, 0, kGuardBand},
                                      {-1, 0, 0, kGuardBand}, {0, 1, 0, kGuardBand}, {0, -1, 0, kGuardBand}};
  int planeCount = 6;
  for (unsigned i = 0; i < kClipPlanes; ++i)
    if (renderStates_[D3DRS_CLIPPLANEENABLE] & (1u << i)) std::memcpy(planes[planeCount++], clipPlanes_[i], 16);

  auto load = [&](UINT index, ClipVertex* out) {
    float position[3], uv[2];
    std::uint32_t colour;
    const std::uint8_t* v = vertices + std::size_t(index) * stride;
    std::memcpy(position, v, 12);
    std::memcpy(&colour, v + 12, 4);
    std::memcpy(uv, v + 16, 8);
    for (int c = 0; c < 4; ++c)
      out->p[c] = position[0] * transform.m[0][c] + position[1] * transform.m[1][c] +
                  position[2] * transform.m[2][c] + transform.m[3][c];
    out->a[0] = uv[0], out->a[1] = uv[1];
    out->a[2] = float(Channel(colour, 16)), out->a[3] = float(Channel(colour, 8));
    out->a[4] = float(Channel(colour, 0)), out->a[5] = float(Channel(colour, 24));
    for (float f : out->p)
      if (!std::isfinite(f)) return false;
    return std::isfinite(uv[0]) && std::isfinite(uv[1]);
  };

  // Screen position, depth and attributes over w of a vertex in clip space.
  auto project = [&](const ClipVertex& c, ScreenVertex* s) {
    if (!(c.p[3] > 1e-6f)) return false;
    const double q = 1.0 / c.p[3];
    const double x = (c.p[0] * q + 1.0) * 0.5 * viewport_.Width + viewport_.X;
    const double y = (1.0 - c.p[1] * q) * 0.5 * viewport_.Height + viewport_.Y;
    s->x = std::nearbyint(x * 256.0) / 256.0;
    s->y = std::nearbyint(y * 256.0) / 256.0;
    // Within the guard band a position is a few million pixels at most; anything else is
    // what rounding left of a degenerate clip, and the polygon is dropped.
    if (!(std::fabs(s->x) < 1e7) || !(std::fabs(s->y) < 1e7)) return false;
    s->z = viewport_.MinZ + c.p[2] * q * (viewport_.MaxZ - viewport_.MinZ);
    s->q = q;
    for (int a = 0; a < 6; ++a) s->a[a] = c.a[a] * q;
    return true;
  };

  // A quad inside every plane (the common sprite, tile and glyph) needs no clipping: its
  // triangles are what clipping would leave, and it may be filled at once.
  if (count == 4 && !st.pixelByPixel) {
    ClipVertex corners[4];
    ScreenVertex screen[4];
    bool whole = true;
    for (UINT i = 0; i < 4 && whole; ++i) {
      whole = load(i, &corners[i]);
      for (int p = 0; p < planeCount && whole; ++p) whole = PlaneDistance(planes[p], corners[i].p) >= 0;
      whole = whole && project(corners[i], &screen[i]);
    }
    if (whole) {
      FillQuad(st, screen);
      return D3D_OK;
    }
  }

  ClipVertex first;
  const bool firstOk = load(0, &first);
  for (UINT i = 1; i + 1 < count; ++i) {
    ClipVertex polygon[2][kMaxPolygon];
    polygon[0][0] = first;
    if (!firstOk || !load(i, &polygon[0][1]) || !load(i + 1, &polygon[0][2])) continue;  // non-finite: dropped
    int n = 3, side = 0;
    for (int p = 0; p < planeCount && n >= 3; ++p, side ^= 1) n = ClipPolygon(polygon[side], n, planes[p], polygon[side ^ 1]);
    if (n < 3) continue;
    ScreenVertex screen[kMaxPolygon];
    bool usable = true;
    for (int k = 0; k < n && usable; ++k) usable = project(polygon[side][k], &screen[k]);
    if (!usable) continue;
    for (int k = 1; k + 1 < n; ++k)
      FillTriangle(st, screen[0], screen[k], screen[k + 1]);
  }
  return D3D_OK;
}

}  // namespace SLD3D9
