// The sample item set of the content fixture loaded into the program's catalogue with the
// program's own loaders, characters first as the loading screen does them, on whatever
// devices the adventure layer points at. One pack that does not load is a broken fixture.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "adventure/catalog/CharacterCatalog.h"
#include "adventure/catalog/ObjectCatalog.h"
#include "adventure/catalog/SceneCatalog.h"
#include "tests/support/ContentFiles.h"

inline void ContentCatalog_Load(const std::string& content) {
  namespace fs = std::filesystem;
  for (const char* kind : {"Personajes", "Fondos", "Objetos"}) {
    std::vector<std::string> packs;
    for (const auto& entry : fs::directory_iterator(content + "/Gfx/" + kind)) packs.push_back(entry.path().string());
    std::sort(packs.begin(), packs.end());
    for (std::string path : packs) {
      std::replace(path.begin(), path.end(), '/', '\\');
      path = content_test::Narrow(path);
      const std::string k = kind;
      const bool loaded = k == "Personajes" ? CharacterCatalog_LoadItem(path.c_str(), nullptr, nullptr, 0, 100) != nullptr
                          : k == "Fondos"   ? SceneCatalog_LoadItem(path.c_str(), nullptr) != nullptr
                                            : ObjectCatalog_LoadItem(path.c_str(), nullptr) != nullptr;
      ASSERT_TRUE(loaded) << path;
    }
  }
}

inline void ContentCatalog_Free() {
  CharacterCatalog_Free();
  SceneCatalog_Free();
  ObjectCatalog_Free();
}
