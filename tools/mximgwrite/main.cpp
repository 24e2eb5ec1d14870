// mximgwrite: turns a picture into an MXIMG file.
//   mximgwrite [-d 8|16|24|32] [-e raw|zlib|embed] [-p] [-k RRGGBB] [-o X,Y] [-a | -m MASK]
//              INPUT OUTPUT
// -e embed stores INPUT itself (a JPEG, PNG or GIF file); -p stores the palette; -k the
// colour key; -o the point; -a a mask from the alpha, -m a mask from a 1-bit picture.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "foundation/SLError.h"
#include "tools/common/ToolSupport.h"
#include "tools/mximgwrite/MximgWriter.h"

namespace {

const sltool::CommandLine kCommandLine("mximgwrite",
                                       "usage: mximgwrite [-d 8|16|24|32] [-e raw|zlib|embed] [-p] [-k RRGGBB] "
                                       "[-o X,Y] [-a | -m MASK] INPUT OUTPUT");

}  // namespace

int main(int argc, char** argv) {
  if (kCommandLine.WantsHelp(argc, argv)) return sltool::kExitOk;
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
  if (bad || input.empty() || output.empty()) return kCommandLine.UsageError("expected INPUT and OUTPUT");
  if (encoding != "raw" && encoding != "zlib" && encoding != "embed")
    return kCommandLine.UsageError("unknown encoding " + encoding);
  if (!sltool::CanWriteBeside(output, &error)) return kCommandLine.Failure(error);
  CSLImage picture, maskPicture;
  if (!mximg::ReadPicture(input, &picture, &error) || (!mask.empty() && !mximg::ReadPicture(mask, &maskPicture, &error)))
    return kCommandLine.Failure(error, "", SLGetLastError(false));
  if (!mask.empty()) options.mask = &maskPicture;
  options.encoding = encoding == "zlib" ? mximg::kZlib : mximg::kRaw;
  if (encoding == "embed") {
    mximg::ReadFile(input, &options.embedded);
    const std::string& e = options.embedded;
    options.encoding = e.compare(0, 3, "GIF") == 0 ? u32(mximg::kGif)
                       : e.compare(0, 4, "\x89PNG") == 0 ? u32(mximg::kPng)
                       : e.compare(0, 2, "\xff\xd8") == 0 ? u32(mximg::kJpeg)
                                                          : 0;
    if (!options.encoding) return kCommandLine.Failure("not a JPEG, PNG or GIF file", input);
  }
  std::string bytes;
  if (!mximg::Write(picture, options, &bytes, &error)) return kCommandLine.Failure(error, "", SLGetLastError(false));
  if (!sltool::WriteWholeFile(output, bytes.data(), bytes.size(), &error)) return kCommandLine.Failure(error);
  return sltool::kExitOk;
}
