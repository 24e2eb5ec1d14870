// File and memory storages beside their peers: 64 KiB reads and writes through the file
// storage against read(2)/write(2) and dd; many small sequential reads of a chunked
// memory storage against a std::vector at 10 MB and 100 MB (time per byte should not
// grow with the size); small reads (4 and 16 bytes, typed reads) from a memory storage and
// from a keyed pack entry against SDL_RWread on SDL_RWFromConstMem, the same shape of call
// through a table of functions; the file finder against find -iname. Prints the ratios
// at the end.
#include <SDL2/SDL_rwops.h>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <ftw.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "foundation/SLSync.h"
#include "storage/SLFastFileStorage.h"
#include "storage/SLFileFinder.h"
#include "storage/SLFileStorage.h"
#include "storage/SLMemoryStorage.h"
#include "storage/StorageClasses.h"
#include "tools/slpack/PackWriter.h"
#include "bench/BenchRatio.h"

namespace {

constexpr size_t kFileSize = 64u << 20;
constexpr size_t kBlock = 65536;
std::string g_root;
std::string g_file;

void MakeFixtures() {
  char pattern[] = "/tmp/slbenchXXXXXX";
  g_root = mkdtemp(pattern);
  g_file = g_root + "/big.bin";
  std::vector<char> block(kBlock, 'x');
  int fd = open(g_file.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
  for (size_t done = 0; done < kFileSize; done += kBlock)
    if (write(fd, block.data(), kBlock) != ssize_t(kBlock)) std::abort();
  close(fd);
  // The finder's tree: 60 directories of 40 files, every fourth an MP3 in some case.
  std::string tree = g_root + "/tree";
  mkdir(tree.c_str(), 0777);
  for (int d = 0; d < 60; ++d) {
    std::string dir = tree + "/d" + std::to_string(d % 6) + (d >= 6 ? "/e" + std::to_string(d) : "");
    mkdir((tree + "/d" + std::to_string(d % 6)).c_str(), 0777);
    mkdir(dir.c_str(), 0777);
    for (int f = 0; f < 40; ++f) {
      std::string name = dir + "/f" + std::to_string(f) + (f % 4 == 0 ? (f % 8 ? ".MP3" : ".mp3") : ".txt");
      close(open(name.c_str(), O_CREAT | O_WRONLY, 0644));
    }
  }
}

void BM_FileReadStorage(benchmark::State& state) {
  std::vector<char> buffer(kBlock);
  CSLFileStorage file;
  if (!file.OpenA(g_file.c_str(), SL_STORAGE_READ)) state.SkipWithError("open");
  for (auto _ : state) {
    file.Seek(0, SL_SEEK_BEGIN);
    while (file.Read(buffer.data(), kBlock) == kBlock) {
    }
  }
  state.SetBytesProcessed(i64(state.iterations()) * i64(kFileSize));
}

void BM_FileReadRaw(benchmark::State& state) {
  std::vector<char> buffer(kBlock);
  int fd = open(g_file.c_str(), O_RDONLY);
  for (auto _ : state) {
    lseek(fd, 0, SEEK_SET);
    while (read(fd, buffer.data(), kBlock) == ssize_t(kBlock)) {
    }
  }
  close(fd);
  state.SetBytesProcessed(i64(state.iterations()) * i64(kFileSize));
}

void BM_FileReadDd(benchmark::State& state) {
  std::string command = "dd if=" + g_file + " of=/dev/null bs=64k status=none";
  for (auto _ : state)
    if (system(command.c_str()) != 0) state.SkipWithError("dd");
  state.SetBytesProcessed(i64(state.iterations()) * i64(kFileSize));
}

constexpr size_t kWriteSize = 16u << 20;

void BM_FileWriteStorage(benchmark::State& state) {
  std::vector<char> buffer(kBlock, 'w');
  std::string path = g_root + "/out-storage.bin";
  CSLFileStorage file;
  if (!file.CreateA(path.c_str(), SL_STORAGE_READWRITE)) state.SkipWithError("create");
  for (auto _ : state) {
    file.Seek(0, SL_SEEK_BEGIN);
    for (size_t done = 0; done < kWriteSize; done += kBlock) file.Write(buffer.data(), kBlock);
  }
  state.SetBytesProcessed(i64(state.iterations()) * i64(kWriteSize));
}

void BM_FileWriteRaw(benchmark::State& state) {
  std::vector<char> buffer(kBlock, 'w');
  std::string path = g_root + "/out-raw.bin";
  int fd = open(path.c_str(), O_CREAT | O_RDWR | O_TRUNC, 0644);
  for (auto _ : state) {
    lseek(fd, 0, SEEK_SET);
    for (size_t done = 0; done < kWriteSize; done += kBlock)
      if (write(fd, buffer.data(), kBlock) != ssize_t(kBlock)) state.SkipWithError("write");
  }
  close(fd);
  state.SetBytesProcessed(i64(state.iterations()) * i64(kWriteSize));
}

// 16 MiB in 64 KiB writes through the storage and through write(2), each from offset 0
// of its own file, alternating for 40 rounds, so that the machine's load affects both
// alike. Prints the ratio of the medians and the range of the per-round ratios.
void CompareWrites() {
  std::vector<char> buffer(kBlock, 'w');
  CSLFileStorage file;
  int fd = open((g_root + "/out-raw.bin").c_str(), O_CREAT | O_RDWR | O_TRUNC, 0644);
  if (!file.CreateA((g_root + "/out-storage.bin").c_str(), SL_STORAGE_READWRITE) || fd < 0) return;
  std::vector<double> times[2];
  for (int round = 0; round < 40; ++round) {
    auto t0 = std::chrono::steady_clock::now();
    file.Seek(0, SL_SEEK_BEGIN);
    for (size_t done = 0; done < kWriteSize; done += kBlock) file.Write(buffer.data(), kBlock);
    auto t1 = std::chrono::steady_clock::now();
    lseek(fd, 0, SEEK_SET);
    for (size_t done = 0; done < kWriteSize; done += kBlock)
      if (write(fd, buffer.data(), kBlock) != ssize_t(kBlock)) std::abort();
    auto t2 = std::chrono::steady_clock::now();
    times[0].push_back(std::chrono::duration<double>(t1 - t0).count());
    times[1].push_back(std::chrono::duration<double>(t2 - t1).count());
  }
  close(fd);
  SLBenchPrintRatio("rounds/write_64k/storage", "rounds/write_64k/write2", times[0], times[1]);
}

constexpr size_t kSmallRead = 16;

void BM_MemorySequential(benchmark::State& state) {
  const size_t size = size_t(state.range(0)) << 20;
  CSLMemoryStorage memory;
  std::vector<char> block(kBlock, 'm');
  for (size_t done = 0; done < size; done += kBlock) memory.Write(block.data(), kBlock);
  char piece[kSmallRead];
  for (auto _ : state) {
    memory.Seek(0, SL_SEEK_BEGIN);
    while (memory.Read(piece, kSmallRead) == kSmallRead) benchmark::DoNotOptimize(piece);
  }
  state.SetBytesProcessed(i64(state.iterations()) * i64(size));
}

void BM_VectorSequential(benchmark::State& state) {
  const size_t size = size_t(state.range(0)) << 20;
  std::vector<char> data(size, 'm');
  char piece[kSmallRead];
  for (auto _ : state) {
    for (size_t at = 0; at + kSmallRead <= size; at += kSmallRead) {
      std::memcpy(piece, data.data() + at, kSmallRead);
      benchmark::DoNotOptimize(piece);
    }
  }
  state.SetBytesProcessed(i64(state.iterations()) * i64(size));
}

// ---- small reads ----------------------------------------------------------------------

constexpr size_t kSmallData = 1u << 20;

std::vector<uint8_t>& SmallData() {
  static std::vector<uint8_t> data = [] {
    std::vector<uint8_t> bytes(kSmallData);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i * 31 + (i >> 9));
    return bytes;
  }();
  return data;
}

// The data in a memory storage as writers leave it (in chunks).
CSLMemoryStorage& SmallMemory() {
  static CSLMemoryStorage* memory = [] {
    auto* storage = new CSLMemoryStorage();
    storage->Write(SmallData().data(), SmallData().size());
    return storage;
  }();
  return *memory;
}

// The data as the one entry of a keyed pack, the pack held in memory.
CSLFastFileStorage& SmallPack() {
  static CSLFastFileStorage* pack = [] {
    slpack::PackWriter writer(3, 0xA5C3E1F7);
    writer.AddFile("datos/entrada.bin", SmallData());
    std::vector<uint8_t> bytes;
    std::string error;
    writer.Build(&bytes, &error);
    auto* memory = new CSLMemoryStorage();
    memory->Write(bytes.data(), bytes.size());
    auto* storage = new CSLFastFileStorage();
    if (!storage->AttachContainer(memory) || !storage->OpenA("datos/entrada.bin", SL_STORAGE_READ)) std::abort();
    memory->Release();
    return storage;
  }();
  return *pack;
}

enum class Reader { kMemory, kPack, kSdl };
enum class Shape { kRead4, kRead16, kU16, kU32, kU32BE };

constexpr size_t WidthOf(Shape shape) {
  return shape == Shape::kRead16 ? 16 : shape == Shape::kU16 ? 2 : 4;
}

template <Shape S>
inline bool ReadOne(CSLBaseStorage& storage, u8* out) {
  if constexpr (S == Shape::kRead4 || S == Shape::kRead16)
    return storage.Read(out, WidthOf(S)) == WidthOf(S);
  else if constexpr (S == Shape::kU16)
    return storage.ReadU16(reinterpret_cast<u16*>(out));
  else if constexpr (S == Shape::kU32)
    return storage.ReadU32(reinterpret_cast<u32*>(out));
  else
    return storage.ReadU32BE(reinterpret_cast<u32*>(out));
}

template <Shape S>
inline bool ReadOne(SDL_RWops* rw, u8* out) {
  if constexpr (S == Shape::kRead4 || S == Shape::kRead16)
    return SDL_RWread(rw, out, WidthOf(S), 1) == 1;
  else if constexpr (S == Shape::kU16) {
    u16 value = SDL_ReadLE16(rw);
    std::memcpy(out, &value, 2);
    return true;
  } else if constexpr (S == Shape::kU32) {
    u32 value = SDL_ReadLE32(rw);
    std::memcpy(out, &value, 4);
    return true;
  } else {
    u32 value = SDL_ReadBE32(rw);
    std::memcpy(out, &value, 4);
    return true;
  }
}

// One pass reads the first 64 KiB in pieces of the shape's width.
constexpr size_t kSmallPass = 65536;

template <Reader R, Shape S>
void SmallPass(SDL_RWops* rw) {
  alignas(16) u8 piece[16];
  constexpr size_t kReads = kSmallPass / WidthOf(S);
  if constexpr (R == Reader::kSdl) {
    SDL_RWseek(rw, 0, RW_SEEK_SET);
    for (size_t i = 0; i < kReads; ++i) {
      ReadOne<S>(rw, piece);
      benchmark::DoNotOptimize(piece);
    }
  } else {
    CSLBaseStorage& storage = R == Reader::kMemory ? static_cast<CSLBaseStorage&>(SmallMemory()) : SmallPack();
    storage.Seek(0, SL_SEEK_BEGIN);
    for (size_t i = 0; i < kReads; ++i) {
      ReadOne<S>(storage, piece);
      benchmark::DoNotOptimize(piece);
    }
  }
}

SDL_RWops* SmallRw() {
  static SDL_RWops* rw = SDL_RWFromConstMem(SmallData().data(), int(SmallData().size()));
  return rw;
}

// Time per read.
template <Reader R, Shape S>
void BM_SmallReads(benchmark::State& state) {
  for (auto _ : state) SmallPass<R, S>(SmallRw());
  state.SetItemsProcessed(i64(state.iterations()) * i64(kSmallPass / WidthOf(S)));
}

// Rounds that alternate between the three readers, so that a change in the machine's
// load affects all three alike; prints the ratios to SDL.
template <Shape S>
void CompareSmallReads(const char* label) {
  void (*passes[3])(SDL_RWops*) = {SmallPass<Reader::kMemory, S>, SmallPass<Reader::kPack, S>, SmallPass<Reader::kSdl, S>};
  std::vector<double> times[3];
  for (int round = 0; round < 300; ++round)
    for (int p = 0; p < 3; ++p) {
      auto t0 = std::chrono::steady_clock::now();
      passes[p](SmallRw());
      times[p].push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
  const std::string base = std::string("rounds/small/") + label;
  SLBenchPrintRatio(base + "/memory", base + "/sdl", times[0], times[2]);
  SLBenchPrintRatio(base + "/pack", base + "/sdl", times[1], times[2]);
}

#define SMALL_READS(shape, label)                                                                         \
  BENCHMARK(BM_SmallReads<Reader::kMemory, Shape::shape>)->Name("small/" label "/memory"); \
  BENCHMARK(BM_SmallReads<Reader::kPack, Shape::shape>)->Name("small/" label "/pack");     \
  BENCHMARK(BM_SmallReads<Reader::kSdl, Shape::shape>)->Name("small/" label "/sdl");
SMALL_READS(kRead4, "read4")
SMALL_READS(kRead16, "read16")
SMALL_READS(kU16, "u16")
SMALL_READS(kU32, "u32")
SMALL_READS(kU32BE, "u32be")
#undef SMALL_READS

std::atomic<int> g_found{0};
void CountFound(const char* path, void*, u32) {
  if (path) ++g_found;
}

void BM_Finder(benchmark::State& state) {
  std::string tree = g_root + "/tree";
  for (auto _ : state) {
    g_found = 0;
    CSLFileFinder finder;
    finder.Start(&CountFound, nullptr, tree.c_str(), "*.mp3", true);
    while (finder.IsRunning()) SLSleep(0);
    if (g_found != 600) state.SkipWithError("wrong count");
  }
}

// The peer: the same listing in this process, by nftw (no links followed, one file
// system) with the same case-insensitive match, so no process start is counted.
std::atomic<int> g_peerFound{0};
int CountMatch(const char* path, const struct stat*, int type, struct FTW* at) {
  if (type == FTW_F && fnmatch("*.mp3", path + at->base, FNM_CASEFOLD) == 0) ++g_peerFound;
  return 0;
}
int ListPeer(const std::string& tree) {
  g_peerFound = 0;
  return nftw(tree.c_str(), &CountMatch, 64, FTW_PHYS | FTW_MOUNT) == 0 ? g_peerFound.load() : -1;
}

void BM_FindIname(benchmark::State& state) {
  std::string tree = g_root + "/tree";
  for (auto _ : state)
    if (ListPeer(tree) != 600) state.SkipWithError("nftw");
}

// The finder and the in-process listing over the same tree, alternating for 15 rounds.
void CompareFinder() {
  std::string tree = g_root + "/tree";
  std::vector<double> times[2];
  for (int round = 0; round < 15; ++round) {
    auto t0 = std::chrono::steady_clock::now();
    {
      CSLFileFinder finder;
      finder.Start(&CountFound, nullptr, tree.c_str(), "*.mp3", true);
      while (finder.IsRunning()) SLSleep(0);
    }
    auto t1 = std::chrono::steady_clock::now();
    if (ListPeer(tree) < 0) return;
    auto t2 = std::chrono::steady_clock::now();
    times[0].push_back(std::chrono::duration<double>(t1 - t0).count());
    times[1].push_back(std::chrono::duration<double>(t2 - t1).count());
  }
  SLBenchPrintRatio("rounds/finder/storage", "rounds/finder/nftw_iname", times[0], times[1]);
}

BENCHMARK(BM_FileReadStorage)->Name("file/read_64k/storage")->UseRealTime();
BENCHMARK(BM_FileReadRaw)->Name("file/read_64k/raw")->UseRealTime();
BENCHMARK(BM_FileReadDd)->Name("file/read_64k/dd")->UseRealTime();
BENCHMARK(BM_FileWriteStorage)->Name("file/write_64k/storage")->UseRealTime()->Repetitions(5);
BENCHMARK(BM_FileWriteRaw)->Name("file/write_64k/raw")->UseRealTime()->Repetitions(5);
BENCHMARK(BM_MemorySequential)->Arg(10)->Name("memory/seq16/storage/10MB")->UseRealTime();
BENCHMARK(BM_VectorSequential)->Arg(10)->Name("memory/seq16/vector/10MB")->UseRealTime();
BENCHMARK(BM_MemorySequential)->Arg(100)->Name("memory/seq16/storage/100MB")->UseRealTime();
BENCHMARK(BM_VectorSequential)->Arg(100)->Name("memory/seq16/vector/100MB")->UseRealTime();
BENCHMARK(BM_Finder)->Name("finder/storage")->UseRealTime()->Repetitions(3);
BENCHMARK(BM_FindIname)->Name("finder/nftw_iname")->UseRealTime()->Repetitions(3);


}  // namespace

int main(int argc, char** argv) {
  SLRegisterStorageClasses();
  MakeFixtures();
  benchmark::Initialize(&argc, argv);
  SLBenchRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\ntime ratios (below 1 means the first is faster):\n");
  reporter.PrintRatio("file/read_64k/storage", "file/read_64k/raw");
  reporter.PrintRatio("file/read_64k/storage", "file/read_64k/dd");
  reporter.PrintRatio("file/write_64k/storage", "file/write_64k/raw");
  CompareWrites();
  reporter.PrintRatio("memory/seq16/storage/10MB", "memory/seq16/vector/10MB");
  reporter.PrintRatio("memory/seq16/storage/100MB", "memory/seq16/vector/100MB");
  // Linear time: 100 MB takes ten times as long as 10 MB, so this ratio stays near 1.
  reporter.PrintRatio("memory/seq16/storage/100MB", "memory/seq16/storage/10MB", 10.0);
  CompareSmallReads<Shape::kRead4>("read4");
  CompareSmallReads<Shape::kRead16>("read16");
  CompareSmallReads<Shape::kU16>("u16");
  CompareSmallReads<Shape::kU32>("u32");
  CompareSmallReads<Shape::kU32BE>("u32be");
  reporter.PrintRatio("finder/storage", "finder/nftw_iname");
  CompareFinder();
  benchmark::Shutdown();
  std::string cleanup = "rm -rf " + g_root;
  return system(cleanup.c_str()) == 0 ? 0 : 1;
}
