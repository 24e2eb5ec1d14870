#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "foundation/SLError.h"
#include "foundation/SLFormula.h"
#include "tests/support/TestSupport.h"

namespace {

struct Row {
  const char* formula;
  double value;    // when code is 0
  u32 code;        // 0: success
  i32 position;    // error position when code != 0
};

void CheckRows(CSLFormulaSolver& solver, const Row* rows, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    const Row& r = rows[i];
    double value = -12345;
    i32 position = -99;
    bool ok = solver.Evaluate(r.formula, &value, &position);
    u32 code = SLGetLastError();
    if (r.code == 0) {
      EXPECT_TRUE(ok) << r.formula << " code " << std::hex << code << " at " << position;
      EXPECT_NEAR(value, r.value, 1e-9 * std::max(1.0, std::fabs(r.value))) << r.formula;
      EXPECT_EQ(position, -1) << r.formula;
      EXPECT_EQ(code, 0u) << r.formula;
    } else {
      EXPECT_FALSE(ok) << r.formula << " gave " << value;
      EXPECT_EQ(code, r.code) << r.formula;
      EXPECT_EQ(position, r.position) << r.formula;
    }
  }
}

}  // namespace

TEST(Formula, LayoutAndArithmetic) {
  CSLFormulaSolver solver;
  ASSERT_TRUE(solver.SetVariable("WIDTH", 400, false));
  const Row rows[] = {
      {"WIDTH-85-9", 306, 0, 0}, {"WIDTH/2-10", 190, 0, 0}, {"WIDTH-32", 368, 0, 0}, {"2+3*4", 14, 0, 0},
      {"(2+3)*4", 20, 0, 0},
      {"2^3^2", 64, 0, 0},  // left-associative: (2^3)^2
      {"2^-1", 0.5, 0, 0},
      {"-2^2", -4, 0, 0},    // unary minus binds tighter, and the base keeps its sign
      {"(-2)^2", -4, 0, 0}, {"(-8)^(1/3)", -2, 0, 0}, {"0^0", 1, 0, 0}, {"0^5", 0, 0, 0},
      {"7%3", 1, 0, 0}, {"1/0.001", 1000, 0, 0}, {"3 != 4", 1, 0, 0}, {"3 != 3", 0, 0, 0},
      {"3 == 3", 1, 0, 0}, {"3 >= 4", 0, 0, 0}, {"3 <= 4", 1, 0, 0}, {"4 > 3", 1, 0, 0},
      {"1 < 2 < 3", 1, 0, 0},  // a second comparison ends the evaluation
      {"2 > 1 == 0", 1, 0, 0},
      {"1+2)*10", 3, 0, 0},    // a stray ")" ends it too
      {"(1+2", 3, 0, 0},       // the end stands in for a missing ")"
      {"1 && 0", 1, 0, 0},     // these operators are matched but no level applies them
      {"WIDTH ", 400, 0, 0}, {"  .5 + 1.25", 1.75, 0, 0}, {"123456789012345", 123456789012345.0, 0, 0},
      {"0.123456789012345", 0.123456789012345, 0, 0}, {"'A'", 65, 0, 0}, {"'A'+1", 66, 0, 0},
      {"PI", 3.141592653589793, 0, 0}, {"E", std::exp(1.0), 0, 0}, {"NOSUCHNAME+1", 1, 0, 0},
      {"width", 0, 0, 0},  // names are case-sensitive; unknown ones are 0
      {"2(3)", 2, 0, 0},
  };
  CheckRows(solver, rows, std::size(rows));
}

TEST(Formula, MissingOperandsAreZero) {
  CSLFormulaSolver solver;
  const Row rows[] = {
      {"5+", 5, 0, 0},     {"*5", 0, 0, 0},  {"--5", -5, 0, 0}, {"-", 0, 0, 0},
      {"()", 0, 0, 0},     {"5*()", 0, 0, 0}, {"+-3", -3, 0, 0}, {"3-", 3, 0, 0},
  };
  CheckRows(solver, rows, std::size(rows));
}

TEST(Formula, NumbersFaultAtTheirCharacter) {
  CSLFormulaSolver solver;
  const Row rows[] = {
      {"0x1F", 31, 0, 0}, {"0XfF", 255, 0, 0},
      {"0x1F+1", 0, SL_E_FORMULA_BAD_NUMBER, 4},             // a hex number runs to the end of the text
      {"0x123456789ABCDEF", 81985529216486895.0, 0, 0},
      {"0x123456789ABCDEF0", 0, SL_E_FORMULA_BAD_NUMBER, 17},  // 16th digit
      {"1234567890123456", 0, SL_E_FORMULA_BAD_NUMBER, 15}, {"1.1234567890123456", 0, SL_E_FORMULA_BAD_NUMBER, 17},
      {"1.5.2", 0, SL_E_FORMULA_BAD_NUMBER, 0},              // second separator: at the number's start
      {"2+1.5.2", 0, SL_E_FORMULA_BAD_NUMBER, 2},
      {"AVG(0x10,1)", 8.5, 0, 0},               // inside an argument the text ends at the ","
  };
  CheckRows(solver, rows, std::size(rows));
}

// Each fraction digit is weighted by its own power of ten, so short decimals come out as the
// doubles written in source ("0.01" is 0.01, not 0.1 * 0.1), and products of them round the
// same way layout code expects.
TEST(Formula, FractionDigitsWeighTheirOwnPowerOfTen) {
  CSLFormulaSolver solver;
  struct Exact {
    const char* formula;
    double value;
  };
  const Exact rows[] = {
      {"0.01", 0.01}, {"0.05", 0.05}, {"0.001", 0.001},
      {"2.07", 2 + (0 * 0.1 + 7 * 0.01)}, {"0.29*100", (2 * 0.1 + 9 * 0.01) * 100}, {"0.000000000000001", 1e-15},
      {"1.234", 1 + (2 * 0.1 + 3 * 0.01 + 4 * 0.001)},
  };
  for (const Exact& r : rows) {
    double value = -1;
    ASSERT_TRUE(solver.Evaluate(r.formula, &value, nullptr)) << r.formula;
    EXPECT_EQ(value, r.value) << r.formula;
  }
  double value = 0;
  ASSERT_TRUE(solver.Evaluate("0.01*100 == 1", &value, nullptr));
  EXPECT_EQ(value, 1.0);
}

TEST(Formula, SyntaxFaultsAndPositions) {
  CSLFormulaSolver solver;
  const Row rows[] = {
      {"1 2", 0, SL_E_FORMULA_UNEXPECTED_TOKEN, 2}, {"1 X", 0, SL_E_FORMULA_UNEXPECTED_TOKEN, 2},
      {"(1 2)", 0, SL_E_FORMULA_UNEXPECTED_TOKEN, 3}, {"1 'a'", 0, SL_E_FORMULA_UNEXPECTED_TOKEN, 2},
      {"1/0", 0, SL_E_FORMULA_DIVISION_BY_ZERO, 2},                  // just after the "/"
      {"1/0.00000000001", 0, SL_E_FORMULA_DIVISION_BY_ZERO, 2}, {"5%0", 0, SL_E_FORMULA_DIVISION_BY_ZERO, 2},
      {"1 + $", 0, SL_E_FORMULA_BAD_CHARACTER, 4}, {"1 +\x01", 0, SL_E_BAD_CHARACTER, 3},
      {"'ab'", 0, SL_E_BAD_CHARACTER, 0}, {"'a", 0, SL_E_BAD_CHARACTER, 0},
      {"(1<2<3)", 0, SL_E_FORMULA_PAREN_EXPECTED, 4}, {"AVG(1,2", 0, SL_E_FORMULA_PAREN_EXPECTED, 7},
      {"5+=3", 0, SL_E_FORMULA_UNEXPECTED_TOKEN, 2},
  };
  CheckRows(solver, rows, std::size(rows));
  SL_EXPECT_FAIL(solver.Evaluate(nullptr, nullptr, nullptr), SL_E_NULL_DATA);
  i32 position = -5;
  SL_EXPECT_FAIL(solver.Evaluate("", nullptr, &position), SL_E_BAD_SIZE);
  EXPECT_EQ(position, 0);
}

TEST(Formula, FunctionsAndTheirFaults) {
  CSLFormulaSolver solver;
  const double pi = 3.141592653589793;
  const Row rows[] = {
      {"AVG(1,2,3,6)", 3, 0, 0}, {"AVG( 4 )", 4, 0, 0},
      {"AVG(1,,5)", 2, 0, 0},  // an empty argument is 0
      {"AVG()", 0, SL_E_FORMULA_NO_OVERLOAD, 0}, {"AVG( )", 0, SL_E_FORMULA_NO_OVERLOAD, 0},
      {"1+AVG()", 0, SL_E_FORMULA_NO_OVERLOAD, 2}, {"SIN(1,2)", 0, SL_E_FORMULA_NO_OVERLOAD, 0},
      {"sin(0)", 0, SL_E_FORMULA_UNKNOWN_FUNCTION, 0}, {"SQRT(-1)", 0, SL_E_FORMULA_BAD_NUMBER, 5},
      {"2*SQRT( -1)", 0, SL_E_FORMULA_BAD_NUMBER, 7}, {"SQRT(-0.00000000001)", 0, 0, 0}, {"SQRT(16)", 4, 0, 0},
      {"SQR(3)+ABS(-2)", 11, 0, 0}, {"INV(4)", 0.25, 0, 0}, {"INV(0)", 0, SL_E_FORMULA_BAD_NUMBER, 4},
      {"RAD(-90)", 270 * pi / 180, 0, 0}, {"RAD(360)", 0, 0, 0}, {"DEG(PI)", 180, 0, 0},
      {"SIN(PI/2)+COS(0)", 2, 0, 0}, {"ACOSH(1)", 0, SL_E_FORMULA_BAD_NUMBER, 6},
      {"ATANH(1)", 0, SL_E_FORMULA_BAD_NUMBER, 6}, {"ATANH(0.5)", std::atanh(0.5), 0, 0}, {"LOG(E,10)", 1, 0, 0},
      {"LOG(0,10)", 0, SL_E_FORMULA_BAD_NUMBER, 4}, {"LOG10(1000)", 3, 0, 0}, {"LOG2(8)", 3, 0, 0},
      {"EXP(0)+LN(1)", 1, 0, 0}, {"COTAN(0)", 0, SL_E_FORMULA_BAD_NUMBER, 6}, {"ASINH(0)", 0, 0, 0},
      {"ABS(AVG(-2,(3-9)))", 4, 0, 0},
      {"AVG(1,(2,3))", 0, SL_E_FORMULA_BAD_CHARACTER, 8},  // inside parentheses a "," is no token
  };
  CheckRows(solver, rows, std::size(rows));
}

TEST(Formula, Assignments) {
  CSLFormulaSolver solver;
  const Row rows[] = {
      {"X = 3", 3, 0, 0}, {"X*2", 6, 0, 0}, {"(Y = 2) * Y", 4, 0, 0},
      {"X = X + 1", 4, 0, 0}, {"X == 4", 1, 0, 0}, {"PI = 3", 0, SL_E_FORMULA_CONSTANT_ASSIGNED, 0},
      {"E = 1", 0, SL_E_FORMULA_CONSTANT_ASSIGNED, 0}, {"Z =", 0, SL_E_FORMULA_EMPTY_ASSIGNMENT, 3},
      {"AVG(Q = 5, Q)", 5, 0, 0},
  };
  CheckRows(solver, rows, std::size(rows));
  // Assignments persist for the next formula; X = 3 was overwritten to 4.
  double value = 0;
  ASSERT_TRUE(solver.Evaluate("X+Y+Q", &value, nullptr));
  EXPECT_EQ(value, 11);
}

namespace {

class Halve : public CSLFormulaOperator {
 public:
  i32 GetPrecedence() override { return 4; }
  const char* GetSymbol() override { return "~"; }
  i32 Apply(SLFormulaCallContext* c) override {
    c->result = c->arguments[0] / 2;
    return 0;
  }
};

class Refuse : public CSLFormulaOperator {
 public:
  explicit Refuse(i32 failing) : m_failing(failing) {}
  i32 GetPrecedence() override { return 1; }
  const char* GetSymbol() override { return "@"; }
  i32 Apply(SLFormulaCallContext* c) override {
    c->failingArgument = m_failing;
    return i32(0x80001001);
  }
  i32 m_failing;
};

class Twice : public CSLFormulaFunction {
 public:
  const char* GetName() override { return "SIN"; }  // same name as a built-in, two arguments
  i32 GetArgCount() override { return 2; }
  i32 Evaluate(SLFormulaCallContext* c) override {
    c->result = 2 * (c->arguments[0] + c->arguments[1]);
    return 0;
  }
};

}  // namespace

TEST(Formula, RegisteredOperatorsAndFunctions) {
  CSLFormulaSolver solver;
  Halve halve;
  Refuse refuseLeft(1), refuseRight(2);
  Twice twice;
  ASSERT_TRUE(solver.AddOperator(&halve));
  EXPECT_EQ(halve.GetRefCount(), 2);
  SL_EXPECT_FAIL(solver.AddOperator(&halve), SL_E_FORMULA_OPERATOR_EXISTS);
  SL_EXPECT_FAIL(solver.AddOperator(nullptr), SL_E_NULL_DATA);
  ASSERT_TRUE(solver.AddFunction(&twice));
  SL_EXPECT_FAIL(solver.AddFunction(&twice), SL_E_FORMULA_FUNCTION_EXISTS);

  double value = 0;
  i32 position = 0;
  ASSERT_TRUE(solver.Evaluate("~8+1", &value, nullptr));
  EXPECT_EQ(value, 5);
  ASSERT_TRUE(solver.Evaluate("SIN(1,2)+SIN(0)", &value, nullptr));
  EXPECT_EQ(value, 6);

  ASSERT_TRUE(solver.AddOperator(&refuseLeft));
  SL_EXPECT_FAIL(solver.Evaluate("1 + 2 @ 3", &value, &position), SL_E_INVALID_ARG);
  EXPECT_EQ(position, 0);  // start of the left operand
  ASSERT_TRUE(solver.RemoveOperator(&refuseLeft));
  SL_EXPECT_FAIL(solver.RemoveOperator(&refuseLeft), SL_E_FORMULA_OPERATOR_NOT_FOUND);
  ASSERT_TRUE(solver.AddOperator(&refuseRight));
  EXPECT_FALSE(solver.Evaluate("1 @  (3)", &value, &position));
  EXPECT_EQ(position, 5);  // start of the right operand
  ASSERT_TRUE(solver.RemoveOperator(&refuseRight));
  ASSERT_TRUE(solver.RemoveOperator(&halve));
  EXPECT_EQ(halve.GetRefCount(), 1);
  ASSERT_TRUE(solver.RemoveFunction(&twice));
  SL_EXPECT_FAIL(solver.RemoveFunction(&twice), SL_E_FORMULA_UNKNOWN_FUNCTION);
  SL_EXPECT_FAIL(solver.Evaluate("SIN(1,2)", &value, nullptr), SL_E_FORMULA_NO_OVERLOAD);
}

TEST(Formula, NestingIsLimited) {
  CSLFormulaSolver solver;
  double value = 0;
  i32 position = 0;
  std::string fine = std::string(255, '(') + "7" + std::string(255, ')');
  ASSERT_TRUE(solver.Evaluate(fine.c_str(), &value, &position));
  EXPECT_EQ(value, 7);
  // The top level counts as one: the 256th "(" opens the 257th statement.
  std::string deep = std::string(100000, '(') + "1";
  SL_EXPECT_FAIL(solver.Evaluate(deep.c_str(), &value, &position), SL_E_FORMULA_BAD_CHARACTER);
  EXPECT_EQ(position, 256);
  std::string calls;
  for (int i = 0; i < 100000; ++i) calls += "ABS(";
  SL_EXPECT_FAIL(solver.Evaluate(calls.c_str(), &value, &position), SL_E_FORMULA_PAREN_EXPECTED);  // never closed
  for (int i = 0; i < 100000; ++i) calls += ")";
  SL_EXPECT_FAIL(solver.Evaluate(calls.c_str(), &value, &position), SL_E_FORMULA_BAD_CHARACTER);
  // Unary sign chains take no depth at all.
  std::string signs = std::string(100000, '-') + "5";
  EXPECT_TRUE(solver.Evaluate(signs.c_str(), &value, &position));
}

TEST(DoubleToRational, ConvergentsAndFaults) {
  struct Case {
    double value;
    i64 numerator, denominator;
  };
  const Case cases[] = {
      {0.5, 1, 2},   {0.75, 3, 4},     {2.0, 2, 1},        {0.0, 0, 1},
      {-0.75, -3, 4}, {1.0 / 3, 1, 3}, {-2.5, -5, 2},      {72.0, 72, 1},
      {0.15625, 5, 32},                {1e18, 1000000000000000000, 1},
  };
  for (const auto& c : cases) {
    SLRational r{7, 7};
    ASSERT_TRUE(SLDoubleToRational(&r, c.value)) << c.value;
    EXPECT_EQ(r.numerator, c.numerator) << c.value;
    EXPECT_EQ(r.denominator, c.denominator) << c.value;
    EXPECT_EQ(SLGetLastError(), 0u);
  }
  // Irrational values stop near the 64-bit limit and stay close.
  SLRational pi{};
  ASSERT_TRUE(SLDoubleToRational(&pi, 3.141592653589793));
  EXPECT_GT(pi.denominator, 0);
  EXPECT_NEAR(double(pi.numerator) / double(pi.denominator), 3.141592653589793, 1e-15);
  // A sign never changes the magnitude.
  SLRational plus{}, minus{};
  ASSERT_TRUE(SLDoubleToRational(&plus, 123.456));
  ASSERT_TRUE(SLDoubleToRational(&minus, -123.456));
  EXPECT_EQ(minus.numerator, -plus.numerator);
  EXPECT_EQ(minus.denominator, plus.denominator);

  const double bad[] = {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                        -std::numeric_limits<double>::infinity(), 9.3e18, -1e300};
  for (double v : bad) {
    SLRational r{7, 7};
    SL_EXPECT_FAIL(SLDoubleToRational(&r, v), SL_E_FORMULA_VALUE_RANGE) << v;
    EXPECT_EQ(r.numerator, 0);
    EXPECT_EQ(r.denominator, 0);
  }
  SLRational r{};
  EXPECT_FALSE(SLDoubleToRational(&r, 3.0000000002));  // remainder too small to invert in 31 bits
  EXPECT_EQ(SLGetLastError(), SL_E_FORMULA_VALUE_RANGE);
}

TEST(Formula, VariableRegistry) {
  CSLFormulaSolver solver;
  SL_EXPECT_FAIL(solver.SetVariable("", 1, true), SL_E_FORMULA_BAD_VARIABLE_NAME);
  SL_EXPECT_FAIL(solver.SetVariable(nullptr, 1, true), SL_E_FORMULA_BAD_VARIABLE_NAME);
  EXPECT_TRUE(solver.SetVariable("A", 1, false));
  SL_EXPECT_FAIL(solver.SetVariable("A", 2, false), SL_E_FORMULA_VARIABLE_EXISTS);
  EXPECT_TRUE(solver.SetVariable("A", 2, true));
  // Lookups are exact: a shorter or longer name is another variable.
  EXPECT_TRUE(solver.SetVariable("AB", 10, false));
  EXPECT_TRUE(solver.SetVariable("ABC", 100, false));
  double value = 0;
  ASSERT_TRUE(solver.Evaluate("A+AB+ABC", &value, nullptr));
  EXPECT_EQ(value, 112);
  EXPECT_TRUE(solver.RemoveVariable("AB"));
  SL_EXPECT_FAIL(solver.RemoveVariable("AB"), SL_E_FORMULA_VARIABLE_NOT_FOUND);
  ASSERT_TRUE(solver.Evaluate("A+AB+ABC", &value, nullptr));
  EXPECT_EQ(value, 102);
}
