// Item packs for the catalogue tests, benchmarks and fuzz seeds. Python writes each
// pack's folder (Targa pictures with struct, "info.txt" with one of its codecs) and the
// pack writer packs it into "<name>.DAT" beside the folder.
//
// Pictures: "rising" (32-bit, mask alpha 10 at the top rising to 200 at the bottom,
// rows 100..119 transparent), "clear" (alpha 0), "opaque" (alpha 255), "rgb24" (24-bit),
// "narrow" (663x372, 32-bit), "" (no file). Colour of pixel (x, y): blue x, green y,
// red 3x, each modulo 256.
#pragma once

#include <string>
#include <vector>

#include "tests/support/TestSupport.h"
#include "tools/packwriter/PackWriter.h"

struct ItemPackSpec {
  std::string name;                // the pack's file name without ".DAT"
  std::string fondo = "rising";
  std::string frente;
  std::string info;                // "info.txt" as UTF-8 text
  std::string codec = "cp1252";    // python codec the text is written with
  uint16_t version = 2;
  uint32_t key = 0;
};

// The mask alpha of a "rising" picture at row y.
inline int ItemPackRisingAlpha(int y) { return y >= 100 && y < 120 ? 0 : 10 + 190 * y / 371; }

// "info.txt" of a background.
inline std::string ItemPackInfo(const std::string& itemClass, const std::string& name) {
  return "[General]\r\nClase=" + itemClass + "\r\nNombre=" + name + "\r\n";
}

// A python string literal of UTF-8 text.
inline std::string ItemPackPyText(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\\' || c == '\'') out += '\\';
    if (c == '\r') out += "\\r";
    else if (c == '\n') out += "\\n";
    else out += c;
  }
  return out + "'";
}

// Writes `folder`/<name>/ and `folder`/<name>.DAT for every spec; false with a message.
inline bool ItemPackWriteAll(const std::string& folder, const std::vector<ItemPackSpec>& specs, std::string* error) {
  std::string script = R"PY(# -*- coding: utf-8 -*-
import os, struct
W, H = 664, 372
def alpha(kind, y):
    if kind == 'clear': return 0
    if kind == 'opaque': return 255
    return 0 if 100 <= y < 120 else 10 + 190 * y // 371
cache = {}
def tga(kind):
    if kind in cache: return cache[kind]
    w = 663 if kind == 'narrow' else W
    n = 3 if kind == 'rgb24' else 4
    out = bytearray(struct.pack('<BBBHHBHHHHBB', 0, 0, 2, 0, 0, 0, 0, 0, w, H, 8 * n, 0x28 if n == 4 else 0x20))
    row = bytearray(w * n)
    row[0::n] = bytes(x & 255 for x in range(w))
    row[2::n] = bytes((3 * x) & 255 for x in range(w))
    for y in range(H):
        row[1::n] = bytes([y & 255]) * w
        if n == 4: row[3::n] = bytes([alpha(kind, y)]) * w
        out += row
    cache[kind] = bytes(out)
    return cache[kind]
def pack(folder, fondo, frente, info, codec):
    os.makedirs(folder, exist_ok=True)
    if fondo: open(os.path.join(folder, 'fondo.tga'), 'wb').write(tga(fondo))
    if frente: open(os.path.join(folder, 'frente.tga'), 'wb').write(tga(frente))
    if info is not None: open(os.path.join(folder, 'info.txt'), 'wb').write(info.encode(codec))
)PY";
  for (const ItemPackSpec& spec : specs)
    script += "pack(" + ItemPackPyText(folder + "/" + spec.name) + ", " + ItemPackPyText(spec.fondo) + ", " +
              ItemPackPyText(spec.frente) + ", " + ItemPackPyText(spec.info) + ", " + ItemPackPyText(spec.codec) +
              ")\n";
  script += "print('ok')\n";
  if (SLTestRunPython(script) != "ok\n") return *error = "python could not write the packs", false;
  for (const ItemPackSpec& spec : specs) {
    slpack::PackWriter writer(spec.version, spec.key);
    std::vector<uint8_t> bytes;
    if (!writer.AddFolder(folder + "/" + spec.name, error) || !writer.Build(&bytes, error) ||
        !slpack::WriteFile(folder + "/" + spec.name + ".DAT", bytes, error))
      return false;
  }
  return true;
}
