#include "platform/kernel32/Locale.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

struct LocaleId {
  const char* name;
  LCID id;
};

// Language_TERRITORY names of the POSIX locales and the identifiers the system uses.
constexpr LocaleId kLocales[] = {
    {"es_ES", 0x0C0A}, {"es_MX", 0x080A}, {"es_AR", 0x2C0A}, {"es_CO", 0x240A}, {"es_CL", 0x340A},
    {"es_US", 0x540A}, {"es", 0x000A},    {"en_US", 0x0409}, {"en_GB", 0x0809}, {"en", 0x0009},
    {"ca_ES", 0x0403}, {"ca", 0x0003},    {"gl_ES", 0x0456}, {"eu_ES", 0x042D}, {"fr_FR", 0x040C},
    {"fr", 0x000C},    {"de_DE", 0x0407}, {"de", 0x0007},    {"it_IT", 0x0410}, {"it", 0x0010},
    {"pt_PT", 0x0816}, {"pt_BR", 0x0416}, {"pt", 0x0016},
};

const char* EnvironmentLocale() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value && *value) return value;
  }
  return nullptr;
}

}  // namespace

LCID SLPlatformEnvironmentLCID() {
  const char* value = EnvironmentLocale();
  if (!value) return 0x0C0A;
  // "es_ES.UTF-8@euro" -> "es_ES"
  std::string name(value, std::strcspn(value, ".@"));
  for (const auto& locale : kLocales)
    if (name == locale.name) return locale.id;
  return 0;
}

LCID GetSystemDefaultLCID() { return SLPlatformEnvironmentLCID(); }
LCID GetUserDefaultLCID() { return SLPlatformEnvironmentLCID(); }
