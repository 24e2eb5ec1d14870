// The "info.txt" reader: missing against empty for every kind of value, numbered series
// and token lists, with the same answers from an 8-bit and a UTF-16 description.
#include <gtest/gtest.h>

#include <vector>

#include "adventure/catalog/CatalogList.h"
#include "adventure/catalog/ItemDescription.h"
#include "foundation/SLStr.h"
#include "storage/SLFastFileStorage.h"
#include "storage/SLMemoryStorage.h"
#include "tests/support/TestSupport.h"
#include "tools/slpack/PackWriter.h"

namespace {

// Windows-1252 text; "Animaci\xF3n" is the 9-byte key of the animations.
const char kText[] =
    "[General]\r\nSi=si\r\nNo=No\r\nVacio=\r\nRaro=quiz\xE1\r\nNumero= 42 \r\nGrande=4294967296\r\nNegativo=-3\r\n"
    "Cola=12abc\r\nSigno=+\r\nTexto=  hola  \r\nAnimaci\xF3n=sube\r\n"
    "[Estado_1]\r\nNombre=quieto\r\n[Estado_2]\r\nNombre=abierto\r\n[Estado_3]\r\nNombre=\r\n[Estado_4]\r\nNombre=x\r\n";

enum Kind { kRequired, kNonEmpty, kYesNo, kUInt, kConverter };

TEST(ItemDescription, MissingAgainstEmptyPerKind) {
  const struct Row {
    Kind kind;
    const char *section, *key;
    u32 code;
    std::string value;  // the text, "-" for none found, 1/0 for yes/no, or the number
  } rows[] = {
      {kYesNo, "General", "Si", SL_OK, "1"},       {kYesNo, "General", "No", SL_OK, "0"},
      {kYesNo, "General", "Vacio", SL_E_MALFORMED, ""}, {kYesNo, "General", "Raro", SL_E_MALFORMED, ""},
      {kYesNo, "General", "Falta", SL_OK, "1"},    {kYesNo, "Otra", "Si", SL_OK, "1"},
      {kRequired, "General", "Texto", SL_OK, "hola"}, {kRequired, "General", "Animaci\xF3n", SL_OK, "sube"},
      {kRequired, "General", "Vacio", SL_E_MALFORMED, ""}, {kRequired, "Otra", "Texto", SL_E_MALFORMED, ""},
      {kNonEmpty, "General", "Raro", SL_OK, "quiz\xE1"}, {kNonEmpty, "General", "Vacio", SL_OK, "-"},
      {kNonEmpty, "General", "Falta", SL_OK, "-"}, {kUInt, "General", "Numero", SL_OK, "42"},
      {kUInt, "General", "Falta", SL_OK, "7"},     {kUInt, "General", "Vacio", SL_E_MALFORMED, ""},
      {kUInt, "General", "Signo", SL_E_MALFORMED, ""}, {kUInt, "General", "Grande", SL_E_MALFORMED, ""},
      {kConverter, "General", "Grande", SL_E_OVERFLOW, ""}, {kConverter, "General", "Negativo", SL_E_UNDERFLOW, ""},
      {kConverter, "General", "Cola", SL_E_TEXT_LEFT, ""}, {kConverter, "General", "Vacio", SL_E_MALFORMED, ""},
  };
  std::vector<uint8_t> ansi(kText, kText + sizeof kText - 1), wide{0xFF, 0xFE};  // UTF-16LE: every character < U+0100
  for (u8 c : ansi) wide.push_back(c), wide.push_back(0);
  for (const auto& info : {ansi, wide}) {
    slpack::PackWriter writer(3, 0x1234);
    writer.AddFile(std::string("info.txt"), info);
    std::vector<uint8_t> bytes;
    std::string error;
    ASSERT_TRUE(writer.Build(&bytes, &error)) << error;
    CSLMemoryStorage memory;
    CSLFastFileStorage pack;
    ItemDescription description;
    ASSERT_TRUE(memory.AttachBuffer(bytes.data(), u32(bytes.size()), false) && pack.AttachContainer(&memory) &&
                description.Load(&pack));
    for (const Row& row : rows) {
      SCOPED_TRACE(std::string(row.key) + " as " + std::to_string(row.kind) + " of " + std::to_string(info.size()));
      char text[ItemDescription::kValueSize] = "";
      bool flag = false, ok = false;
      u32 number = 7;
      std::string got;
      if (row.kind == kRequired) ok = description.GetRequired(row.section, row.key, text, sizeof text), got = text;
      if (row.kind == kNonEmpty)
        ok = description.GetNonEmpty(row.section, row.key, text, sizeof text, &flag), got = flag ? text : "-";
      if (row.kind == kYesNo) ok = description.GetYesNo(row.section, row.key, true, &flag), got = flag ? "1" : "0";
      if (row.kind >= kUInt)
        ok = description.GetUInt(row.section, row.key, 7, &number, row.kind == kConverter), got = std::to_string(number);
      EXPECT_TRUE(SLAnsweredWith(ok, row.code == SL_OK, row.code));
      if (ok) {
        EXPECT_EQ(got, row.value);
      }
    }
    u32 states = 1;  // a numbered series ends at the first missing or empty entry
    for (char section[32], value[32]; ; ++states) {
      bool found;
      ItemDescription_NumberedName(section, sizeof section, "Estado_%ld", states);
      ASSERT_TRUE(description.GetNonEmpty(section, "Nombre", value, sizeof value, &found));
      if (!found) break;
    }
    EXPECT_EQ(states - 1, 2u);
  }
}

TEST(ItemDescription, ListTokensAndFractions) {
  const struct Row {
    const char* list;
    bool directions;
    std::vector<std::string> tokens;
  } rows[] = {
      {"Silla, \"Mesa grande\" , 'a,b',\tx y ", false, {"Silla", "Mesa grande", "a,b", "x y"}},
      {"a,,b", false, {"a"}}, {"a, ", false, {"a"}}, {"\"\",b", false, {}},
      {"Adelante; Atr\xE1s ;Izquierda;", true, {"Adelante", "Atr\xE1s", "Izquierda"}},
      {"abcdefghijklmnopqrstuvwxyz0123456789", false, {"abcdefghijklmnopqrstuvwxyz01234"}},  // cut to the buffer
  };
  for (const Row& row : rows) {
    std::vector<std::string> got;
    char token[32];
    for (u32 n = 1; row.directions ? ItemDescription_GetDirectionToken(row.list, n, token, sizeof token)
                                   : ItemDescription_GetToken(row.list, n, token, sizeof token);
         ++n)
      got.push_back(token);
    EXPECT_EQ(got, row.tokens) << row.list;
  }
  double value = -1;
  SL_EXPECT_OK(ItemDescription_ParseFraction(" 12.5 ", &value, true));
  EXPECT_EQ(value, 12.5);
  SL_EXPECT_FAIL(ItemDescription_ParseFraction("1,5", &value, true), SL_E_TEXT_LEFT);
  SL_EXPECT_FAIL(ItemDescription_ParseFraction("-", &value, true), SL_E_MALFORMED);
  i32 offset = 0;
  SL_EXPECT_FAIL(ItemDescription_ParseInt("-2147483649", &offset, false), SL_E_MALFORMED);
  EXPECT_TRUE(ItemDescription_ParseInt(" -12 ", &offset, false) && offset == -12);
}

}  // namespace
