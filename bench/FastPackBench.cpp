// Fast data pack: attaching a 20,000-entry version-3 pack beside one read of its directory
// bytes, and keyed entry reads beside plain file reads of the same bytes, each pair timed in
// rounds of this program's own that alternate between its two sides.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/BenchRatio.h"
#include "storage/SLFastFileStorage.h"
#include "storage/SLFileStorage.h"
#include "storage/StorageClasses.h"
#include "tools/slpack/PackWriter.h"

namespace {

constexpr int kEntries = 20000;
constexpr size_t kBigEntry = 16 << 20;

struct Fixture {
  std::string manyPath, bigPath, bigPlainPath;
  u64 directoryBytes = 0;
  u64 bigOffset = 0;
  Fixture() {
    SLRegisterStorageClasses();
    auto dir = std::filesystem::temp_directory_path();
    manyPath = (dir / ("fastpack_bench_many_" + std::to_string(getpid()) + ".dat")).string();
    bigPath = (dir / ("fastpack_bench_big_" + std::to_string(getpid()) + ".dat")).string();
    bigPlainPath = (dir / ("fastpack_bench_bigplain_" + std::to_string(getpid()) + ".dat")).string();
    std::string error;
    slpack::PackWriter many(3, 0x12345678);
    for (int i = 0; i < kEntries; ++i)
      many.AddFile("Gfx/Personajes/personaje" + std::to_string(i / 50) + "/frame_" + std::to_string(i) + ".mximg",
                   std::vector<uint8_t>(16, uint8_t(i)));
    std::vector<uint8_t> bytes;
    many.Build(&bytes, &error);
    slpack::WriteFile(manyPath, bytes, &error);
    directoryBytes = bytes.size() - u64(kEntries) * 16;  // header, directory and CRC
    slpack::PackWriter big(3, 0xA5C3E1F7);
    std::vector<uint8_t> data(kBigEntry);
    for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i * 7);
    big.AddFile("big.bin", data);
    big.Build(&bytes, &error);
    slpack::WriteFile(bigPath, bytes, &error);
    bigOffset = bytes.size() - kBigEntry;
    slpack::PackWriter bigPlain(3, 0);
    bigPlain.AddFile("big.bin", data);
    bigPlain.Build(&bytes, &error);
    slpack::WriteFile(bigPlainPath, bytes, &error);
  }
  ~Fixture() {
    std::filesystem::remove(manyPath);
    std::filesystem::remove(bigPath);
    std::filesystem::remove(bigPlainPath);
  }
};

Fixture& Get() {
  static Fixture fixture;
  return fixture;
}

// Every round's time of each pass over rounds that alternate between them, so that a
// change in the machine's load during the run affects every pass alike.
template <size_t N>
std::array<std::vector<double>, N> TimeAlternating(const std::array<bool (*)(), N>& passes, int rounds) {
  std::array<std::vector<double>, N> times;
  for (int i = 0; i < rounds; ++i)
    for (size_t p = 0; p < N; ++p) {
      auto t0 = std::chrono::steady_clock::now();
      passes[p]();
      times[p].push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
  return times;
}

bool AttachPack() {
  CSLFastFileStorage pack;
  return pack.AttachFile(Get().manyPath.c_str(), false, SL_STORAGE_READ);
}

bool ReadDirectoryBytes() {
  static std::vector<uint8_t> buffer;
  buffer.resize(Get().directoryBytes);
  CSLFileStorage file;
  return file.OpenA(Get().manyPath.c_str(), SL_STORAGE_READ) && file.Read(buffer.data(), buffer.size()) == buffer.size();
}

// The entry as the last keyed or unkeyed read left it.
std::vector<uint8_t>& EntryBuffer() {
  static std::vector<uint8_t> buffer(kBigEntry);
  return buffer;
}

// The pack stays attached; each pass opens the entry and reads it whole.
bool ReadEntry(CSLFastFileStorage* pack) {
  return pack->OpenA("big.bin", SL_STORAGE_READ) && pack->Read(EntryBuffer().data(), kBigEntry) == kBigEntry;
}

bool ReadKeyedEntry() {
  static CSLFastFileStorage* pack = [] {
    auto* p = new CSLFastFileStorage();
    p->AttachFile(Get().bigPath.c_str(), false, SL_STORAGE_READ);
    return p;
  }();
  return ReadEntry(pack);
}

// The same entry in a pack without a key: the part of the cost that is not the XOR.
bool ReadUnkeyedEntry() {
  static CSLFastFileStorage* pack = [] {
    auto* p = new CSLFastFileStorage();
    p->AttachFile(Get().bigPlainPath.c_str(), false, SL_STORAGE_READ);
    return p;
  }();
  return ReadEntry(pack);
}

bool ReadPlainBytes() {
  static std::vector<uint8_t> buffer(kBigEntry);
  static CSLFileStorage* file = [] {
    auto* f = new CSLFileStorage();
    f->OpenA(Get().bigPath.c_str(), SL_STORAGE_READ);
    return f;
  }();
  return file->Seek(i64(Get().bigOffset), SL_SEEK_BEGIN) && file->Read(buffer.data(), buffer.size()) == buffer.size();
}

// Every pass once before anything is timed: a pass that failed would be timed doing less
// than its peer. The entries must read back as they were written.
bool PassesWork() {
  auto entryIsWhole = [] {
    for (size_t i = 0; i < kBigEntry; ++i)
      if (EntryBuffer()[i] != uint8_t(i * 7)) return false;
    return true;
  };
  return AttachPack() && ReadDirectoryBytes() && ReadPlainBytes() && ReadKeyedEntry() && entryIsWhole() &&
         ReadUnkeyedEntry() && entryIsWhole();
}

void BM_AttachPack20000(benchmark::State& state) {
  for (auto _ : state) AttachPack();
}
BENCHMARK(BM_AttachPack20000)->Unit(benchmark::kMillisecond);

void BM_ReadDirectoryBytes(benchmark::State& state) {
  for (auto _ : state) ReadDirectoryBytes();
}
BENCHMARK(BM_ReadDirectoryBytes)->Unit(benchmark::kMillisecond);

void BM_KeyedEntryRead16MiB(benchmark::State& state) {
  for (auto _ : state) ReadKeyedEntry();
}
BENCHMARK(BM_KeyedEntryRead16MiB)->Unit(benchmark::kMillisecond);

void BM_PlainFileRead16MiB(benchmark::State& state) {
  for (auto _ : state) ReadPlainBytes();
}
BENCHMARK(BM_PlainFileRead16MiB)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (!PassesWork()) {
    std::fprintf(stderr, "FastPackBench: a pack did not attach or an entry did not read back as written\n");
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  // Each in a phase of its own: an attach leaves the cache full of its tree, which would
  // slow the directory read that follows it.
  std::vector<double> directory = TimeAlternating<1>({ReadDirectoryBytes}, 15)[0];
  const std::vector<double> attach = TimeAlternating<1>({AttachPack}, 30)[0];
  const std::vector<double> more = TimeAlternating<1>({ReadDirectoryBytes}, 15)[0];
  directory.insert(directory.end(), more.begin(), more.end());
  std::printf("\nattach of %d entries / one read of its %llu directory bytes; keyed entry read of 16 MiB / plain "
              "file read of the same bytes, and the same entry without a key / the plain read (rounds of our own):\n",
              kEntries, static_cast<unsigned long long>(Get().directoryBytes));
  SLBenchPrintRatio("attach/20000_entries", "read/directory_bytes", attach, directory);
  const auto [keyed, plain, unkeyed] = TimeAlternating<3>({ReadKeyedEntry, ReadPlainBytes, ReadUnkeyedEntry}, 40);
  SLBenchPrintRatio("read/keyed_entry_16MiB", "read/plain_16MiB", keyed, plain);
  SLBenchPrintRatio("read/unkeyed_entry_16MiB", "read/plain_16MiB", unkeyed, plain);
  return 0;
}
