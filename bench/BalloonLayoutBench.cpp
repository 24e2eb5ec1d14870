// Balloon layout of 500 texts of 20 to 400 characters at widths 300, 400 and 500 with a
// monospaced bitmap font, beside a wrapper over cumulative glyph widths that makes the
// same breaks (words never split, a line ends before a word that overflows).
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "adventure/AdventureDevices.h"
#include "adventure/movie/Movie.h"
#include "bench/BenchRatio.h"
#include "storage/SLMemoryStorage.h"
#include "tests/support/MemoryGfxDevice.h"

namespace {

void Put16(std::string* out, unsigned value) { out->push_back(char(value)), out->push_back(char(value >> 8)); }

// Glyphs 32..126, 5 wide and 9 high: an advance of 7.
std::string MonoFont() {
  std::string file = "Font File.\x1a";
  Put16(&file, 2), Put16(&file, 95), Put16(&file, 0xFF), Put16(&file, 0xFF), Put16(&file, 1), Put16(&file, 0);
  for (unsigned code = 32; code < 127; ++code) {
    const unsigned i = code - 32, x = i % 51 * 5, y = i / 51 * 9;
    for (unsigned v : {code, x, y, x + 5, y + 9, 0u}) Put16(&file, v);
  }
  Put16(&file, 0);
  return file.append(256 * 256 * 4, '\xFF');
}

struct World {
  World() {
    gfx.Init(nullptr, nullptr, nullptr);
    AdventureDevices_Set(&gfx, nullptr, nullptr);
    const std::string bytes = MonoFont();
    CSLMemoryStorage storage;
    storage.Write(bytes.data(), u32(bytes.size()));
    storage.Seek(0, SL_SEEK_BEGIN);
    font = gfx.LoadFontFromStorage(&storage);
    std::mt19937 random(3);
    for (u32 i = 0; i < 500; ++i) {
      std::string text;
      const u32 length = 20 + random() % 381;
      while (text.size() < length) {
        text.append(1 + random() % 9, char('a' + random() % 26));
        text += random() % 12 ? " " : "\n";
      }
      texts.push_back(text);
    }
  }
  CMemoryGfxDevice gfx;
  SL_GS_Font* font = nullptr;
  std::vector<std::string> texts;
};

World& TheWorld() {
  static World world;
  return world;
}

void Layout(benchmark::State& state) {
  World& world = TheWorld();
  Balloon balloon;
  Balloon_Construct(&balloon);
  balloon.font = world.font;
  balloon.width = u32(state.range(0));
  u64 lines = 0;
  for (auto _ : state)
    for (const std::string& text : world.texts) {
      Balloon_SetText(&balloon, text.c_str());
      Balloon_Layout(&balloon);
      lines += balloon.lines.GetCount();
    }
  benchmark::DoNotOptimize(lines);
  Balloon_Destroy(&balloon);
}

// The peer: cumulative advances of the glyphs (7 each, the last glyph 5 wide).
void CumulativeWrap(benchmark::State& state) {
  World& world = TheWorld();
  const i64 limit = state.range(0) - 50;
  std::vector<u32> lines;
  u64 count = 0;
  for (auto _ : state)
    for (const std::string& text : world.texts) {
      lines.clear();
      i64 width = 0, pending = 0;
      for (size_t i = 0; i < text.size();) {
        const char c = text[i];
        if (c == ' ') {
          pending += 5, ++i;
        } else if (c == '\n') {
          if (i + 1 == text.size()) break;
          lines.push_back(u32(++i)), width = pending = 0;
        } else {
          size_t end = i;
          while (end < text.size() && u8(text[end]) > 32) ++end;
          const i64 word = i64(end - i) * 7 - 2;
          if (width + pending > 0 && width + pending + word > limit) {
            lines.push_back(u32(i)), width = pending = 0;
            continue;
          }
          width += pending + word, pending = 0, i = end;
        }
      }
      lines.push_back(u32(text.size()));
      count += lines.size();
    }
  benchmark::DoNotOptimize(count);
}

BENCHMARK(Layout)->Arg(300)->Arg(400)->Arg(500)->Unit(benchmark::kMicrosecond);
BENCHMARK(CumulativeWrap)->Arg(300)->Arg(400)->Arg(500)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  SLBenchRatioReporter reporter(std::vector<std::pair<std::string, std::string>>{
      {"Layout/300", "CumulativeWrap/300"}, {"Layout/400", "CumulativeWrap/400"}, {"Layout/500", "CumulativeWrap/500"}});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
