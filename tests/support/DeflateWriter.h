// Test-only deflate writer: one block of literals and explicit matches (length code with its
// extra value, distance code with its extra value), fixed or dynamic Huffman codes, with the
// Deflate64 alphabets where the symbols ask for them (length code 285 with 16 extra bits,
// distance codes 30 and 31). Used to force the codes real encoders rarely produce.
#pragma once

#include <cstdint>
#include <vector>

namespace SLTestDeflate {

class BitWriter {
 public:
  // Plain values go least significant bit first, Huffman codes most significant first.
  void Bits(std::uint32_t value, unsigned count) {
    for (unsigned i = 0; i < count; ++i) Bit((value >> i) & 1);
  }
  void Code(std::uint32_t code, unsigned length) {
    for (unsigned i = length; i-- > 0;) Bit((code >> i) & 1);
  }
  std::vector<std::uint8_t> Finish() {
    if (m_fill) m_out.push_back(m_byte);
    m_fill = 0;
    m_byte = 0;
    return m_out;
  }

 private:
  void Bit(unsigned b) {
    m_byte |= static_cast<std::uint8_t>(b << m_fill);
    if (++m_fill == 8) {
      m_out.push_back(m_byte);
      m_byte = 0;
      m_fill = 0;
    }
  }
  std::vector<std::uint8_t> m_out;
  std::uint8_t m_byte = 0;
  unsigned m_fill = 0;
};

inline std::vector<std::uint32_t> CanonicalCodes(const std::vector<std::uint16_t>& lengths) {
  unsigned count[16] = {};
  for (std::uint16_t l : lengths) count[l]++;
  count[0] = 0;
  std::uint32_t next[16] = {};
  std::uint32_t code = 0;
  for (int len = 1; len < 16; ++len) {
    code = (code + count[len - 1]) << 1;
    next[len] = code;
  }
  std::vector<std::uint32_t> codes(lengths.size());
  for (size_t s = 0; s < lengths.size(); ++s)
    if (lengths[s]) codes[s] = next[lengths[s]]++;
  return codes;
}

struct Symbol {
  int literal;  // -1 for a match
  unsigned lengthCode, lengthExtraBits, lengthExtra, distCode, distExtraBits, distExtra;
};

inline Symbol Literal(int byte) { return {byte, 0, 0, 0, 0, 0, 0}; }

// One last block. Dynamic blocks use 286 length codes and `ndist` distance codes.
inline std::vector<std::uint8_t> EncodeBlock(const std::vector<Symbol>& symbols, bool dynamic,
                                             unsigned ndist = 32) {
  std::vector<std::uint16_t> litLens(286), distLens(ndist);
  if (dynamic) {
    // 256 literals at 9 bits, 28 length symbols at 6 and 2 at 5: a complete code.
    for (int i = 0; i < 256; ++i) litLens[i] = 9;
    for (int i = 256; i < 284; ++i) litLens[i] = 6;
    litLens[284] = litLens[285] = 5;
    for (auto& l : distLens) l = 5;
    if (ndist == 31) distLens[30] = 4;
  } else {
    litLens.resize(288);
    for (int i = 0; i < 144; ++i) litLens[i] = 8;
    for (int i = 144; i < 256; ++i) litLens[i] = 9;
    for (int i = 256; i < 280; ++i) litLens[i] = 7;
    for (int i = 280; i < 288; ++i) litLens[i] = 8;
    distLens.assign(32, 5);
  }
  const std::vector<std::uint32_t> litCodes = CanonicalCodes(litLens);
  const std::vector<std::uint32_t> distCodes = CanonicalCodes(distLens);
  BitWriter w;
  w.Bits(1, 1);  // last block
  if (!dynamic) {
    w.Bits(1, 2);
  } else {
    w.Bits(2, 2);
    w.Bits(286 - 257, 5);
    w.Bits(ndist - 1, 5);
    w.Bits(19 - 4, 4);
    // Code-length code: symbols 0..15 at 4 bits, the repeat codes unused.
    static const int kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    std::vector<std::uint16_t> clLens(19, 0);
    for (int i = 0; i < 16; ++i) clLens[i] = 4;
    for (int i = 0; i < 19; ++i) w.Bits(clLens[kOrder[i]], 3);
    const std::vector<std::uint32_t> clCodes = CanonicalCodes(clLens);
    for (std::uint16_t l : litLens) w.Code(clCodes[l], 4);
    for (std::uint16_t l : distLens) w.Code(clCodes[l], 4);
  }
  for (const Symbol& s : symbols) {
    if (s.literal >= 0) {
      w.Code(litCodes[s.literal], litLens[s.literal]);
      continue;
    }
    w.Code(litCodes[s.lengthCode], litLens[s.lengthCode]);
    w.Bits(s.lengthExtra, s.lengthExtraBits);
    w.Code(distCodes[s.distCode], distLens[s.distCode]);
    w.Bits(s.distExtra, s.distExtraBits);
  }
  w.Code(litCodes[256], litLens[256]);
  return w.Finish();
}

}  // namespace SLTestDeflate
