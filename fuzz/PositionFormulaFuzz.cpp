// The input's first line as a support point's "Posición" (formulas over the object's
// variables) and the rest as its "Clase_Personajes1" (a class and a direction clause), in
// an otherwise sound object description: the load ends with one record or a code.
#include <cstdint>
#include <string>

#include "fuzz/CatalogFuzz.h"

namespace {

const SLFuzzPackFiles& Frames() {
  static const SLFuzzPackFiles files = {
      {"caja_01.mximg", SLFuzzFramePicture(41, 30, 90)}};
  return files;
}

bool IsLineText(const std::string& text) {
  for (char c : text)
    if (c == '\r' || c == '\n' || c == '\0') return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 2048) return 0;
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t cut = input.find('\n');
  const std::string position = input.substr(0, cut);
  const std::string classes = cut == std::string::npos ? std::string("Ni\xF1o") : input.substr(cut + 1);
  if (!IsLineText(position) || !IsLineText(classes)) return 0;
  SLFuzzCatalogDevice();
  const std::string info = "[General]\r\nClase=Caja\r\nNombre=Caja\r\nEstado_Inicial=quieta\r\n"
                           "[Estado_1]\r\nNombre=Quieta\r\nAnimaci\xF3n=caja\r\nAnimaci\xF3n_Duraci\xF3n=100\r\n"
                           "[Punto_Apoyo_1]\r\nPosici\xF3n=" + position +
                           "\r\nAcepta_Objetos=NO\r\nAcepta_Personajes=SI\r\nClase_Personajes1=" + classes + "\r\n";
  SLFuzzWritePack(Frames(), std::vector<uint8_t>(info.begin(), info.end()));
  SLFuzzLoadObjectAndCheck();
  return 0;
}
