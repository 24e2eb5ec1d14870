// The "info.txt" reader: missing against empty for every kind of value, numbered series,
// token lists, and the same answers from an 8-bit and a UTF-16 description.
#include <gtest/gtest.h>

#include <vector>

#include "adventure/catalog/CatalogList.h"
#include "adventure/catalog/ItemDescription.h"
#include "foundation/SLStr.h"
#include "storage/SLFastFileStorage.h"
#include "storage/SLMemoryStorage.h"
#include "tests/support/TestSupport.h"
#include "tools/packwriter/PackWriter.h"

namespace {

// A pack in memory holding only "info.txt".
class Description {
 public:
  explicit Description(const std::vector<uint8_t>& info) {
    slpack::PackWriter writer(3, 0x1234);
    writer.AddFile(std::string("info.txt"), info);
    std::string error;
    EXPECT_TRUE(writer.Build(&m_bytes, &error)) << error;
    m_memory.AttachBuffer(m_bytes.data(), u32(m_bytes.size()), false);
    EXPECT_TRUE(m_pack.AttachContainer(&m_memory));
    m_loaded = m_reader.Load(&m_pack);
  }
  ItemDescription& operator*() { return m_reader; }
  ItemDescription* operator->() { return &m_reader; }
  bool Loaded() const { return m_loaded; }

 private:
  std::vector<uint8_t> m_bytes;
  CSLMemoryStorage m_memory;
  CSLFastFileStorage m_pack;
  ItemDescription m_reader;
  bool m_loaded;
};

// Keys and values in Windows-1252; "Animaci\xF3n" is the 9-byte key of the animations.
const char kText[] =
    "[General]\r\n"
    "SiMinus=si\r\nNoMixed=No\r\nVacio=\r\nRaro=quiz\xE1\r\n"
    "Numero= 42 \r\nGrande=4294967296\r\nNegativo=-3\r\nCola=12abc\r\nSigno=+\r\n"
    "Texto=  hola  \r\nAnimaci\xF3n=sube_baja\r\n";

std::vector<uint8_t> Ansi() { return std::vector<uint8_t>(kText, kText + sizeof kText - 1); }
// The same text as UTF-16LE with its BOM (every character of kText is below U+0100).
std::vector<uint8_t> Utf16() {
  std::vector<uint8_t> out{0xFF, 0xFE};
  for (const char* p = kText; *p; ++p) out.push_back(u8(*p)), out.push_back(0);
  return out;
}

enum Kind { kRequired, kNonEmpty, kYesNo, kUInt, kUIntConverter };

TEST(ItemDescription, MissingAgainstEmptyPerKind) {
  struct Row {
    Kind kind;
    const char* section;
    const char* key;
    u32 code;
    const char* value;  // text, "found"/"none", yes/no as "1"/"0", or the number
  };
  const Row rows[] = {
      {kYesNo, "General", "SiMinus", SL_OK, "1"},
      {kYesNo, "General", "NoMixed", SL_OK, "0"},
      {kYesNo, "General", "Vacio", SL_E_CATALOG_BAD_ITEM, ""},
      {kYesNo, "General", "Raro", SL_E_CATALOG_BAD_ITEM, ""},
      {kYesNo, "General", "Falta", SL_OK, "1"},
      {kYesNo, "Otra", "SiMinus", SL_OK, "1"},
      {kRequired, "General", "Texto", SL_OK, "hola"},
      {kRequired, "General", "Animaci\xF3n", SL_OK, "sube_baja"},
      {kRequired, "General", "Vacio", SL_E_CATALOG_BAD_ITEM, ""},
      {kRequired, "General", "Falta", SL_E_CATALOG_BAD_ITEM, ""},
      {kRequired, "Otra", "Texto", SL_E_CATALOG_BAD_ITEM, ""},
      {kNonEmpty, "General", "Raro", SL_OK, "quiz\xE1"},
      {kNonEmpty, "General", "Vacio", SL_OK, "none"},
      {kNonEmpty, "General", "Falta", SL_OK, "none"},
      {kUInt, "General", "Numero", SL_OK, "42"},
      {kUInt, "General", "Falta", SL_OK, "7"},
      {kUInt, "General", "Vacio", SL_E_CATALOG_BAD_ITEM, ""},
      {kUInt, "General", "Signo", SL_E_CATALOG_BAD_ITEM, ""},
      {kUInt, "General", "Grande", SL_E_CATALOG_BAD_ITEM, ""},
      {kUIntConverter, "General", "Grande", SL_E_OVERFLOW, ""},
      {kUIntConverter, "General", "Negativo", SL_E_UNDERFLOW, ""},
      {kUIntConverter, "General", "Cola", SL_E_TEXT_LEFT, ""},
      {kUIntConverter, "General", "Vacio", SL_E_CATALOG_BAD_ITEM, ""},
  };
  for (const auto& bytes : {Ansi(), Utf16()}) {
    Description description(bytes);
    ASSERT_TRUE(description.Loaded());
    for (const Row& row : rows) {
      SCOPED_TRACE(std::string(row.key) + " kind " + std::to_string(row.kind) + " of " + std::to_string(bytes.size()));
      char text[ItemDescription::kValueSize] = "";
      bool flag = false;
      u32 number = 7;
      bool ok = false;
      std::string got;
      switch (row.kind) {
        case kRequired:
          ok = description->GetRequired(row.section, row.key, text, sizeof text), got = text;
          break;
        case kNonEmpty:
          ok = description->GetNonEmpty(row.section, row.key, text, sizeof text, &flag), got = flag ? text : "none";
          break;
        case kYesNo:
          ok = description->GetYesNo(row.section, row.key, true, &flag), got = flag ? "1" : "0";
          break;
        case kUInt:
        case kUIntConverter:
          ok = description->GetUInt(row.section, row.key, 7, &number, row.kind == kUIntConverter);
          got = std::to_string(number);
          break;
      }
      EXPECT_TRUE(SLAnsweredWith(ok, row.code == SL_OK, row.code));
      if (ok) EXPECT_EQ(got, row.value);
    }
  }
}

TEST(ItemDescription, SeriesEndAtTheFirstMissingOrEmptyEntry) {
  const char text[] =
      "[Estado_1]\r\nNombre=quieto\r\n[Estado_2]\r\nNombre=abierto\r\n[Estado_3]\r\nNombre=\r\n"
      "[Estado_4]\r\nNombre=nunca\r\n[Punto_Apoyo_1]\r\nClase_Personajes1=Gente\r\nClase_Personajes3=Perros\r\n";
  Description description(std::vector<uint8_t>(text, text + sizeof text - 1));
  ASSERT_TRUE(description.Loaded());
  const auto count = [&](const char* sectionPattern, const char* keyPattern) {
    u32 n = 1;
    for (;; ++n) {
      char section[64], key[64], value[64];
      bool found;
      ItemDescription_NumberedName(section, sizeof section, sectionPattern, n);
      ItemDescription_NumberedName(key, sizeof key, keyPattern, n);
      EXPECT_TRUE(description->GetNonEmpty(section, key, value, sizeof value, &found));
      if (!found) break;
    }
    return n - 1;
  };
  EXPECT_EQ(count("Estado_%ld", "Nombre"), 2u);
  EXPECT_EQ(count("Punto_Apoyo_1", "Clase_Personajes%lu"), 1u);
  EXPECT_EQ(count("Acci\xF3n_%ld", "Nombre"), 0u);
}

TEST(ItemDescription, ListTokens) {
  struct Row {
    const char* list;
    bool directions;
    std::vector<std::string> tokens;
  };
  const Row rows[] = {
      {"Silla, \"Mesa grande\" , 'a,b',\tx y ", false, {"Silla", "Mesa grande", "a,b", "x y"}},
      {"TODOS, -Mesa", false, {"TODOS", "-Mesa"}},
      {"a,,b", false, {"a"}},
      {"a, ", false, {"a"}},
      {"", false, {}},
      {"\"\",b", false, {}},
      {"Adelante; Atr\xE1s ;Izquierda;", true, {"Adelante", "Atr\xE1s", "Izquierda"}},
      {"(3; -4; Derecha)", true, {"(3", "-4", "Derecha)"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.list);
    std::vector<std::string> got;
    char token[ItemDescription::kValueSize];
    for (u32 n = 1; row.directions ? ItemDescription_GetDirectionToken(row.list, n, token, sizeof token)
                                   : ItemDescription_GetToken(row.list, n, token, sizeof token);
         ++n)
      got.push_back(token);
    EXPECT_EQ(got, row.tokens);
  }
  char small[4];
  EXPECT_TRUE(ItemDescription_GetToken("abcdef,g", 1, small, sizeof small));
  EXPECT_STREQ(small, "abc");
}

TEST(ItemDescription, NumberConversions) {
  struct Row {
    const char* text;
    u32 code;        // with the converter's code kept
    double value;
  };
  const Row rows[] = {
      {"12.5", SL_OK, 12.5}, {" 100 ", SL_OK, 100}, {"0", SL_OK, 0}, {"1,5", SL_E_TEXT_LEFT, 0},
      {"", SL_E_CATALOG_BAD_ITEM, 0}, {"-", SL_E_CATALOG_BAD_ITEM, 0}, {"x1", SL_E_TEXT_LEFT, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    double value = -1;
    EXPECT_TRUE(SLAnsweredWith(ItemDescription_ParseFraction(row.text, &value, true), row.code == SL_OK, row.code));
    if (row.code == SL_OK) EXPECT_EQ(value, row.value);
  }
  i32 signedValue = 0;
  SL_EXPECT_OK(ItemDescription_ParseInt(" -12 ", &signedValue, false));
  EXPECT_EQ(signedValue, -12);
  SL_EXPECT_FAIL(ItemDescription_ParseInt("-2147483649", &signedValue, false), SL_E_CATALOG_BAD_ITEM);
}

}  // namespace
