// contentgen --sheet DIR OUT.png: one picture of everything under DIR a person would
// want to look at (see Sheet.cpp).
#pragma once

#include <filesystem>
#include <string>

namespace contentgen {

bool WriteSheet(const std::filesystem::path& dir, const std::filesystem::path& output, std::string* error);

}  // namespace contentgen
