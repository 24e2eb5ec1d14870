// mximgwrite: turns a picture into an MXIMG file.
//   mximgwrite [-d 8|16|24|32] [-e raw|zlib|embed] [-p] [-k RRGGBB] [-o X,Y] [-a | -m MASK]
//              INPUT OUTPUT
// -e embed stores INPUT itself (a JPEG, PNG or GIF file); -p stores the palette; -k the
// colour key; -o the point; -a a mask from the alpha, -m a mask from a 1-bit picture.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tools/mximg/MximgWriter.h"

int main(int argc, char** argv) {
  mximg::WriteOptions options;
  std::string input, output, mask, encoding = "raw", error;
  bool bad = false;
  for (int i = 1; i < argc && !bad; ++i) {
    const std::string arg = argv[i];
    const bool more = i + 1 < argc;
    if (arg == "-d" && more) {
      options.depth = u32(std::strtoul(argv[++i], nullptr, 10));
    } else if (arg == "-e" && more) {
      encoding = argv[++i];
    } else if (arg == "-p") {
      options.palette = true;
    } else if (arg == "-k" && more) {
      const u32 rgb = u32(std::strtoul(argv[++i], nullptr, 16));
      options.key = true;
      options.keyColor = (rgb >> 16 & 0xFF) | (rgb & 0xFF00) | (rgb & 0xFF) << 16;
    } else if (arg == "-o" && more) {
      options.point = std::sscanf(argv[++i], "%u,%u", &options.pointX, &options.pointY) == 2;
      bad = !options.point;
    } else if (arg == "-a") {
      options.maskFromAlpha = true;
    } else if (arg == "-m" && more) {
      mask = argv[++i];
    } else if (input.empty()) {
      input = arg;
    } else if (output.empty()) {
      output = arg;
    } else {
      bad = true;
    }
  }
  if (bad || input.empty() || output.empty() || (encoding != "raw" && encoding != "zlib" && encoding != "embed")) {
    std::fprintf(stderr,
                 "usage: mximgwrite [-d 8|16|24|32] [-e raw|zlib|embed] [-p] [-k RRGGBB] [-o X,Y] [-a | -m MASK] "
                 "INPUT OUTPUT\n");
    return 2;
  }
  CSLImage picture, maskPicture;
  if (!mximg::ReadPicture(input, &picture, &error) || (!mask.empty() && !mximg::ReadPicture(mask, &maskPicture, &error))) {
    std::fprintf(stderr, "mximgwrite: %s\n", error.c_str());
    return 1;
  }
  if (!mask.empty()) options.mask = &maskPicture;
  options.encoding = encoding == "zlib" ? mximg::kZlib : mximg::kRaw;
  if (encoding == "embed") {
    mximg::ReadFile(input, &options.embedded);
    const std::string& e = options.embedded;
    options.encoding = e.compare(0, 3, "GIF") == 0 ? u32(mximg::kGif)
                       : e.compare(0, 4, "\x89PNG") == 0 ? u32(mximg::kPng)
                       : e.compare(0, 2, "\xff\xd8") == 0 ? u32(mximg::kJpeg)
                                                          : 0;
    if (!options.encoding) {
      std::fprintf(stderr, "mximgwrite: %s is not a JPEG, PNG or GIF file\n", input.c_str());
      return 1;
    }
  }
  std::string bytes;
  if (!mximg::Write(picture, options, &bytes, &error)) {
    std::fprintf(stderr, "mximgwrite: %s\n", error.c_str());
    return 1;
  }
  std::FILE* f = std::fopen(output.c_str(), "wb");
  if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0) {
    std::fprintf(stderr, "mximgwrite: cannot write %s\n", output.c_str());
    return 1;
  }
  return 0;
}
