// The locale the system reports follows the environment as the C library reads it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>

#include "platform/kernel32/Locale.h"
#include "platform/kernel32/Text.h"

namespace {

class Environment {
 public:
  Environment() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
      const char* value = std::getenv(name);
      saved_[name] = value ? std::string(value) : std::string("\x01");
      unsetenv(name);
    }
  }
  ~Environment() {
    for (auto& [name, value] : saved_)
      if (value == "\x01")
        unsetenv(name.c_str());
      else
        setenv(name.c_str(), value.c_str(), 1);
  }

 private:
  std::map<std::string, std::string> saved_;
};

}  // namespace

TEST(Locale, IdentifiersFromTheEnvironment) {
  Environment keep;
  EXPECT_EQ(SLPlatformEnvironmentLCID(), 0x0C0Au);  // nothing set: the system's Spanish
  setenv("LANG", "es_ES.UTF-8", 1);
  EXPECT_EQ(GetSystemDefaultLCID(), 0x0C0Au);
  setenv("LANG", "es", 1);
  EXPECT_EQ(GetUserDefaultLCID(), 0x000Au);
  setenv("LANG", "en_US.UTF-8", 1);
  EXPECT_EQ(GetThreadLocale(), 0x0409u);
  setenv("LC_MESSAGES", "fr_FR@euro", 1);  // LC_MESSAGES comes before LANG
  EXPECT_EQ(GetThreadLocale(), 0x040Cu);
  setenv("LC_ALL", "C.UTF-8", 1);  // and LC_ALL before both; a locale not known is 0
  EXPECT_EQ(GetThreadLocale(), 0u);
}
