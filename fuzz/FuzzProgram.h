// Inputs read as programs: one byte at a time, zeros past the end (so that a program
// cut short still decodes), and the check that ends a run on a wrong answer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>

struct SLFuzzProgram {
  const std::uint8_t* data;
  std::size_t size;
  std::size_t at = 0;
  unsigned Take() { return at < size ? data[at++] : 0; }
};

inline void SLFuzzCheck(bool condition) {
  if (!condition) std::abort();
}
