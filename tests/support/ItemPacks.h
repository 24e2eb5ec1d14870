// Background item packs for the catalogue tests, written by tools/fixtures/make_item_packs.py
// (pictures and "info.txt" by python, packed by slpack).
#pragma once

#include <string>
#include <vector>

#include "tests/support/TestSupport.h"

struct ItemPackSpec {
  std::string name, fondo, frente, info;  // info: "info.txt" as UTF-8 text
  std::string codec = "cp1252";
  int version = 2;
  u32 key = 0;
};

// The mask alpha of a "rising" picture at row y.
inline int ItemPackRisingAlpha(int y) { return y >= 100 && y < 120 ? 0 : 10 + 190 * y / 371; }

inline std::string ItemPackInfo(const std::string& itemClass, const std::string& name) {
  return "[General]\r\nClase=" + itemClass + "\r\nNombre=" + name + "\r\n";
}

// A python string literal of UTF-8 text.
inline std::string ItemPackPyText(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\r' ? "\\r" : c == '\n' ? "\\n" : c == '\'' || c == '\\' ? std::string("\\") + c : std::string(1, c);
  return out + "'";
}

// Writes the packs into `folder`; gives the tool's "name identity" lines.
inline std::string ItemPackWriteAll(const std::string& folder, const std::vector<ItemPackSpec>& specs) {
  std::string items = "[";
  for (const ItemPackSpec& s : specs)
    items += "(" + ItemPackPyText(s.name) + "," + ItemPackPyText(s.fondo) + "," + ItemPackPyText(s.frente) + "," +
             ItemPackPyText(s.info) + "," + ItemPackPyText(s.codec) + "," + std::to_string(s.version) + "," +
             std::to_string(s.key) + "),";
  const std::string list = folder + "/items.txt";
  if (FILE* f = std::fopen(list.c_str(), "wb")) std::fputs((items + "]").c_str(), f), std::fclose(f);
  return SLTestCapture("python3 " SL_SOURCE_DIR "/tools/fixtures/make_item_packs.py '" + folder + "' " SL_BINARY_DIR
                       "/tools/slpack/slpack < '" + list + "'");
}
