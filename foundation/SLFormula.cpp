#include <algorithm>
#include <cmath>
#include <cstring>

#include "foundation/SLError.h"
#include "foundation/SLFormulaInternal.h"
#include "foundation/SLMemory.h"
#include "foundation/SLWideText.h"

SL_IMPLEMENT_CLASS(CSLFormulaOperator, CSLObject)
SL_IMPLEMENT_CLASS(CSLFormulaFunction, CSLObject)
SL_IMPLEMENT_CLASS_CREATABLE(CSLFormulaOperator_DifferentTo, CSLFormulaOperator)
SL_IMPLEMENT_CLASS_CREATABLE(CSLFormulaOperator_BinaryAnd, CSLFormulaOperator)
SL_IMPLEMENT_CLASS_CREATABLE(CSLFormulaOperator_BinaryOr, CSLFormulaOperator)
SL_IMPLEMENT_CLASS_CREATABLE(CSLFormulaFunction_Average, CSLFormulaFunction)
SL_IMPLEMENT_CLASS_CREATABLE(CSLFormulaSolver, CSLObject)

using namespace SLInternals;

// ---------------------------------------------------------------------------------------
// The solver's own operators and function

i32 CSLFormulaOperator_DifferentTo::Apply(SLFormulaCallContext* context) {
  const double* a = context->arguments;
  context->result = (a[0] != a[1]) ? 1.0 : 0.0;  // a NaN differs from everything
  return 0;
}

i32 CSLFormulaOperator_BinaryAnd::Apply(SLFormulaCallContext* context) {
  const double* a = context->arguments;
  context->result = (a[0] != 0.0 && a[1] != 0.0) ? 1.0 : 0.0;
  return 0;
}

i32 CSLFormulaOperator_BinaryOr::Apply(SLFormulaCallContext* context) {
  const double* a = context->arguments;
  context->result = (a[0] != 0.0 || a[1] != 0.0) ? 1.0 : 0.0;
  return 0;
}

i32 CSLFormulaFunction_Average::Evaluate(SLFormulaCallContext* context) {
  if (context->argumentCount == 0) {
    context->failingArgument = 0;
    return i32(SL_E_FORMULA_NO_OVERLOAD);
  }
  double sum = 0.0;
  for (u32 i = 0; i < context->argumentCount; ++i) sum += context->arguments[i];
  context->result = sum / context->argumentCount;
  return 0;
}

// ---------------------------------------------------------------------------------------
// Built-in functions

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kTiny = 1e-10;

i32 DomainFailure(i32* failingArgument) {
  *failingArgument = 1;
  return i32(SL_E_FORMULA_BAD_NUMBER);
}

// Reduces into [0, period): a negative x gives period - fmod(-x, period), and period becomes 0.
double ReduceAngle(double x, double period) {
  double r = x < 0 ? period - std::fmod(-x, period) : std::fmod(x, period);
  return r == period ? 0.0 : r;
}

#define SL_UNARY(name, expr)                                                  \
  i32 name(double* result, i32* failing, const double* args, u32) {        \
    (void)failing;                                                          \
    const double x = args[0];                                               \
    *result = (expr);                                                       \
    return 0;                                                               \
  }

SL_UNARY(BuiltinRad, ReduceAngle(x, 360.0) * kPi / 180)
SL_UNARY(BuiltinDeg, ReduceAngle(x, 2 * kPi) * 180 / kPi)
SL_UNARY(BuiltinAbs, std::fabs(x))
SL_UNARY(BuiltinSin, std::sin(x))
SL_UNARY(BuiltinCos, std::cos(x))
SL_UNARY(BuiltinTan, std::tan(x))
SL_UNARY(BuiltinSinh, std::sinh(x))
SL_UNARY(BuiltinCosh, std::cosh(x))
SL_UNARY(BuiltinTanh, std::tanh(x))
SL_UNARY(BuiltinAsin, std::asin(x))
SL_UNARY(BuiltinAcos, std::acos(x))
SL_UNARY(BuiltinAtan, std::atan(x))
SL_UNARY(BuiltinExp, std::exp(x))
SL_UNARY(BuiltinLn, std::log(x))
SL_UNARY(BuiltinSqr, x * x)
#undef SL_UNARY

i32 BuiltinInv(double* result, i32* failing, const double* args, u32) {
  if (args[0] > -kTiny && args[0] < kTiny) return DomainFailure(failing);
  *result = 1 / args[0];
  return 0;
}

i32 BuiltinCotan(double* result, i32* failing, const double* args, u32) {
  double t = std::tan(args[0]);
  if (t > -kTiny && t < kTiny) return DomainFailure(failing);
  *result = 1 / t;
  return 0;
}

i32 BuiltinAsinh(double* result, i32* failing, const double* args, u32) {
  double x = args[0], s = std::sqrt(x * x + 1) + x;
  if (s < kTiny) return DomainFailure(failing);
  *result = std::log(s);
  return 0;
}

i32 BuiltinAcosh(double* result, i32* failing, const double* args, u32) {
  double x = args[0];
  if (!(x > 1)) return DomainFailure(failing);
  double s = std::sqrt(x * x - 1) + x;
  if (s < kTiny) return DomainFailure(failing);
  *result = std::log(s);
  return 0;
}

// Defined on the open interval (-1, 1).
i32 BuiltinAtanh(double* result, i32* failing, const double* args, u32) {
  double x = args[0];
  if (!(x > -1 && x < 1)) return DomainFailure(failing);
  *result = 0.5 * std::log((1 + x) / (1 - x));
  return 0;
}

// The natural logarithm of the first argument; the second is accepted and not used.
i32 BuiltinLog(double* result, i32* failing, const double* args, u32) {
  if (args[0] < kTiny) return DomainFailure(failing);
  *result = std::log(args[0]);
  return 0;
}

i32 BuiltinLog10(double* result, i32* failing, const double* args, u32) {
  if (args[0] < kTiny) return DomainFailure(failing);
  *result = std::log10(args[0]);
  return 0;
}

i32 BuiltinLog2(double* result, i32* failing, const double* args, u32) {
  if (args[0] < kTiny) return DomainFailure(failing);
  *result = std::log10(args[0]) / std::log10(2.0);
  return 0;
}

i32 BuiltinSqrt(double* result, i32* failing, const double* args, u32) {
  double x = args[0];
  if (x < -kTiny) return DomainFailure(failing);
  *result = x <= kTiny ? 0.0 : std::sqrt(x);
  return 0;
}

}  // namespace

namespace SLInternals {
const SLFormulaBuiltinRow kSLFormulaBuiltins[24] = {
    {"RAD", 1, BuiltinRad},     {"DEG", 1, BuiltinDeg},     {"ABS", 1, BuiltinAbs},
    {"INV", 1, BuiltinInv},     {"SIN", 1, BuiltinSin},     {"COS", 1, BuiltinCos},
    {"TAN", 1, BuiltinTan},     {"SINH", 1, BuiltinSinh},   {"COSH", 1, BuiltinCosh},
    {"TANH", 1, BuiltinTanh},   {"ASIN", 1, BuiltinAsin},   {"ACOS", 1, BuiltinAcos},
    {"ATAN", 1, BuiltinAtan},   {"COTAN", 1, BuiltinCotan}, {"ASINH", 1, BuiltinAsinh},
    {"ACOSH", 1, BuiltinAcosh}, {"ATANH", 1, BuiltinAtanh}, {"EXP", 1, BuiltinExp},
    {"LN", 1, BuiltinLn},       {"LOG", 2, BuiltinLog},     {"LOG10", 1, BuiltinLog10},
    {"LOG2", 1, BuiltinLog2},   {"SQR", 1, BuiltinSqr},     {"SQRT", 1, BuiltinSqrt},
};
}  // namespace SLInternals

// ---------------------------------------------------------------------------------------
// Registry lists

namespace {

template <class Entry>
void InsertByLength(Entry** head, Entry* entry) {
  Entry** link = head;
  while (*link && (*link)->length >= entry->length) link = &(*link)->next;
  entry->next = *link;
  *link = entry;
}

// The operator and function lists differ only in what an entry holds; an entry is told
// apart from the others of its list by its text together with the precedence or the
// argument count.
struct OperatorList {
  using Entry = SLFormulaOperatorEntry;
  using Object = CSLFormulaOperator;
  static constexpr u32 kExists = SL_E_FORMULA_OPERATOR_EXISTS;
  static constexpr u32 kNotFound = SL_E_FORMULA_OPERATOR_NOT_FOUND;
  static Entry*& Head(SLFormulaSolverBlock* block) { return block->operators; }
  static constexpr u32 kBadKey = SL_E_FORMULA_BAD_PRECEDENCE;
  static constexpr u32 kBadText = SL_E_FORMULA_BAD_SYMBOL;
  static i32 Key(Object* op) { return op->GetPrecedence(); }
  static bool KeyValid(i32 precedence) { return precedence >= 1 && precedence <= 7; }
  static const char* Text(Object* op) { return op->GetSymbol(); }
  static bool Matches(const Entry* e, i32 precedence, const char* symbol, u32 length) {
    return e->precedence == precedence && e->length == length && std::memcmp(e->symbol, symbol, length) == 0;
  }
  static bool Fill(Entry* e, Object* op, i32 precedence, const char* symbol, u32 length) {
    e->symbol = SLDuplicateText(symbol, length);
    e->op = op;
    e->length = length;
    e->precedence = precedence;
    return e->symbol != nullptr;
  }
  static void FreeTexts(Entry* e) { SLFree(e->symbol); }
  static Object* Held(Entry* e) { return e->op; }
};

struct FunctionList {
  using Entry = SLFormulaFunctionEntry;
  using Object = CSLFormulaFunction;
  static constexpr u32 kExists = SL_E_FORMULA_FUNCTION_EXISTS;
  static constexpr u32 kNotFound = SL_E_FORMULA_UNKNOWN_FUNCTION;
  static Entry*& Head(SLFormulaSolverBlock* block) { return block->functions; }
  static constexpr u32 kBadKey = SL_E_FORMULA_BAD_ARG_COUNT;
  static constexpr u32 kBadText = SL_E_FORMULA_BAD_FUNCTION_NAME;
  static i32 Key(Object* function) { return function->GetArgCount(); }
  static bool KeyValid(i32 argCount) { return argCount >= -1; }  // -1: any number
  static const char* Text(Object* function) { return function->GetName(); }
  static bool Matches(const Entry* e, i32 argCount, const char* name, u32 length) {
    return e->argCount == argCount && e->length == length && std::memcmp(e->name, name, length) == 0;
  }
  static bool Fill(Entry* e, Object* function, i32 argCount, const char* name, u32 length) {
    const char* description = function->GetDescription();
    e->name = SLDuplicateText(name, length);
    e->description = description ? SLDuplicateText(description, SLTextLength(description)) : nullptr;
    e->function = function;
    e->argCount = argCount;
    e->length = length;
    return e->name && (!description || e->description);
  }
  static void FreeTexts(Entry* e) {
    SLFree(e->name);
    SLFree(e->description);
  }
  static Object* Held(Entry* e) { return e->function; }
};

template <class List>
void FreeEntry(typename List::Entry* entry) {
  List::Held(entry)->Release();
  List::FreeTexts(entry);
  SLFree(entry);
}

// Adds the object's entry, refused when one with the same text and key is there, or
// removes it, refused when none is. The object's checks come first, then the solver's
// block is made (GetBlock).
template <class List, class GetBlock>
bool ChangeEntry(typename List::Object* object, bool add, GetBlock getBlock) {
  using Entry = typename List::Entry;
  if (!object) return SLFail(SL_E_NULL_DATA, false);
  const i32 key = List::Key(object);
  if (!List::KeyValid(key)) return SLFail(List::kBadKey, false);
  const char* text = List::Text(object);
  const u32 length = SLTextLength(text);
  if (length == 0) return SLFail(List::kBadText, false);
  SLFormulaSolverBlock* block = getBlock();
  if (!block) return false;
  Entry** link = &List::Head(block);
  while (*link && !List::Matches(*link, key, text, length)) link = &(*link)->next;
  if (!add) {
    if (!*link) return SLFail(List::kNotFound, false);
    Entry* e = *link;
    *link = e->next;
    FreeEntry<List>(e);
    return SLSetLastError(SL_OK);
  }
  if (*link) return SLFail(List::kExists, false);
  auto* entry = static_cast<Entry*>(SLAllocZero(u32(sizeof(Entry))));
  if (!entry) return SLFail(SL_E_OUT_OF_MEMORY, false);
  if (!List::Fill(entry, object, key, text, length)) {
    List::FreeTexts(entry);
    SLFree(entry);
    return SLFail(SL_E_OUT_OF_MEMORY, false);
  }
  object->AddRef();
  InsertByLength(&List::Head(block), entry);
  return SLSetLastError(SL_OK);
}

void FreeBlock(SLFormulaSolverBlock* block) {
  while (SLFormulaOperatorEntry* e = block->operators) {
    block->operators = e->next;
    FreeEntry<OperatorList>(e);
  }
  while (SLFormulaFunctionEntry* e = block->functions) {
    block->functions = e->next;
    FreeEntry<FunctionList>(e);
  }
  while (SLFormulaVariableEntry* e = block->variables) {
    block->variables = e->next;
    SLFree(e->name);
    SLFree(e);
  }
  if (block->defaultAverage) block->defaultAverage->Release();
  for (CSLFormulaOperator* op : block->defaultOperators)
    if (op) op->Release();
  SLFree(block);
}

}  // namespace

namespace SLInternals {

SLFormulaVariableEntry* SLFormulaFindVariable(SLFormulaSolverBlock* block, const char* name, u32 length) {
  for (SLFormulaVariableEntry* e = block->variables; e && e->length >= length; e = e->next)
    if (e->length == length && std::memcmp(e->name, name, length) == 0) return e;
  return nullptr;
}

bool SLFormulaSetVariable(SLFormulaSolverBlock* block, const char* name, u32 length, double value,
                          bool overwrite) {
  if (!name || length == 0) return SLFail(SL_E_FORMULA_BAD_VARIABLE_NAME, false);
  if (SLFormulaVariableEntry* existing = SLFormulaFindVariable(block, name, length)) {
    if (!overwrite) return SLFail(SL_E_FORMULA_VARIABLE_EXISTS, false);
    existing->value = value;
    return SLSetLastError(SL_OK);
  }
  auto* entry = static_cast<SLFormulaVariableEntry*>(SLAllocZero(u32(sizeof(SLFormulaVariableEntry))));
  if (!entry) return SLFail(SL_E_OUT_OF_MEMORY, false);
  entry->name = SLDuplicateText(name, length);
  if (!entry->name) {
    SLFree(entry);
    return SLFail(SL_E_OUT_OF_MEMORY, false);
  }
  entry->length = length;
  entry->value = value;
  InsertByLength(&block->variables, entry);
  return SLSetLastError(SL_OK);
}

}  // namespace SLInternals

CSLFormulaSolver::~CSLFormulaSolver() {
  if (!m_block) return;
  SLErrorKeeper keep;
  FreeBlock(m_block);
  m_block = nullptr;
}

SLFormulaSolverBlock* CSLFormulaSolver::GetBlock() {
  if (m_block) return m_block;
  auto* block = static_cast<SLFormulaSolverBlock*>(SLAllocZero(u32(sizeof(SLFormulaSolverBlock))));
  if (!block) return SLFail(SL_E_OUT_OF_MEMORY, nullptr);
  block->decimalSeparator = '.';
  block->listSeparator = ',';
  block->defaultAverage = new CSLFormulaFunction_Average();
  block->defaultOperators[0] = new CSLFormulaOperator_DifferentTo();
  block->defaultOperators[1] = new CSLFormulaOperator_BinaryAnd();
  block->defaultOperators[2] = new CSLFormulaOperator_BinaryOr();
  m_block = block;
  bool ok = block->defaultAverage && block->defaultOperators[0] && block->defaultOperators[1] &&
            block->defaultOperators[2] && AddFunction(block->defaultAverage);
  for (int i = 0; ok && i < 3; ++i) ok = AddOperator(block->defaultOperators[i]);
  if (!ok) {
    m_block = nullptr;
    FreeBlock(block);
    return SLFail(SL_E_OUT_OF_MEMORY, nullptr);
  }
  return block;
}

bool CSLFormulaSolver::SetVariable(const char* name, double value, bool overwrite) {
  u32 length = SLTextLength(name);
  if (length == 0) return SLFail(SL_E_FORMULA_BAD_VARIABLE_NAME, false);
  SLFormulaSolverBlock* block = GetBlock();
  if (!block) return false;
  return SLFormulaSetVariable(block, name, length, value, overwrite);
}

bool CSLFormulaSolver::RemoveVariable(const char* name) {
  u32 length = SLTextLength(name);
  if (length == 0) return SLFail(SL_E_FORMULA_BAD_VARIABLE_NAME, false);
  SLFormulaSolverBlock* block = GetBlock();
  if (!block) return false;
  for (SLFormulaVariableEntry** link = &block->variables; *link; link = &(*link)->next) {
    SLFormulaVariableEntry* e = *link;
    if (e->length == length && std::memcmp(e->name, name, length) == 0) {
      *link = e->next;
      SLFree(e->name);
      SLFree(e);
      return SLSetLastError(SL_OK);
    }
  }
  return SLFail(SL_E_FORMULA_VARIABLE_NOT_FOUND, false);
}

bool CSLFormulaSolver::AddOperator(CSLFormulaOperator* op) {
  return ChangeEntry<OperatorList>(op, true, [this] { return GetBlock(); });
}

bool CSLFormulaSolver::RemoveOperator(CSLFormulaOperator* op) {
  return ChangeEntry<OperatorList>(op, false, [this] { return GetBlock(); });
}

bool CSLFormulaSolver::AddFunction(CSLFormulaFunction* function) {
  return ChangeEntry<FunctionList>(function, true, [this] { return GetBlock(); });
}

bool CSLFormulaSolver::RemoveFunction(CSLFormulaFunction* function) {
  return ChangeEntry<FunctionList>(function, false, [this] { return GetBlock(); });
}

// ---------------------------------------------------------------------------------------
// Continued fractions

bool SLDoubleToRational(SLRational* out, double value) {
  constexpr i64 kLimit = 0x7FFFFFFFFFFFFFF0;
  if (!out) return SLFail(SL_E_NULL_OUTPUT, false);
  out->numerator = 0;
  out->denominator = 0;
  const double x = std::fabs(value);
  // Truncating a non-finite value or one of 2^63 and more into 64 bits is undefined.
  if (!(x < 9223372036854775808.0)) return SLFail(SL_E_FORMULA_VALUE_RANGE, false);
  const i64 sign = value < 0 ? -1 : 1;

  i64 h1 = 1, h2 = 0, k1 = 0, k2 = 1;
  i64 a = i64(x);
  double current = x;
  i64 h, k;
  for (;;) {
    h = a * h1 + h2;
    k = a * k1 + k2;
    double r = current - double(a);
    if (r >= -1e-10 && r < 1e-10) {
      out->numerator = sign * h;
      out->denominator = k;
      return SLSetLastError(SL_OK);
    }
    double inverse = 1 / r;
    if (inverse > 2147483647.0) return SLFail(SL_E_FORMULA_VALUE_RANGE, false);
    i64 next = i64(inverse);
    // Stop before either convergent term would pass the limit (the numerator grows faster
    // than the denominator once the value is above 1).
    if (__int128(next) * k + k1 > kLimit || __int128(next) * h + h1 > kLimit) break;
    h2 = h1;
    h1 = h;
    k2 = k1;
    k1 = k;
    current = inverse;
    a = next;
  }
  // The last step that fits: the semiconvergent with the largest multiplier that keeps both
  // terms within the limit, when it lies closer than h / k.
  i64 resultH = h, resultK = k;
  i64 q = (kLimit - k1) / k;
  if (h > 0) q = std::min(q, (kLimit - h1) / h);
  i64 h3 = q * h + h1, k3 = q * k + k1;
  if (k3 != 0 && x - double(h) / double(k) > x - double(h3) / double(k3)) {
    resultH = h3;
    resultK = k3;
  }
  out->numerator = sign * resultH;
  out->denominator = resultK;
  return SLSetLastError(SL_OK);
}
