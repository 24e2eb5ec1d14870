// File and memory storages beside their peers: 64 KiB reads and writes through the file
// storage against read(2)/write(2) and dd; many small sequential reads of a chunked
// memory storage against a std::vector at 10 MB and 100 MB (time per byte should not
// grow with the size); the file finder against find -iname. Prints the ratios at the end.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "foundation/SLSync.h"
#include "storage/SLFileFinder.h"
#include "storage/SLFileStorage.h"
#include "storage/SLMemoryStorage.h"
#include "storage/StorageClasses.h"

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

void BM_FindIname(benchmark::State& state) {
  std::string command = "find " + g_root + "/tree -iname '*.mp3' > /dev/null";
  for (auto _ : state)
    if (system(command.c_str()) != 0) state.SkipWithError("find");
}

BENCHMARK(BM_FileReadStorage)->Name("file/read_64k/storage")->UseRealTime();
BENCHMARK(BM_FileReadRaw)->Name("file/read_64k/raw")->UseRealTime();
BENCHMARK(BM_FileReadDd)->Name("file/read_64k/dd")->UseRealTime();
BENCHMARK(BM_FileWriteStorage)->Name("file/write_64k/storage")->UseRealTime();
BENCHMARK(BM_FileWriteRaw)->Name("file/write_64k/raw")->UseRealTime();
BENCHMARK(BM_MemorySequential)->Arg(10)->Name("memory/seq16/storage/10MB")->UseRealTime();
BENCHMARK(BM_VectorSequential)->Arg(10)->Name("memory/seq16/vector/10MB")->UseRealTime();
BENCHMARK(BM_MemorySequential)->Arg(100)->Name("memory/seq16/storage/100MB")->UseRealTime();
BENCHMARK(BM_VectorSequential)->Arg(100)->Name("memory/seq16/vector/100MB")->UseRealTime();
BENCHMARK(BM_Finder)->Name("finder/storage")->UseRealTime();
BENCHMARK(BM_FindIname)->Name("finder/find_iname")->UseRealTime();

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs)
      if (run.run_type == Run::RT_Iteration && run.iterations > 0)
        m_ns[run.run_name.function_name] = run.GetAdjustedRealTime();
  }
  void PrintRatio(const char* ours, const char* peer, double scale = 1.0) const {
    auto a = m_ns.find(ours);
    auto b = m_ns.find(peer);
    if (a == m_ns.end() || b == m_ns.end() || b->second <= 0) return;
    std::printf("%-32s / %-28s = %.2f\n", ours, peer, a->second / b->second / scale);
  }

 private:
  std::map<std::string, double> m_ns;
};

}  // namespace

int main(int argc, char** argv) {
  SLRegisterStorageClasses();
  MakeFixtures();
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\ntime ratios (below 1 means the first is faster):\n");
  reporter.PrintRatio("file/read_64k/storage", "file/read_64k/raw");
  reporter.PrintRatio("file/read_64k/storage", "file/read_64k/dd");
  reporter.PrintRatio("file/write_64k/storage", "file/write_64k/raw");
  reporter.PrintRatio("memory/seq16/storage/10MB", "memory/seq16/vector/10MB");
  reporter.PrintRatio("memory/seq16/storage/100MB", "memory/seq16/vector/100MB");
  // Linear time: 100 MB takes ten times as long as 10 MB, so this ratio stays near 1.
  reporter.PrintRatio("memory/seq16/storage/100MB", "memory/seq16/storage/10MB", 10.0);
  reporter.PrintRatio("finder/storage", "finder/find_iname");
  benchmark::Shutdown();
  std::string cleanup = "rm -rf " + g_root;
  return system(cleanup.c_str()) == 0 ? 0 : 1;
}
