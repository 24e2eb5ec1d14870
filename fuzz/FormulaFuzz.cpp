// Formula evaluation on arbitrary text: no crash, and a failure always names a position
// inside the text (or -1).
#include <cstdint>
#include <cstdlib>
#include <string>

#include "foundation/SLFormula.h"
#include "storage/StorageClasses.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool registered = (SLRegisterStorageClasses(), true);
  (void)registered;
  std::string text(reinterpret_cast<const char*>(data), size);
  CSLFormulaSolver solver;
  solver.SetVariable("WIDTH", 400, true);
  solver.SetVariable("X", -2.5, true);
  double value = 0;
  i32 position = 0;
  if (!solver.Evaluate(text.c_str(), &value, &position)) {
    if (position < -1 || position > i32(text.size())) std::abort();
  } else if (position != -1) {
    std::abort();
  }
  return 0;
}
