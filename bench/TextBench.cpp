// Text functions beside their C library peers: text to double (strtod, std::from_chars),
// wildcard matching (fnmatch), UTF-8 and cp1252 conversion (iconv). Prints each pair's
// time ratio (ours / peer) after the runs.
#include <benchmark/benchmark.h>
#include <fnmatch.h>
#include <iconv.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "foundation/SLStr.h"
#include "foundation/SLTextConvert.h"
#include "foundation/SLWildcard.h"
#include "bench/BenchRatio.h"

namespace {

std::vector<std::string> NumberTexts() {
  std::vector<std::string> texts;
  std::mt19937_64 random(1);
  char buffer[64];
  for (int i = 0; i < 1000; ++i) {
    double value = std::ldexp(double(random() >> 11), int(random() % 200) - 150);
    switch (i % 4) {
      case 0: std::snprintf(buffer, sizeof buffer, "%.17g", value); break;
      case 1: std::snprintf(buffer, sizeof buffer, "%.6g", value); break;
      case 2: std::snprintf(buffer, sizeof buffer, "%d.%02d", int(random() % 1000), int(random() % 100)); break;
      default: std::snprintf(buffer, sizeof buffer, "%.3e", value); break;
    }
    texts.push_back(buffer);
  }
  return texts;
}
const std::vector<std::string> g_numbers = NumberTexts();

void BM_StrToDouble_Ours(benchmark::State& state) {
  for (auto _ : state)
    for (const auto& text : g_numbers)
      benchmark::DoNotOptimize(SLStrToDoubleA(text.c_str(), SL_TEXT_TO_END, nullptr, nullptr));
}
void BM_StrToDouble_Strtod(benchmark::State& state) {
  for (auto _ : state)
    for (const auto& text : g_numbers) benchmark::DoNotOptimize(std::strtod(text.c_str(), nullptr));
}
void BM_StrToDouble_FromChars(benchmark::State& state) {
  for (auto _ : state)
    for (const auto& text : g_numbers) {
      double value;
      benchmark::DoNotOptimize(std::from_chars(text.data(), text.data() + text.size(), value));
      benchmark::DoNotOptimize(value);
    }
}

struct NamePattern {
  std::string pattern, name;
};
std::vector<NamePattern> WildcardCases() {
  const char* patterns[] = {"*.txt", "*.dat", "info?.*", "*a*b*c*", "gfx_*_??.png", "*"};
  std::vector<NamePattern> cases;
  std::mt19937 random(2);
  for (int i = 0; i < 600; ++i) {
    std::string name;
    int length = 4 + random() % 20;
    for (int k = 0; k < length; ++k) name += "abcgfx_info0123"[random() % 15];
    name += (i % 3 == 0) ? ".txt" : (i % 3 == 1 ? ".dat" : ".png");
    cases.push_back({patterns[i % 6], name});
  }
  return cases;
}
const std::vector<NamePattern> g_wildcards = WildcardCases();

void BM_Wildcard_Ours(benchmark::State& state) {
  for (auto _ : state)
    for (const auto& c : g_wildcards) benchmark::DoNotOptimize(SLWildcardMatchA(c.pattern.c_str(), c.name.c_str(), false));
}
void BM_Wildcard_Fnmatch(benchmark::State& state) {
  for (auto _ : state)
    for (const auto& c : g_wildcards) benchmark::DoNotOptimize(fnmatch(c.pattern.c_str(), c.name.c_str(), 0));
}

// A text of Spanish-looking prose: mostly ASCII with accented letters, some symbols.
std::u16string WideText() {
  std::u16string text;
  const char16_t* words[] = {u"el ", u"ni\u00F1o ", u"pel\u00EDcula ", u"canci\u00F3n ", u"\u20AC5 ", u"caf\u00E9 ",
                             u"escena ", u"se\u00F1or ", u"\u00BFqu\u00E9? ", u"m\u00FAsica\n"};
  std::mt19937 random(3);
  while (text.size() < 64 * 1024) text += words[random() % 10];
  return text;
}
const std::u16string g_wide = WideText();

std::string Encode(const char* to, const std::u16string& text) {
  iconv_t cd = iconv_open(to, "UTF-16LE");
  std::string out(text.size() * 4, '\0');
  char* in = const_cast<char*>(reinterpret_cast<const char*>(text.data()));
  size_t inLeft = text.size() * 2, outLeft = out.size();
  char* outPtr = out.data();
  iconv(cd, &in, &inLeft, &outPtr, &outLeft);
  iconv_close(cd);
  out.resize(out.size() - outLeft);
  return out;
}
const std::string g_utf8 = Encode("UTF-8", g_wide);
const std::string g_ansi = Encode("CP1252", g_wide);

void IconvRun(benchmark::State& state, const char* to, const char* from, const char* data, size_t size) {
  iconv_t cd = iconv_open(to, from);
  std::string out(size * 4, '\0');
  for (auto _ : state) {
    char* in = const_cast<char*>(data);
    size_t inLeft = size, outLeft = out.size();
    char* outPtr = out.data();
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    benchmark::DoNotOptimize(outPtr);
  }
  iconv_close(cd);
  state.SetBytesProcessed(state.iterations() * i64(size));
}

void BM_WideToUtf8_Ours(benchmark::State& state) {
  std::string out(g_wide.size() * 3 + 1, '\0');
  for (auto _ : state) {
    u32 size = u32(out.size());
    SLWideToUtf8(out.data(), &size, g_wide.c_str(), u32(g_wide.size()), 0);
    benchmark::DoNotOptimize(size);
  }
  state.SetBytesProcessed(state.iterations() * i64(g_wide.size() * 2));
}
void BM_WideToUtf8_Iconv(benchmark::State& state) {
  IconvRun(state, "UTF-8", "UTF-16LE", reinterpret_cast<const char*>(g_wide.data()), g_wide.size() * 2);
}
void BM_Utf8ToWide_Ours(benchmark::State& state) {
  std::u16string out(g_utf8.size() + 1, u'\0');
  for (auto _ : state) {
    u32 size = u32(out.size());
    SLUtf8ToWide(out.data(), &size, g_utf8.c_str(), u32(g_utf8.size()), 0);
    benchmark::DoNotOptimize(size);
  }
  state.SetBytesProcessed(state.iterations() * i64(g_utf8.size()));
}
void BM_Utf8ToWide_Iconv(benchmark::State& state) {
  IconvRun(state, "UTF-16LE", "UTF-8", g_utf8.data(), g_utf8.size());
}
void BM_AnsiToWide_Ours(benchmark::State& state) {
  std::u16string out(g_ansi.size() + 1, u'\0');
  for (auto _ : state) {
    u32 size = u32(out.size());
    SLAnsiToWide(out.data(), &size, g_ansi.c_str(), u32(g_ansi.size()), 0);
    benchmark::DoNotOptimize(size);
  }
  state.SetBytesProcessed(state.iterations() * i64(g_ansi.size()));
}
void BM_AnsiToWide_Iconv(benchmark::State& state) {
  IconvRun(state, "UTF-16LE", "CP1252", g_ansi.data(), g_ansi.size());
}
void BM_WideToAnsi_Ours(benchmark::State& state) {
  std::string out(g_wide.size() + 1, '\0');
  for (auto _ : state) {
    u32 size = u32(out.size());
    SLWideToAnsi(out.data(), &size, g_wide.c_str(), u32(g_wide.size()), 0);
    benchmark::DoNotOptimize(size);
  }
  state.SetBytesProcessed(state.iterations() * i64(g_wide.size() * 2));
}
void BM_WideToAnsi_Iconv(benchmark::State& state) {
  IconvRun(state, "CP1252", "UTF-16LE", reinterpret_cast<const char*>(g_wide.data()), g_wide.size() * 2);
}

BENCHMARK(BM_StrToDouble_Ours);
BENCHMARK(BM_StrToDouble_Strtod);
BENCHMARK(BM_StrToDouble_FromChars);
BENCHMARK(BM_Wildcard_Ours);
BENCHMARK(BM_Wildcard_Fnmatch);
BENCHMARK(BM_WideToUtf8_Ours);
BENCHMARK(BM_WideToUtf8_Iconv);
BENCHMARK(BM_Utf8ToWide_Ours);
BENCHMARK(BM_Utf8ToWide_Iconv);
BENCHMARK(BM_AnsiToWide_Ours);
BENCHMARK(BM_AnsiToWide_Iconv);
BENCHMARK(BM_WideToAnsi_Ours);
BENCHMARK(BM_WideToAnsi_Iconv);

// Keeps each run's time per iteration so that the pairs can be compared at the end.

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  SLBenchRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nratio ours / peer (below 1: ours is faster)\n");
  const char* pairs[][2] = {{"BM_StrToDouble_Ours", "BM_StrToDouble_Strtod"},
                            {"BM_StrToDouble_Ours", "BM_StrToDouble_FromChars"},
                            {"BM_Wildcard_Ours", "BM_Wildcard_Fnmatch"},
                            {"BM_WideToUtf8_Ours", "BM_WideToUtf8_Iconv"},
                            {"BM_Utf8ToWide_Ours", "BM_Utf8ToWide_Iconv"},
                            {"BM_AnsiToWide_Ours", "BM_AnsiToWide_Iconv"},
                            {"BM_WideToAnsi_Ours", "BM_WideToAnsi_Iconv"}};
  for (const auto& pair : pairs) reporter.PrintRatio(pair[0], pair[1]);
  benchmark::Shutdown();
  return 0;
}
