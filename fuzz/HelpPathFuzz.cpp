// Help topic texts and object names through the parser and the name check. Every topic
// accepted, and every object name accepted, must stay inside the extraction folder when
// joined to it (checked against std::filesystem's lexical normalisation), hold no "\" or
// control character, and name a file rather than a folder when it is a topic.
#include <cstdint>
#include <filesystem>
#include <string>

#include "fuzz/FuzzProgram.h"
#include "platform/hhctrl/HtmlHelp.h"

namespace {

const std::string kFolder = "/run/user/1000/sl-help-ABCDEF";

void CheckInside(const std::string& name) {
  SLFuzzCheck(!name.empty() && name[0] == '/');
  for (unsigned char c : name) SLFuzzCheck(c >= 0x20 && c != 0x7F && c != '\\');
  const std::string joined = std::filesystem::path(kFolder + name).lexically_normal().string();
  SLFuzzCheck(joined.size() > kFolder.size() + 1 && joined.compare(0, kFolder.size() + 1, kFolder + "/") == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::string text = bytes.substr(0, bytes.find('\0'));
  SLPlatformHelp::HelpTarget target;
  if (SLPlatformHelp::ParseHelpTarget(text.c_str(), &target)) {
    CheckInside(target.topic);
    SLFuzzCheck(target.topic.back() != '/' && !target.file.empty());
  }
  if (SLPlatformHelp::IsSafeObjectName(bytes)) CheckInside(bytes);
  return 0;
}
