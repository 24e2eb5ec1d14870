// The formula grammar, from the outside in: statement (assignment), comparison, additive,
// multiplicative, power, unary, primary. Its leniencies are part of the contract, because
// stored item descriptions and skins must keep giving the same numbers: a missing operand is
// 0, "^" is left-associative and keeps the base's sign, unknown names are 0, and evaluation
// stops quietly at a token no level takes (a stray ")" or a second comparison).
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "foundation/SLError.h"
#include "foundation/SLFormulaInternal.h"

using namespace SLInternals;

namespace {

enum class TokenKind {
  End,
  Operator,     // registered (not precedence 6) or one of + - * ^ / %
  Comparison,   // registered precedence 6, or == < <= > >=
  OpenParen,
  CloseParen,
  Assign,       // a single "="
  Quote,
  Name,
  Call,         // a name followed by "("
  Number,
};

enum CompareKind { kEqual, kLess, kLessEqual, kGreater, kGreaterEqual };

struct Token {
  TokenKind kind;
  i32 start;
  i32 end;                            // first position after the token
  char symbol;                        // built-in operator character
  CompareKind compare;                // built-in comparison
  SLFormulaOperatorEntry* registered;  // registered operator or comparison
  i32 nameEnd;                        // Name and Call: end of the name itself
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsNameStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool IsNameChar(char c) { return IsNameStart(c) || IsDigit(c); }
int HexValue(char c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

constexpr double kTiny = 1e-10;
// The weight of each fraction digit: 0.1, 0.01, ... as their own nearest doubles (a running
// product of 0.1 drifts from the second digit on: 0.1 * 0.1 is not 0.01).
constexpr double kFractionScale[15] = {1e-1, 1e-2, 1e-3, 1e-4,  1e-5,  1e-6,  1e-7, 1e-8,
                                       1e-9, 1e-10, 1e-11, 1e-12, 1e-13, 1e-14, 1e-15};

class Evaluator {
 public:
  Evaluator(SLFormulaSolverBlock* block, const char* text) : m_block(block), m_text(text) {}

  u32 error = 0;
  i32 errorPosition = -1;

  // Evaluates one statement of text[start, end) (a function argument).
  bool Statement(i32 start, i32 end, double* value) {
    i32 savedEnd = m_end;
    i32 savedPos = m_pos;
    m_end = end;
    m_pos = start;
    bool ok = StatementHere(value);
    m_end = savedEnd;
    m_pos = savedPos;
    return ok;
  }

  // Evaluates the statement at the cursor (the top level and parenthesised parts).
  bool StatementHere(double* value) {
    if (++m_depth > CSLFormulaSolver::kMaxNesting) return Fail(SL_E_FORMULA_BAD_CHARACTER, m_pos);
    bool ok = StatementBody(value);
    --m_depth;
    return ok;
  }

  void SetRange(i32 start, i32 end) {
    m_pos = start;
    m_end = end;
  }

 private:
  bool Fail(u32 code, i32 position) {
    if (!error) {
      error = code;
      errorPosition = position;
    }
    return false;
  }

  // Skips blanks and classifies the token at the cursor without consuming it.
  bool Peek(Token* token) {
    while (m_pos < m_end && IsBlank(m_text[m_pos])) ++m_pos;
    *token = Token{};
    token->start = m_pos;
    token->end = m_pos;
    if (m_pos >= m_end) {
      token->kind = TokenKind::End;
      return true;
    }
    const unsigned char c = static_cast<unsigned char>(m_text[m_pos]);
    if (c < 0x20) return Fail(SL_E_BAD_CHARACTER, m_pos);
    const i32 remaining = m_end - m_pos;
    for (SLFormulaOperatorEntry* e = m_block->operators; e; e = e->next) {
      if (i32(e->length) <= remaining && std::memcmp(m_text + m_pos, e->symbol, e->length) == 0) {
        token->kind = e->precedence == 6 ? TokenKind::Comparison : TokenKind::Operator;
        token->registered = e;
        token->end = m_pos + i32(e->length);
        return true;
      }
    }
    const char next = remaining > 1 ? m_text[m_pos + 1] : 0;
    token->end = m_pos + 1;
    switch (c) {
      case '+': case '-': case '*': case '^': case '/': case '%':
        token->kind = TokenKind::Operator;
        token->symbol = char(c);
        return true;
      case '(':
        token->kind = TokenKind::OpenParen;
        return true;
      case ')':
        token->kind = TokenKind::CloseParen;
        return true;
      case '=':
        if (next == '=') {
          token->kind = TokenKind::Comparison;
          token->compare = kEqual;
          token->end = m_pos + 2;
        } else {
          token->kind = TokenKind::Assign;
        }
        return true;
      case '<': case '>':
        token->kind = TokenKind::Comparison;
        token->compare = c == '<' ? (next == '=' ? kLessEqual : kLess) : (next == '=' ? kGreaterEqual : kGreater);
        if (next == '=') token->end = m_pos + 2;
        return true;
      case '\'':
        if (remaining < 3 || m_text[m_pos + 2] != '\'') return Fail(SL_E_BAD_CHARACTER, m_pos);
        token->kind = TokenKind::Quote;
        token->end = m_pos + 3;
        return true;
      default:
        break;
    }
    if (IsNameStart(char(c))) {
      i32 p = m_pos + 1;
      while (p < m_end && IsNameChar(m_text[p])) ++p;
      token->nameEnd = p;
      token->end = p;
      token->kind = TokenKind::Name;
      i32 after = p;
      while (after < m_end && IsBlank(m_text[after])) ++after;
      if (after < m_end) {
        if (static_cast<unsigned char>(m_text[after]) < 0x20) return Fail(SL_E_BAD_CHARACTER, after);
        if (m_text[after] == '(') {
          token->kind = TokenKind::Call;
          token->end = after + 1;
        }
      }
      return true;
    }
    if (IsDigit(char(c)) || (char(c) == m_block->decimalSeparator && IsDigit(next))) {
      token->kind = TokenKind::Number;
      return true;
    }
    return Fail(SL_E_FORMULA_BAD_CHARACTER, m_pos);
  }

  static bool IsMissingOperand(const Token& t) {
    return t.kind == TokenKind::End || t.kind == TokenKind::Operator || t.kind == TokenKind::Comparison ||
           t.kind == TokenKind::CloseParen;
  }

  bool StatementBody(double* value) {
    Token first;
    if (!Peek(&first)) return false;
    if (first.kind == TokenKind::Name) {
      i32 saved = m_pos;
      m_pos = first.end;
      Token second;
      if (!Peek(&second)) return false;
      if (second.kind == TokenKind::Assign) {
        m_pos = second.end;
        return Assignment(first, value);
      }
      m_pos = saved;
    }
    return Comparison(value);
  }

  bool Assignment(const Token& name, double* value) {
    Token rest;
    if (!Peek(&rest)) return false;
    if (rest.kind == TokenKind::End) return Fail(SL_E_FORMULA_EMPTY_ASSIGNMENT, rest.start);
    const char* text = m_text + name.start;
    const u32 length = u32(name.nameEnd - name.start);
    if ((length == 2 && std::memcmp(text, "PI", 2) == 0) || (length == 1 && text[0] == 'E'))
      return Fail(SL_E_FORMULA_CONSTANT_ASSIGNED, name.start);
    if (!Comparison(value)) return false;
    if (!SLFormulaSetVariable(m_block, text, length, *value, true))
      return Fail(SLGetLastError(), name.start);
    return true;
  }

  bool Comparison(double* value) {
    i32 leftStart = m_pos;
    if (!Additive(value)) return false;
    Token t;
    if (!Peek(&t)) return false;
    if (t.kind != TokenKind::Comparison) return true;
    m_pos = t.end;
    double right;
    Token rightToken;
    if (!Peek(&rightToken)) return false;
    if (!Additive(&right)) return false;
    if (t.registered) return ApplyRegistered(t.registered, *value, right, leftStart, rightToken.start, value);
    const double left = *value;
    bool result = false;
    switch (t.compare) {
      case kEqual: result = left == right; break;
      case kLess: result = left < right; break;
      case kLessEqual: result = left <= right; break;
      case kGreater: result = left > right; break;
      case kGreaterEqual: result = left >= right; break;
    }
    *value = result ? 1.0 : 0.0;
    return true;
  }

  bool ApplyRegistered(SLFormulaOperatorEntry* entry, double left, double right, i32 leftStart, i32 rightStart,
                       double* value) {
    double args[2] = {left, right};
    SLFormulaCallContext context{0.0, 2, args, 0};
    i32 status = entry->op->Apply(&context);
    if (status < 0) {
      i32 position = context.failingArgument == 1 ? leftStart : context.failingArgument == 2 ? rightStart : -1;
      return Fail(u32(status), position);
    }
    *value = context.result;
    return true;
  }

  // One binary level: operands from `operand`, operators accepted by `accepts`, applied by `apply`.
  template <class Operand, class Accepts, class Apply>
  bool BinaryLevel(double* value, Operand operand, Accepts accepts, Apply apply) {
    i32 leftStart;
    {
      Token t;
      if (!Peek(&t)) return false;
      leftStart = t.start;
    }
    if (!operand(value)) return false;
    for (;;) {
      Token op;
      if (!Peek(&op)) return false;
      if (op.kind != TokenKind::Operator || !accepts(op)) return true;
      m_pos = op.end;
      Token rightToken;
      if (!Peek(&rightToken)) return false;
      double right;
      if (!operand(&right)) return false;
      if (op.registered) {
        if (!ApplyRegistered(op.registered, *value, right, leftStart, rightToken.start, value)) return false;
      } else if (!apply(op, value, right)) {
        return false;
      }
    }
  }

  bool Additive(double* value) {
    return BinaryLevel(
        value, [this](double* v) { return Multiplicative(v); },
        [](const Token& t) { return t.registered ? t.registered->precedence == 1 : (t.symbol == '+' || t.symbol == '-'); },
        [](const Token& t, double* v, double right) {
          *v = t.symbol == '+' ? *v + right : *v - right;
          return true;
        });
  }

  bool Multiplicative(double* value) {
    return BinaryLevel(
        value, [this](double* v) { return Power(v); },
        [](const Token& t) {
          return t.registered ? t.registered->precedence == 2 : (t.symbol == '*' || t.symbol == '/' || t.symbol == '%');
        },
        [this](const Token& t, double* v, double right) {
          if (t.symbol == '*') {
            *v *= right;
            return true;
          }
          if (right >= -kTiny && right < kTiny) return Fail(SL_E_FORMULA_DIVISION_BY_ZERO, t.end);
          *v = t.symbol == '/' ? *v / right : std::fmod(*v, right);
          return true;
        });
  }

  bool Power(double* value) {
    return BinaryLevel(
        value, [this](double* v) { return Unary(v); },
        [](const Token& t) { return t.registered ? t.registered->precedence == 3 : t.symbol == '^'; },
        [](const Token&, double* v, double y) {
          const double x = *v;
          if (x >= -kTiny && x <= kTiny) {
            *v = (y >= -kTiny && y <= kTiny) ? 1.0 : 0.0;
          } else {
            // The base's sign is kept: (-2)^2 is -4.
            const double magnitude = std::exp(y * std::log(std::fabs(x)));
            *v = x < 0 ? -magnitude : magnitude;
          }
          return true;
        });
  }

  bool Unary(double* value) {
    Token t;
    if (!Peek(&t)) return false;
    const bool sign = t.kind == TokenKind::Operator && !t.registered && (t.symbol == '+' || t.symbol == '-');
    const bool registered = t.kind == TokenKind::Operator && t.registered && t.registered->precedence == 4;
    if (!sign && !registered) return Primary(value);
    m_pos = t.end;
    Token operandToken;
    if (!Peek(&operandToken)) return false;
    if (!Primary(value)) return false;
    if (sign) {
      if (t.symbol == '-') *value = -*value;
      return true;
    }
    SLFormulaCallContext context{0.0, 1, value, 0};
    i32 status = t.registered->op->Apply(&context);
    if (status < 0) return Fail(u32(status), context.failingArgument == 1 ? operandToken.start : -1);
    *value = context.result;
    return true;
  }

  bool Primary(double* value) {
    Token t;
    if (!Peek(&t)) return false;
    if (IsMissingOperand(t)) {
      *value = 0.0;
      return true;
    }
    switch (t.kind) {
      case TokenKind::OpenParen: {
        m_pos = t.end;
        if (!StatementHere(value)) return false;
        Token close;
        if (!Peek(&close)) return false;
        if (close.kind == TokenKind::CloseParen) {
          m_pos = close.end;
        } else if (close.kind != TokenKind::End) {
          return Fail(SL_E_FORMULA_PAREN_EXPECTED, close.start);
        }
        break;
      }
      case TokenKind::Number:
        if (!Number(value)) return false;
        break;
      case TokenKind::Quote:
        *value = double(static_cast<unsigned char>(m_text[t.start + 1]));
        m_pos = t.end;
        break;
      case TokenKind::Name:
        *value = NameValue(m_text + t.start, u32(t.nameEnd - t.start));
        m_pos = t.end;
        break;
      case TokenKind::Call:
        if (!Call(t, value)) return false;
        break;
      default:
        return Fail(SL_E_FORMULA_UNEXPECTED_TOKEN, t.start);
    }
    // Only the end, an operator, a comparison or a parenthesis may follow an operand.
    Token after;
    if (!Peek(&after)) return false;
    switch (after.kind) {
      case TokenKind::End: case TokenKind::Operator: case TokenKind::Comparison:
      case TokenKind::OpenParen: case TokenKind::CloseParen:
        return true;
      default:
        return Fail(SL_E_FORMULA_UNEXPECTED_TOKEN, after.start);
    }
  }

  double NameValue(const char* name, u32 length) {
    if (SLFormulaVariableEntry* v = SLFormulaFindVariable(m_block, name, length)) return v->value;
    if (length == 2 && std::memcmp(name, "PI", 2) == 0) return 3.141592653589793;
    if (length == 1 && name[0] == 'E') return std::exp(1.0);
    return 0.0;  // unknown names are no error
  }

  bool Number(double* value) {
    const i32 start = m_pos;
    i32 p = m_pos;
    if (m_text[p] == '0' && p + 1 < m_end && (m_text[p + 1] == 'x' || m_text[p + 1] == 'X')) {
      // A hexadecimal number takes the whole rest of the current text.
      double v = 0;
      u32 digits = 0;
      for (p += 2; p < m_end; ++p) {
        int d = HexValue(m_text[p]);
        if (d < 0 || ++digits > 15) return Fail(SL_E_FORMULA_BAD_NUMBER, p);
        v = v * 16 + d;
      }
      *value = v;
      m_pos = p;
      return true;
    }
    double integer = 0, fraction = 0;
    u32 intDigits = 0, fracDigits = 0;
    bool separator = false;
    for (; p < m_end; ++p) {
      const char c = m_text[p];
      if (c == m_block->decimalSeparator) {
        if (separator) return Fail(SL_E_FORMULA_BAD_NUMBER, start);
        separator = true;
        continue;
      }
      if (!IsDigit(c)) break;
      const int d = c - '0';
      if (!separator) {
        if (++intDigits > 15) return Fail(SL_E_FORMULA_BAD_NUMBER, p);
        integer = integer * 10 + d;
      } else {
        if (++fracDigits > 15) return Fail(SL_E_FORMULA_BAD_NUMBER, p);
        fraction += d * kFractionScale[fracDigits - 1];
      }
    }
    *value = integer + fraction;
    m_pos = p;
    return true;
  }

  bool Call(const Token& t, double* value) {
    const char* name = m_text + t.start;
    const u32 nameLength = u32(t.nameEnd - t.start);
    bool known = false;
    for (SLFormulaFunctionEntry* e = m_block->functions; e && !known; e = e->next)
      known = e->length == nameLength && std::memcmp(e->name, name, nameLength) == 0;
    for (const auto& row : kSLFormulaBuiltins)
      known = known || (std::strlen(row.name) == nameLength && std::memcmp(row.name, name, nameLength) == 0);
    if (!known) return Fail(SL_E_FORMULA_UNKNOWN_FUNCTION, t.start);

    // Split the arguments at separators outside nested parentheses; the first ")" outside
    // them ends the list.
    std::vector<i32> starts, ends;
    i32 p = t.end, argStart = t.end, depth = 0;
    bool closed = false;
    for (; p < m_end; ++p) {
      const char c = m_text[p];
      if (c == '(') {
        ++depth;
      } else if (c == ')') {
        if (depth == 0) {
          closed = true;
          break;
        }
        --depth;
      } else if (c == m_block->listSeparator && depth == 0) {
        if (starts.size() >= CSLFormulaSolver::kMaxArguments) return Fail(SL_E_FORMULA_TOO_MANY_ARGS, t.start);
        starts.push_back(argStart);
        ends.push_back(p);
        argStart = p + 1;
      }
    }
    if (!closed) return Fail(SL_E_FORMULA_PAREN_EXPECTED, m_end);
    bool onlyBlanks = true;
    for (i32 i = argStart; i < p && onlyBlanks; ++i) onlyBlanks = IsBlank(m_text[i]);
    if (!(starts.empty() && onlyBlanks)) {  // "()" with blanks is no argument
      if (starts.size() >= CSLFormulaSolver::kMaxArguments) return Fail(SL_E_FORMULA_TOO_MANY_ARGS, t.start);
      starts.push_back(argStart);
      ends.push_back(p);
    }
    const i32 closeEnd = p + 1;
    const u32 count = u32(starts.size());

    CSLFormulaFunction* chosen = nullptr;
    for (SLFormulaFunctionEntry* e = m_block->functions; e && !chosen; e = e->next)
      if (e->length == nameLength && std::memcmp(e->name, name, nameLength) == 0 && e->argCount == i32(count))
        chosen = e->function;
    for (SLFormulaFunctionEntry* e = m_block->functions; e && !chosen; e = e->next)
      if (e->length == nameLength && std::memcmp(e->name, name, nameLength) == 0 && e->argCount == -1)
        chosen = e->function;
    SLFormulaBuiltin builtin = nullptr;
    if (!chosen) {
      for (const auto& row : kSLFormulaBuiltins)
        if (std::strlen(row.name) == nameLength && std::memcmp(row.name, name, nameLength) == 0 &&
            row.argCount == i32(count))
          builtin = row.function;
      if (!builtin) return Fail(SL_E_FORMULA_NO_OVERLOAD, t.start);
    }

    std::vector<double> args(count, 0.0);
    for (u32 i = 0; i < count; ++i) {
      // An empty argument is 0; Statement gives that through the missing-operand rule.
      if (!Statement(starts[i], ends[i], &args[i])) return false;
    }

    SLFormulaCallContext context{0.0, count, args.data(), 0};
    i32 status = chosen ? chosen->Evaluate(&context)
                        : builtin(&context.result, &context.failingArgument, args.data(), count);
    if (status < 0) {
      const i32 k = context.failingArgument;
      i32 position = k == 0 ? t.start : (k > 0 && u32(k) <= count) ? starts[k - 1] : -1;
      return Fail(u32(status), position);
    }
    *value = context.result;
    m_pos = closeEnd;
    return true;
  }

  SLFormulaSolverBlock* m_block;
  const char* m_text;
  i32 m_pos = 0;
  i32 m_end = 0;
  u32 m_depth = 0;
};

}  // namespace

bool CSLFormulaSolver::Evaluate(const char* formula, double* value, i32* errorPosition) {
  if (errorPosition) *errorPosition = -1;
  if (!formula || !*formula) {
    if (errorPosition) *errorPosition = 0;
    return SLFail(formula ? SL_E_BAD_SIZE : SL_E_NULL_DATA, false);
  }
  const size_t length = std::strlen(formula);
  if (length > 0x7FFFFFFF) return SLFail(SL_E_INVALID_ARG, false);
  SLFormulaSolverBlock* block = GetBlock();
  if (!block) return SLFail(SL_E_OUT_OF_MEMORY, false);

  Evaluator evaluator(block, formula);
  evaluator.SetRange(0, i32(length));
  double result = 0.0;
  bool ok;
  try {
    ok = evaluator.StatementHere(&result);
  } catch (const std::bad_alloc&) {
    ok = false;
    evaluator.error = SL_E_OUT_OF_MEMORY;
    evaluator.errorPosition = -1;
  }
  if (value) *value = result;
  if (!ok) {
    if (errorPosition) *errorPosition = evaluator.errorPosition;
    return SLFail(evaluator.error ? evaluator.error : SL_E_OUT_OF_MEMORY, false);
  }
  return SLSetLastError(SL_OK);
}
