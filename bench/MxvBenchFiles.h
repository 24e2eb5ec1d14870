// What the MXV benchmarks share: a movie written by the MXV writer into memory, its chunks,
// and a reader over the bytes.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "foundation/SLByteOrder.h"
#include "media/SLVideoAudioReaderMXV.h"
#include "storage/SLMemoryStorage.h"
#include "tools/mxvwrite/MxvWriter.h"

namespace SLMxvBench {

using Bytes = std::vector<uint8_t>;

// Runs `write` on a writer making a file in /tmp and returns the file's bytes.
template <class Write>
Bytes MakeMovie(Write write) {
  char path[] = "/tmp/slmxvbenchXXXXXX";
  const int fd = mkstemp(path);
  if (fd >= 0) close(fd);
  slmxv::MxvWriter writer;
  std::string error;
  if (!write(&writer, path, &error) || !writer.Finish(&error)) std::fprintf(stderr, "mxv bench: %s\n", error.c_str());
  std::ifstream in(path, std::ios::binary);
  Bytes bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  unlink(path);
  return bytes;
}

// Chunk tag -> {payload offset, payload size} of a version 2 file.
inline std::map<std::string, std::pair<size_t, size_t>> Chunks(const Bytes& file) {
  std::map<std::string, std::pair<size_t, size_t>> chunks;
  for (size_t at = 14; at + 12 <= file.size();) {
    const size_t size = size_t(SLLoadLE64(&file[at + 4]));
    chunks[std::string(reinterpret_cast<const char*>(&file[at]), 4)] = {at + 12, size};
    at += 12 + size;
  }
  return chunks;
}

// A reader opened on the bytes (which must outlive it).
inline CSLVideoAudioReaderMXV* OpenReader(Bytes& file) {
  auto* storage = new CSLMemoryStorage();
  storage->AttachBuffer(file.data(), uint32_t(file.size()), false);
  auto* reader = new CSLVideoAudioReaderMXV();
  reader->Open(storage, 0);
  storage->Release();
  return reader;
}

}  // namespace SLMxvBench
