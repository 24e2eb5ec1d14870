// INI queries on a 5,000-line text: every query scans the text from the start. The peer is
// a lookup in a map built once from the same text, to show what scanning costs.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <string>

#include "storage/SLIniFile.h"
#include "storage/SLMemoryStorage.h"
#include "storage/StorageClasses.h"

namespace {

constexpr int kSections = 100;
constexpr int kKeysPerSection = 49;  // with the headers: 5,000 lines

std::string Text() {
  std::string text;
  for (int s = 0; s < kSections; ++s) {
    text += "[Seccion" + std::to_string(s) + "]\r\n";
    for (int k = 0; k < kKeysPerSection; ++k)
      text += "Clave" + std::to_string(k) + " = valor " + std::to_string(s * 100 + k) + "\r\n";
  }
  return text;
}

CSLIniFile& Ini() {
  static CSLIniFile* ini = [] {
    SLRegisterStorageClasses();
    static std::string text = Text();
    auto* storage = new CSLMemoryStorage();
    storage->AttachBuffer(text.data(), u32(text.size()), false);
    auto* file = new CSLIniFile();
    file->Load(storage);
    storage->Release();
    return file;
  }();
  return *ini;
}

void QueryMiddleAndEnd(CSLIniFile& ini) {
  char buffer[64];
  u32 size = sizeof buffer;
  ini.GetStringA("Seccion50", "Clave25", buffer, &size, nullptr);
  size = sizeof buffer;
  ini.GetStringA("Seccion99", "Clave48", buffer, &size, nullptr);
}

void BM_IniQuery5000Lines(benchmark::State& state) {
  CSLIniFile& ini = Ini();
  for (auto _ : state) QueryMiddleAndEnd(ini);
  state.SetItemsProcessed(i64(state.iterations()) * 2);
}
BENCHMARK(BM_IniQuery5000Lines);

void BM_IniSetExisting5000Lines(benchmark::State& state) {
  CSLIniFile& ini = Ini();
  for (auto _ : state) ini.SetStringA("Seccion99", "Clave48", "nuevo valor", 0);
}
BENCHMARK(BM_IniSetExisting5000Lines);

void BM_MapLookupPeer(benchmark::State& state) {
  static std::map<std::string, std::string> map = [] {
    std::map<std::string, std::string> m;
    for (int s = 0; s < kSections; ++s)
      for (int k = 0; k < kKeysPerSection; ++k)
        m["seccion" + std::to_string(s) + "/clave" + std::to_string(k)] = "valor " + std::to_string(s * 100 + k);
    return m;
  }();
  for (auto _ : state) {
    benchmark::DoNotOptimize(map.find("seccion50/clave25"));
    benchmark::DoNotOptimize(map.find("seccion99/clave48"));
  }
  state.SetItemsProcessed(i64(state.iterations()) * 2);
}
BENCHMARK(BM_MapLookupPeer);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  CSLIniFile& ini = Ini();
  const int rounds = 200;
  auto t0 = std::chrono::steady_clock::now();
  for (int i = 0; i < rounds; ++i) QueryMiddleAndEnd(ini);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  std::printf("INI query on 5,000 lines: %.1f us per query (no goal; measured)\n", seconds * 1e6 / (rounds * 2));
  return 0;
}
