// Deterministic sample data for codec tests and benchmarks: text, binary and image-like
// bytes with the statistics real files have (repeated words, structured records, smooth
// pixel rows with noise), so compressors produce every kind of block and match.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace SLTestCorpus {

inline std::vector<std::uint8_t> Text(std::size_t size, std::uint32_t seed) {
  static const char* const kWords[] = {
      "el", "la", "de", "que", "y", "en", "un", "ser", "se", "no", "haber", "por", "con", "su",
      "para", "como", "estar", "tener", "le", "lo", "todo", "pero", "más", "hacer", "o", "poder",
      "decir", "este", "ir", "otro", "ese", "si", "me", "ya", "ver", "porque", "dar", "cuando",
      "muy", "sin", "vez", "mucho", "saber", "qué", "sobre", "mi", "alguno", "mismo", "yo",
      "también", "hasta", "año", "dos", "querer", "entre", "así", "primero", "desde", "grande",
      "película", "personaje", "escena", "fondo", "objeto", "sonido", "caminar", "hablar"};
  std::mt19937 rng(seed);
  std::vector<std::uint8_t> out;
  out.reserve(size + 32);
  std::size_t line = 0;
  while (out.size() < size) {
    const char* word = kWords[rng() % (sizeof(kWords) / sizeof(kWords[0]))];
    for (const char* p = word; *p; ++p) out.push_back(static_cast<std::uint8_t>(*p));
    line += 1;
    if (rng() % 13 == 0) out.push_back(',');
    out.push_back(line % 12 == 0 ? '\n' : ' ');
  }
  out.resize(size);
  return out;
}

inline std::vector<std::uint8_t> Binary(std::size_t size, std::uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<std::uint8_t> out;
  out.reserve(size + 64);
  while (out.size() < size) {
    switch (rng() % 4) {
      case 0:  // a record: tag, small counters, a pointer-like value
        for (int i = 0; i < 16; ++i) out.push_back(static_cast<std::uint8_t>(i < 4 ? 0xA0 + i : rng() % 8));
        break;
      case 1: {  // random bytes
        const int n = 1 + static_cast<int>(rng() % 48);
        for (int i = 0; i < n; ++i) out.push_back(static_cast<std::uint8_t>(rng()));
        break;
      }
      case 2: {  // a repeat of an earlier stretch, near or far
        if (out.size() < 64) break;
        const std::size_t back = 1 + rng() % std::min<std::size_t>(out.size() - 1, 60000);
        const std::size_t n = 3 + rng() % 300;
        const std::size_t from = out.size() - back;
        for (std::size_t i = 0; i < n; ++i) out.push_back(out[from + i]);
        break;
      }
      default: {  // a run
        const int n = 1 + static_cast<int>(rng() % 200);
        const std::uint8_t value = static_cast<std::uint8_t>(rng() % 3 == 0 ? 0 : rng());
        out.insert(out.end(), n, value);
        break;
      }
    }
  }
  out.resize(size);
  return out;
}

// Rows of 32-bit pixels: gradients and shapes with a little noise, like a skin or a frame.
inline std::vector<std::uint8_t> Image(std::size_t size, std::uint32_t seed) {
  std::mt19937 rng(seed);
  const std::size_t width = 640;
  std::vector<std::uint8_t> out;
  out.reserve(size + width * 4);
  std::size_t y = 0;
  while (out.size() < size) {
    for (std::size_t x = 0; x < width; ++x) {
      const bool inShape = ((x / 40 + y / 40) % 3) == 0;
      const std::uint32_t noise = rng() % 4;
      out.push_back(static_cast<std::uint8_t>(inShape ? 200 : (x * 255 / width) + noise));
      out.push_back(static_cast<std::uint8_t>(inShape ? 40 : (y % 256)));
      out.push_back(static_cast<std::uint8_t>(inShape ? 90 + noise : 128));
      out.push_back(255);
    }
    ++y;
  }
  out.resize(size);
  return out;
}

}  // namespace SLTestCorpus
