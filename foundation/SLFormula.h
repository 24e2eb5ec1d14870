// One-line arithmetic formulas over named variables (item positions, skin layout values),
// extensible with operator and function objects; and the continued-fraction conversion of
// doubles to rationals used by the image writers.
#pragma once

#include "foundation/SLObject.h"
#include "foundation/SLTypes.h"

enum : u32 {
  SL_E_FORMULA_BAD_VARIABLE_NAME = 0x80030001,
  SL_E_FORMULA_VARIABLE_EXISTS = 0x80030002,
  SL_E_FORMULA_VARIABLE_NOT_FOUND = 0x80030003,
  SL_E_FORMULA_BAD_PRECEDENCE = 0x80030004,
  SL_E_FORMULA_BAD_SYMBOL = 0x80030005,
  SL_E_FORMULA_OPERATOR_EXISTS = 0x80030006,
  SL_E_FORMULA_OPERATOR_NOT_FOUND = 0x80030007,
  SL_E_FORMULA_BAD_ARG_COUNT = 0x80030008,
  SL_E_FORMULA_BAD_FUNCTION_NAME = 0x80030009,
  SL_E_FORMULA_FUNCTION_EXISTS = 0x8003000a,
  SL_E_FORMULA_UNKNOWN_FUNCTION = 0x8003000b,   // also: RemoveFunction found none
  SL_E_FORMULA_CONSTANT_ASSIGNED = 0x80040001,
  SL_E_FORMULA_EMPTY_ASSIGNMENT = 0x80040002,
  SL_E_FORMULA_VALUE_RANGE = 0x80040003,        // also SLDoubleToRational
  SL_E_FORMULA_BAD_CHARACTER = 0x80060002,      // starts no token; also nesting too deep
  SL_E_FORMULA_PAREN_EXPECTED = 0x8006000c,
  SL_E_FORMULA_UNEXPECTED_TOKEN = 0x8006000f,
  SL_E_FORMULA_DIVISION_BY_ZERO = 0x80002008,
  SL_E_FORMULA_BAD_NUMBER = 0x80002009,         // also built-in function domain failures
  SL_E_FORMULA_TOO_MANY_ARGS = 0x8000200d,
  SL_E_FORMULA_NO_OVERLOAD = 0x8000100c,
};

// What an operator or function is called with.
struct SLFormulaCallContext {
  double result;          // written by the callee
  u32 argumentCount;      // 1 for a unary operator, 2 for a binary one
  const double* arguments;
  i32 failingArgument;    // on failure: 0 the call itself, k (from 1) the k-th argument
};

class CSLFormulaOperator : public CSLObject {
  SL_DECLARE_CLASS(CSLFormulaOperator)

 public:
  // 1 additive, 2 multiplicative, 3 power, 4 unary prefix, 6 comparison (1 to 7 accepted).
  virtual i32 GetPrecedence() = 0;
  virtual const char* GetSymbol() = 0;
  // 0 or positive: success; negative: the failure code.
  virtual i32 Apply(SLFormulaCallContext* context) = 0;
};

class CSLFormulaFunction : public CSLObject {
  SL_DECLARE_CLASS(CSLFormulaFunction)

 public:
  virtual const char* GetName() = 0;
  virtual i32 GetArgCount() = 0;  // -1: any number
  virtual const char* GetDescription() { return nullptr; }
  virtual i32 Evaluate(SLFormulaCallContext* context) = 0;
};

class CSLFormulaOperator_DifferentTo : public CSLFormulaOperator {
  SL_DECLARE_CLASS(CSLFormulaOperator_DifferentTo)

 public:
  i32 GetPrecedence() override { return 6; }
  const char* GetSymbol() override { return "!="; }
  i32 Apply(SLFormulaCallContext* context) override;
};

class CSLFormulaOperator_BinaryAnd : public CSLFormulaOperator {
  SL_DECLARE_CLASS(CSLFormulaOperator_BinaryAnd)

 public:
  i32 GetPrecedence() override { return 7; }
  const char* GetSymbol() override { return "&&"; }
  i32 Apply(SLFormulaCallContext* context) override;
};

class CSLFormulaOperator_BinaryOr : public CSLFormulaOperator {
  SL_DECLARE_CLASS(CSLFormulaOperator_BinaryOr)

 public:
  i32 GetPrecedence() override { return 7; }
  const char* GetSymbol() override { return "||"; }
  i32 Apply(SLFormulaCallContext* context) override;
};

class CSLFormulaFunction_Average : public CSLFormulaFunction {
  SL_DECLARE_CLASS(CSLFormulaFunction_Average)

 public:
  const char* GetName() override { return "AVG"; }
  i32 GetArgCount() override { return -1; }
  i32 Evaluate(SLFormulaCallContext* context) override;
};

namespace SLInternals {
struct SLFormulaSolverBlock;
}

class CSLFormulaSolver : public CSLObject {
  SL_DECLARE_CLASS(CSLFormulaSolver)

 public:
  // Nesting of parentheses and argument lists a formula may use.
  static constexpr u32 kMaxNesting = 256;
  // Arguments one call may take.
  static constexpr u32 kMaxArguments = 4096;

  CSLFormulaSolver() = default;
  ~CSLFormulaSolver() override;

  // On failure *errorPosition is the byte offset of the fault (or -1) and *value is not to be used.
  bool Evaluate(const char* formula, double* value, i32* errorPosition);
  bool SetVariable(const char* name, double value, bool overwrite);
  bool RemoveVariable(const char* name);
  bool AddOperator(CSLFormulaOperator* op);
  bool RemoveOperator(CSLFormulaOperator* op);
  bool AddFunction(CSLFormulaFunction* function);
  bool RemoveFunction(CSLFormulaFunction* function);

  SLInternals::SLFormulaSolverBlock* GetBlock();  // made on first use; null: out of memory

 private:
  SLInternals::SLFormulaSolverBlock* m_block = nullptr;
};

struct SLRational {
  i64 numerator;
  i64 denominator;
};

// Continued-fraction expansion of |value| with 64-bit convergents; the sign goes on the
// numerator. Non-finite values and magnitudes of 2^63 or more fail with 0x80040003.
bool SLDoubleToRational(SLRational* out, double value);
