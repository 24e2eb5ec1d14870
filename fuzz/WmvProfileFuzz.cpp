// The media writer's profile text from random bytes (as Latin-1 characters): no crash,
// and a profile that loads hands out every stream it counts.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/wmvcore/WmvCore.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::u16string text;
  for (size_t i = 0; i < size; ++i) text += char16_t(data[i] ? data[i] : ' ');
  IWMProfileManager* manager = nullptr;
  if (WMCreateProfileManager(&manager) != 0) std::abort();
  IWMProfile* profile = nullptr;
  if (manager->LoadProfileByData(text.c_str(), &profile) == 0) {
    DWORD count = 0;
    profile->GetStreamCount(&count);
    for (DWORD i = 0; i < count; ++i) {
      IWMStreamConfig* config = nullptr;
      if (profile->GetStream(i, &config) != 0) std::abort();
      DWORD size = 0;
      config->GetMediaType(nullptr, &size);
      if (profile->ReconfigStream(config) != 0) std::abort();
      config->Release();
    }
    profile->Release();
  } else if (profile) {
    std::abort();
  }
  manager->Release();
  return 0;
}
