#include "expression/expression_evaluator.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>

#include "expression/float_ops.h"

namespace {

// Nesting of expression levels across every evaluation in progress, parentheses, function
// arguments, stored texts and solver trials alike. Bounds the stack.
constexpr int MaxNesting = 100;
// Characters read by one top-level evaluation, nested evaluations included. Bounds the time
// a text can take, however its definitions and solvers multiply the work.
constexpr long long WorkBudget = 10'000'000;
// Texts longer than this could overflow the 32-bit positions.
constexpr std::size_t MaxTextLength = 100'000'000;

int NestingDepth = 0;
int EvaluationDepth = 0;
long long WorkDone = 0;
bool WorkExhausted = false;

constexpr std::array<int, 256> MakePrecedence() {
  std::array<int, 256> Table{};
  const char Operators[] = "|&=#><+-/*%^";
  const int Levels[] = {1, 1, 2, 2, 2, 2, 3, 3, 4, 4, 4, 5};
  for (int I = 0; I < 12; ++I) Table[static_cast<unsigned char>(Operators[I])] = Levels[I];
  return Table;
}
constexpr std::array<int, 256> PrecedenceTable = MakePrecedence();

int Precedence(char C) { return PrecedenceTable[static_cast<unsigned char>(C)]; }

bool IsDigit(char C) { return C >= '0' && C <= '9'; }
bool IsHexDigit(char C) {
  return IsDigit(C) || (C >= 'A' && C <= 'F') || (C >= 'a' && C <= 'f');
}

[[noreturn]] void RaiseTooComplex() { throw EExpressionError("Expression too complex", 0); }

// Charges the items a change of a sorted symbol table moved (a new name shifts every later
// one), so that definitions cost time in proportion to the work budget like text does.
void ChargeTableChange(long long MovedItems) {
  if (EvaluationDepth == 0) return;
  WorkDone += MovedItems;
  if (WorkDone > WorkBudget) WorkExhausted = true;
}

// Trims blanks, drops one trailing ';' and turns the remaining line breaks and tabs into
// blanks, so the stored text reads as one line.
std::string PrepareStoredText(const std::string& Source, int Position) {
  std::size_t First = 0, Last = Source.size();
  while (First < Last && IsBlank(Source[First])) ++First;
  while (Last > First && IsBlank(Source[Last - 1])) --Last;
  if (First == Last) throw EExpressionError("Expression is empty", Position);
  std::string Text = Source.substr(First, Last - First);
  if (Text.back() == ';') Text.pop_back();
  for (char& C : Text)
    if (IsBlank(C)) C = ' ';
  return Text;
}

// [-] digits [. digits] [(E|e) [+|-] digits], with at least one mantissa digit.
bool IsDecimalToken(const std::string& S) {
  std::size_t I = 0, N = S.size();
  if (I < N && S[I] == '-') ++I;
  std::size_t Digits = 0;
  while (I < N && IsDigit(S[I])) ++I, ++Digits;
  if (I < N && S[I] == '.') {
    ++I;
    while (I < N && IsDigit(S[I])) ++I, ++Digits;
  }
  if (Digits == 0) return false;
  if (I < N && (S[I] == 'e' || S[I] == 'E')) {
    ++I;
    if (I < N && (S[I] == '+' || S[I] == '-')) ++I;
    std::size_t ExponentDigits = 0;
    while (I < N && IsDigit(S[I])) ++I, ++ExponentDigits;
    if (ExponentDigits == 0) return false;
  }
  return I == N;
}

// Decimal text to extended; out-of-range magnitudes become an infinity or 0, as the
// masked overflow and underflow do elsewhere.
bool ReadDecimal(std::string Token, long double& Value) {
  std::size_t Comma = Token.find(',');
  if (Comma != std::string::npos) Token[Comma] = '.';
  if (!IsDecimalToken(Token)) return false;
  Value = std::strtold(Token.c_str(), nullptr);
  return true;
}

// Up to 8 significant hex digits, the bit pattern taken as a signed 32-bit integer.
bool ReadHex(const std::string& Digits, long double& Value) {
  if (Digits.empty()) return false;
  std::size_t First = Digits.find_first_not_of('0');
  if (First == std::string::npos) First = Digits.size();
  if (Digits.size() - First > 8) return false;
  std::uint32_t Bits = 0;
  for (std::size_t I = First; I < Digits.size(); ++I) {
    char C = Digits[I];
    int Nibble = IsDigit(C) ? C - '0' : (C | 0x20) - 'a' + 10;
    Bits = (Bits << 4) | std::uint32_t(Nibble);
  }
  Value = static_cast<std::int32_t>(Bits);
  return true;
}

bool IsConverted(char Op) { return Op != '+' && Op != '-' && Op != '|' && Op != '&'; }

// Equal when |A - B| <= max(min(|A|, |B|) * 1e-16, 1e-16).
bool WithinTolerance(long double A, long double B) {
  long double Scale = FMul(std::min(std::fabs(A), std::fabs(B)), 1e-16L);
  long double E = std::max(Scale, 1e-16L);
  long double Difference = std::fabs(FSub(A, B));
  if (std::isnan(Difference)) RaiseInvalidOperation(); // comparing a NaN traps in hardware
  return Difference <= E;
}

long double Apply(char Op, long double A, long double B) {
  switch (Op) {
  case '|': return (A != 0.0L || B != 0.0L) ? 1.0L : 0.0L;
  case '&': return (A != 0.0L && B != 0.0L) ? 1.0L : 0.0L;
  case '=': return WithinTolerance(A, B) ? 1.0L : 0.0L;
  case '#': return WithinTolerance(A, B) ? 0.0L : 1.0L;
  case '>': return (!WithinTolerance(A, B) && A > B) ? 1.0L : 0.0L;
  case '<': return (!WithinTolerance(A, B) && A < B) ? 1.0L : 0.0L;
  case '+': return FAdd(A, B);
  case '-': return FSub(A, B);
  case '/': return FDiv(A, B);
  case '*': return FMul(A, B);
  case '%': return FMul(FFrac(FDiv(A, B)), B);
  case '^': return FPower(A, B);
  }
  return 0.0L; // every operator character is handled above
}

// Counts one evaluation in progress and charges its text to the work budget. The outermost
// evaluation starts the budget afresh and, when it ends, frees symbols released meanwhile.
class TEvaluationScope {
public:
  TEvaluationScope(TSymbolTable& Table, std::size_t Length) : Table_(Table) {
    if (EvaluationDepth == 0) {
      WorkDone = 0;
      WorkExhausted = false;
    }
    WorkDone += static_cast<long long>(Length) + 16;
    if (WorkDone > WorkBudget) WorkExhausted = true;
    if (WorkExhausted) RaiseTooComplex();
    ++EvaluationDepth;
  }
  ~TEvaluationScope() {
    if (--EvaluationDepth == 0) Table_.FreeReleasedSymbols();
  }
  TEvaluationScope(const TEvaluationScope&) = delete;
  TEvaluationScope& operator=(const TEvaluationScope&) = delete;
  bool Outermost() const { return EvaluationDepth == 1; }

private:
  TSymbolTable& Table_;
};

class TNestingGuard {
public:
  explicit TNestingGuard(int Position) {
    if (NestingDepth >= MaxNesting) throw EExpressionError("Expression nested too deeply", Position);
    ++NestingDepth;
  }
  ~TNestingGuard() { --NestingDepth; }
  TNestingGuard(const TNestingGuard&) = delete;
  TNestingGuard& operator=(const TNestingGuard&) = delete;
};

// ---------------------------------------------------------------------------------------
// The parser: one left-to-right pass that evaluates as it reads.
// ---------------------------------------------------------------------------------------

class TParser {
public:
  TParser(const std::string& Text, TSymbolTable& Table) : Text_(Text), Table_(Table) {}
  long double ParseExpression();
  int Position() const { return Pos_; }

private:
  struct TEntry {
    char Op;
    long double Value;
  };

  char Ch() const { return CharAt(Text_, Pos_); }
  bool AtEnd() const { return Pos_ > static_cast<int>(Text_.size()); }
  [[noreturn]] void Fail(const std::string& Message) const { throw EExpressionError(Message, Pos_); }
  void Expect(char C);
  void Reduce(TEntry* Stack, int& Top, int Level) const;
  long double ParseOperand();
  long double ParseNumber();
  long double ParseSymbol();
  void ParseDefinition();
  std::string TakeStoredText();

  const std::string& Text_;
  TSymbolTable& Table_;
  int Pos_ = 1;
};

void TParser::Expect(char C) {
  if (Ch() != C) Fail(Expected(C));
  ++Pos_;
}

// expression := [':' definition] ['+'|'-'] operand { [':' definition] operator operand }
// ending at ')' or ';' (consumed) or at the end of the text.
long double TParser::ParseExpression() {
  TNestingGuard Guard(Pos_);
  SkipBlanks(Text_, Pos_);
  // Precedences on the stack rise strictly above the bottom entry: one per level at most.
  TEntry Stack[6] = {{' ', 0.0L}};
  int Top = 0;
  int Operands = 0;
  char Pending = '+';
  do {
    if (Ch() == ':') {
      ++Pos_;
      ParseDefinition();
      SkipBlanks(Text_, Pos_);
      continue;
    }
    char C = Ch();
    if (Precedence(C) > 0) {
      if (Operands == 0 && C != '+' && C != '-') Fail(std::string("Unexpected character: ") + C);
      ++Pos_;
      SkipBlanks(Text_, Pos_);
      Pending = C;
    } else if (Operands > 0) {
      Fail("Operator expected");
    }
    long double Value = ParseOperand();
    Reduce(Stack, Top, Precedence(Pending));
    Stack[++Top] = {Pending, Value};
    ++Operands;
    SkipBlanks(Text_, Pos_);
  } while (!AtEnd() && Ch() != ')' && Ch() != ';');
  if (Operands == 0) Fail("Value expected");
  Reduce(Stack, Top, 1);
  ++Pos_;
  return Stack[0].Value;
}

void TParser::Reduce(TEntry* Stack, int& Top, int Level) const {
  while (Precedence(Stack[Top].Op) >= Level) {
    char Op = Stack[Top].Op;
    long double& Left = Stack[Top - 1].Value;
    if (IsConverted(Op)) {
      try {
        Left = Apply(Op, Left, Stack[Top].Value);
      } catch (const Exception& E) {
        Fail(E.Message());
      }
    } else {
      Left = Apply(Op, Left, Stack[Top].Value);
    }
    --Top;
  }
}

// operand := symbol | number | '(' expression
long double TParser::ParseOperand() {
  char C = Ch();
  if (IsNameStart(C)) return ParseSymbol();
  if (C == '$' || C == ',' || C == '-' || C == '.' || IsDigit(C)) return ParseNumber();
  if (C == '(') {
    ++Pos_;
    return ParseExpression();
  }
  if (AtEnd()) Fail("Value expected");
  Fail(std::string("Unexpected character: ") + C);
}

// number := '$' hexdigits | decimal, where the first character is always taken.
long double TParser::ParseNumber() {
  int Start = Pos_;
  char First = Ch();
  ++Pos_;
  long double Value = 0.0L;
  bool Valid;
  if (First == '$') {
    while (IsHexDigit(Ch())) ++Pos_;
    Valid = ReadHex(Text_.substr(Start, Pos_ - Start - 1), Value);
  } else {
    for (;;) {
      char C = Ch();
      char Previous = Text_[Pos_ - 2];
      bool Sign = (C == '+' || C == '-') && (Previous == 'e' || Previous == 'E');
      if (!(C == ',' || C == '.' || IsDigit(C) || C == 'e' || C == 'E' || Sign)) break;
      ++Pos_;
    }
    Valid = ReadDecimal(Text_.substr(Start - 1, Pos_ - Start), Value);
  }
  if (!Valid) Fail("Invalid number format");
  return Value;
}

// symbol := name | name '(' expression | symbolicname '(' arguments ')'
long double TParser::ParseSymbol() {
  std::string Name = TakeName(Text_, Pos_);
  int Index = Table_.IndexOf(Name);
  if (Index < 0) {
    if (Table_.UndefinedIsError) Fail("Undefined symbol: " + Name);
    return 0.0L;
  }
  auto* Symbol = dynamic_cast<TSymbol*>(Table_.List[Index].Object);
  if (!Symbol) Fail("Unknown symbol type: " + Name);
  // A definition inside an argument may replace this very symbol while it is in use.
  TSymbolHold Hold(Symbol);
  switch (Symbol->Kind) {
  case skValue:
    if (auto* Value = dynamic_cast<TSymbolValue*>(Symbol)) return Value->Value;
    break;
  case skExpression:
    if (auto* Expression = dynamic_cast<TSymbolExpression*>(Symbol))
      return Expression->Evaluate(Table_);
    break;
  case skFunction:
    if (auto* Function = dynamic_cast<TSymbolFunction*>(Symbol)) {
      if (Ch() != '(') Fail(Expected('('));
      ++Pos_;
      try {
        long double X = ParseExpression();
        return Function->Evaluate(Table_, X);
      } catch (const Exception& E) {
        throw EExpressionError(E.Message(), Pos_ - 1);
      }
    }
    break;
  case skSymbolic:
    if (auto* Symbolic = dynamic_cast<TSymbolicFunction*>(Symbol)) {
      if (Ch() != '(') Fail(Expected('('));
      ++Pos_;
      SkipBlanks(Text_, Pos_);
      long double Value;
      try {
        Value = Symbolic->EvaluateText(Text_, Pos_, Table_);
      } catch (const EExpressionError&) {
        throw;
      } catch (const Exception& E) {
        throw EExpressionError(E.Message(), Pos_ - 1);
      }
      SkipBlanks(Text_, Pos_);
      Expect(')');
      return Value;
    }
    break;
  }
  Fail("Unknown symbol type: " + Name);
}

// definition := name '=' expression | name '(' ')' '=' text | name '(' name ')' '=' text
void TParser::ParseDefinition() {
  SkipBlanks(Text_, Pos_);
  if (!IsNameStart(Ch())) Fail("Name expected");
  std::string Name = TakeName(Text_, Pos_);
  SkipBlanks(Text_, Pos_);
  if (Ch() == '=') {
    ++Pos_;
    long double Value = ParseExpression();
    Table_.Define(Name, new TSymbolValue(Value));
  } else if (Ch() == '(') {
    ++Pos_;
    SkipBlanks(Text_, Pos_);
    std::string ParamName;
    if (IsNameStart(Ch())) {
      ParamName = TakeName(Text_, Pos_);
      SkipBlanks(Text_, Pos_);
    } else if (Ch() != ')') {
      Fail("Name expected");
    }
    Expect(')');
    SkipBlanks(Text_, Pos_);
    Expect('=');
    SkipBlanks(Text_, Pos_);
    int BodyPos = Pos_;
    std::string Body = TakeStoredText();
    if (ParamName.empty())
      Table_.Define(Name, new TSymbolExpression(Body, BodyPos));
    else
      Table_.Define(Name, new TExpressionFunction(Body, ParamName, BodyPos));
  } else {
    Fail("= or ( expected");
  }
}

// The text from here up to and including the next ';' (or to the end); Pos_ moves past it.
std::string TParser::TakeStoredText() {
  std::size_t Start = std::min(static_cast<std::size_t>(Pos_ - 1), Text_.size());
  std::size_t Semicolon = Text_.find(';', Start);
  std::size_t End = Semicolon == std::string::npos ? Text_.size() : Semicolon + 1;
  Pos_ = static_cast<int>(End) + 1;
  return Text_.substr(Start, End - Start);
}

} // namespace

// ---------------------------------------------------------------------------------------
// Scanning helpers
// ---------------------------------------------------------------------------------------

bool IsBlank(char C) { return C == ' ' || C == '\t' || C == '\n' || C == '\r'; }
bool IsNameStart(char C) { return (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z') || C == '_'; }
bool IsNameChar(char C) { return IsNameStart(C) || IsDigit(C) || C == '.'; }

char CharAt(const std::string& Text, int Pos) {
  return (Pos >= 1 && Pos <= static_cast<int>(Text.size())) ? Text[Pos - 1] : '\0';
}

void SkipBlanks(const std::string& Text, int& Pos) {
  while (Pos >= 1 && Pos <= static_cast<int>(Text.size()) && IsBlank(Text[Pos - 1])) ++Pos;
}

std::string TakeName(const std::string& Text, int& Pos) {
  int Start = Pos;
  while (IsNameChar(CharAt(Text, Pos))) ++Pos;
  return Text.substr(Start - 1, Pos - Start);
}

std::string Expected(char C) { return std::string(1, C) + " expected"; }

// ---------------------------------------------------------------------------------------
// Evaluation
// ---------------------------------------------------------------------------------------

long double EvaluateExpression(const std::string& Text, TSymbolTable* Table, int* End) {
  if (Text.empty()) throw EExpressionError("Expression is empty", 0);
  if (!Table) Table = DefaultSymbols;
  if (Text.size() > MaxTextLength) throw EExpressionError("Expression too long", 0);
  TEvaluationScope Scope(*Table, Text.size());
  TParser Parser(Text, *Table);
  if (!Scope.Outermost()) {
    const long double Result = Parser.ParseExpression();
    if (End) *End = Parser.Position();
    return Result;
  }
  // Once the budget is spent every nested evaluation fails at once, but solvers swallow
  // failed trials: only the outermost level can tell the whole text was cut short.
  long double Result;
  try {
    Result = Parser.ParseExpression();
  } catch (const Exception&) {
    if (WorkExhausted) RaiseTooComplex();
    throw;
  }
  if (WorkExhausted) RaiseTooComplex();
  if (End) *End = Parser.Position();
  return Result;
}

// ---------------------------------------------------------------------------------------
// Symbols
// ---------------------------------------------------------------------------------------

namespace {

// Clears a Busy flag when the evaluation that set it ends, normally or not.
class TBusyScope {
public:
  explicit TBusyScope(bool& Busy) : Busy_(Busy) {
    if (Busy_) throw EExpressionError("Recursive reference", 0);
    Busy_ = true;
  }
  ~TBusyScope() { Busy_ = false; }
  TBusyScope(const TBusyScope&) = delete;
  TBusyScope& operator=(const TBusyScope&) = delete;

private:
  bool& Busy_;
};

} // namespace

TSymbolExpression::TSymbolExpression(const std::string& Source, int TextPos)
    : TSymbol(skExpression), Text(PrepareStoredText(Source, TextPos)), TextPos(TextPos) {}

long double TSymbolExpression::Evaluate(TSymbolTable& Table) {
  TSymbolHold Hold(this);
  TBusyScope BusyScope(Busy);
  return EvaluateExpression(Text, &Table);
}

TExpressionFunction::TExpressionFunction(const std::string& Source, std::string ParamName,
                                         int BodyPos)
    : Body(PrepareStoredText(Source, BodyPos)), ParamName(std::move(ParamName)),
      BodyPos(BodyPos) {}

long double TExpressionFunction::Evaluate(TSymbolTable& Table, long double X) {
  if (Busy) throw EExpressionError("Recursive reference", 0);
  TSymbolHold Hold(this);
  TSymbolBinding Binding(Table, ParamName, X);
  TBusyScope BusyScope(Busy); // cleared before the binding is undone
  return EvaluateExpression(Body, &Table);
}

TSymbolBinding::TSymbolBinding(TSymbolTable& Table, const std::string& Name, long double Value)
    : Table_(Table), Name_(Name) {
  auto Variable = std::make_unique<TSymbolValue>(Value);
  int Index = Table.IndexOf(Name);
  if (Index < 0) {
    Index = Table.AddObject(Name, Variable.get());
    // Not raised here: the binding must be complete for its destructor to undo it.
    ChargeTableChange(Table.GetCount() - Index);
  } else {
    Saved_ = dynamic_cast<TSymbol*>(Table.List[Index].Object);
    if (!Saved_) throw EExpressionError("Unknown symbol type: " + Name, 0);
    Table.PutObject(Index, Variable.get());
  }
  Variable_ = Variable.release();
}

TSymbolBinding::~TSymbolBinding() {
  if (Saved_) {
    try {
      Table_.Define(Name_, Saved_);
    } catch (...) {
      // Define only allocates when the name vanished meanwhile; nothing to put back then.
    }
    return;
  }
  int Index = Table_.IndexOf(Name_);
  if (Index >= 0) {
    Table_.Delete(Index);
    ChargeTableChange(Table_.GetCount() - Index + 1);
  }
}

// ---------------------------------------------------------------------------------------
// TSymbolTable
// ---------------------------------------------------------------------------------------

TSymbolTable::TSymbolTable() {
  SetSorted(true);
  Duplicates = dmIgnore;
  AddDefaults();
}

TSymbolTable::~TSymbolTable() {
  Clear();
  for (TSymbol* Symbol : Retired_) delete Symbol;
}

TSymbol* TSymbolTable::Define(const std::string& Name, TSymbol* Symbol) {
  std::unique_ptr<TSymbol> Owned(Symbol);
  int Index = IndexOf(Name);
  if (Index >= 0) {
    TObject* Old = List[Index].Object;
    PutObject(Index, Owned.release());
    FreeObject(Old);
  } else {
    Index = AddObject(Name, Owned.get());
    Owned.release();
    ChargeTableChange(GetCount() - Index);
    if (WorkExhausted && EvaluationDepth > 0) RaiseTooComplex();
  }
  return Symbol;
}

TSymbol* TSymbolTable::FindSymbol(const std::string& Name) const {
  int Index = IndexOf(Name);
  return Index < 0 ? nullptr : dynamic_cast<TSymbol*>(List[Index].Object);
}

void TSymbolTable::RemoveSymbol(const std::string& Name) {
  int Index = IndexOf(Name);
  if (Index < 0) throw Exception("Symbol not found");
  Delete(Index);
}

void TSymbolTable::FreeObject(TObject* Obj) {
  auto* Symbol = dynamic_cast<TSymbol*>(Obj);
  if (Symbol && Symbol->HoldCount > 0) {
    Retired_.push_back(Symbol);
    return;
  }
  delete Obj;
}

void TSymbolTable::FreeReleasedSymbols() {
  auto Released = std::stable_partition(Retired_.begin(), Retired_.end(),
                                        [](TSymbol* S) { return S->HoldCount > 0; });
  for (auto It = Released; It != Retired_.end(); ++It) delete *It;
  Retired_.erase(Released, Retired_.end());
}

namespace {

std::unique_ptr<TSymbolTable> MakeDefaultSymbols() {
  auto Table = std::make_unique<TSymbolTable>();
  Table->UndefinedIsError = true;
  return Table;
}

std::unique_ptr<TSymbolTable> DefaultSymbolsOwner = MakeDefaultSymbols();

} // namespace

TSymbolTable* const DefaultSymbols = DefaultSymbolsOwner.get();
