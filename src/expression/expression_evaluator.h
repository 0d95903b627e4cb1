// The expression evaluator behind every numeric field: an operator-precedence parser that
// evaluates a line of text to one extended-precision number while it reads it, over a table
// of named symbols (constants, built-in functions, user definitions and solvers).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/string_lists.h"

// A parse or evaluation error with the 1-based character position it refers to (0 when it
// is not tied to a place).
class EExpressionError : public Exception {
public:
  EExpressionError(std::string Message, int Position)
      : Exception(std::move(Message)), Position(Position) {}
  const char* ClassName() const override { return "EExpressionError"; }
  int Position;
};

// The message of the general Exception raised by an invalid floating-point operation.
extern const char* const InvalidOperationMessage;

class TSymbolTable;

enum TSymbolKind : std::uint8_t { skFunction = 0, skValue = 1, skExpression = 2, skSymbolic = 3 };

class TSymbol : public TObject {
public:
  explicit TSymbol(TSymbolKind Kind) : Kind(Kind) {}
  const char* ClassName() const override { return "TSymbol"; }
  TSymbolKind Kind;
  // Holds of callers that are using the symbol; a table defers freeing a held symbol that
  // is replaced or removed until the hold is released.
  int HoldCount = 0;
};

class TSymbolValue : public TSymbol {
public:
  explicit TSymbolValue(long double Value) : TSymbol(skValue), Value(Value) {}
  const char* ClassName() const override { return "TSymbolValue"; }
  long double Value;
};

// A value that tunes a built-in, such as the solvers' start value.
class TParameterValue : public TSymbolValue {
public:
  using TSymbolValue::TSymbolValue;
  const char* ClassName() const override { return "TParameterValue"; }
};

// A stored expression, evaluated afresh at every use. Construction trims the text, drops one
// trailing ';' and turns line breaks and tabs into blanks; a blank text raises
// "Expression is empty" at TextPos.
class TSymbolExpression : public TSymbol {
public:
  TSymbolExpression(const std::string& Source, int TextPos);
  const char* ClassName() const override { return "TSymbolExpression"; }
  // Raises "Recursive reference" (position 0) when already being evaluated.
  virtual long double Evaluate(TSymbolTable& Table);
  std::string Text;
  int TextPos;
  bool Busy = false;
};

class TSymbolFunction : public TSymbol {
public:
  TSymbolFunction() : TSymbol(skFunction) {}
  const char* ClassName() const override { return "TSymbolFunction"; }
  virtual long double Evaluate(TSymbolTable& Table, long double X) = 0;
};

using TStandardFunc = long double (*)(long double X);

// A built-in function of one argument.
class TStandardFunction : public TSymbolFunction {
public:
  TStandardFunction(TStandardFunc Func, std::string Description)
      : Func(Func), Description(std::move(Description)) {}
  const char* ClassName() const override { return "TStandardFunction"; }
  long double Evaluate(TSymbolTable&, long double X) override { return Func(X); }
  TStandardFunc Func;
  std::string Description;
};

// A user function of one parameter. While the body runs, the parameter name is bound to
// the argument in the table, shadowing any symbol of that name. Stored text as for
// TSymbolExpression.
class TExpressionFunction : public TSymbolFunction {
public:
  TExpressionFunction(const std::string& Source, std::string ParamName, int BodyPos);
  const char* ClassName() const override { return "TExpressionFunction"; }
  // Raises "Recursive reference" (position 0) when already being evaluated.
  long double Evaluate(TSymbolTable& Table, long double X) override;
  std::string Body;
  std::string ParamName;
  int BodyPos;
  bool Busy = false;
};

// A function that reads its own argument text (the solvers).
class TSymbolicFunction : public TSymbol {
public:
  TSymbolicFunction() : TSymbol(skSymbolic) {}
  const char* ClassName() const override { return "TSymbolicFunction"; }
  // Reads the arguments from Text at Pos (1-based, just after the '(' and any blanks) and
  // leaves Pos just after the last argument.
  virtual long double EvaluateText(const std::string& Text, int& Pos, TSymbolTable& Table) = 0;
  // A short argument list such as "expression,x".
  virtual std::string ParameterHint() const = 0;
  virtual std::string Description() const = 0;
};

// Name to symbol, sorted and case-sensitive; owns its symbols. A new table holds the
// built-ins.
class TSymbolTable : public TStringObjectList {
public:
  TSymbolTable();
  ~TSymbolTable() override;
  const char* ClassName() const override { return "TSymbolTable"; }

  // True: an unknown name is an error. False: it reads as 0.
  bool UndefinedIsError = false;

  // Puts Symbol under Name, freeing the symbol it replaces; takes ownership. Returns Symbol.
  TSymbol* Define(const std::string& Name, TSymbol* Symbol);
  // The symbol of Name, or null.
  TSymbol* FindSymbol(const std::string& Name) const;
  // Deletes Name and frees its symbol; raises the general Exception "Symbol not found".
  void RemoveSymbol(const std::string& Name);
  // Frees the replaced or removed symbols whose holds have all been released.
  void FreeReleasedSymbols();

protected:
  void FreeObject(TObject* Obj) override;

private:
  void AddDefaults();
  std::vector<TSymbol*> Retired_;
};

// The process-wide table, with UndefinedIsError set. Lives for the life of the process.
extern TSymbolTable* const DefaultSymbols;

// The state of the rand and randn generator; 0 at start-up.
extern std::uint32_t RandSeed;

// Evaluates Text against Table (DefaultSymbols when null). Raises EExpressionError with
// the place of the fault, or the general Exception "Invalid floating point operation" for
// an invalid '+' or '-' outside any function. The expression ends at the end of the text or
// at a ')' or ';' outside any parentheses; the text after it is not read. End, when given,
// receives the 1-based position just after that ')' or ';' (past the text when none).
long double EvaluateExpression(const std::string& Text, TSymbolTable* Table = nullptr, int* End = nullptr);

// Binds Name to a fresh value for the life of the binding, shadowing and afterwards putting
// back whatever symbol the name had (or removing the name when it had none).
class TSymbolBinding {
public:
  TSymbolBinding(TSymbolTable& Table, const std::string& Name, long double Value);
  ~TSymbolBinding();
  TSymbolBinding(const TSymbolBinding&) = delete;
  TSymbolBinding& operator=(const TSymbolBinding&) = delete;
  TSymbolValue* Variable() const { return Variable_; }

private:
  TSymbolTable& Table_;
  std::string Name_;
  TSymbolValue* Variable_;
  TSymbol* Saved_ = nullptr;
};

// Holds a symbol for the life of the object (see TSymbol::HoldCount).
class TSymbolHold {
public:
  explicit TSymbolHold(TSymbol* Symbol) : Symbol_(Symbol) { ++Symbol_->HoldCount; }
  ~TSymbolHold() { --Symbol_->HoldCount; }
  TSymbolHold(const TSymbolHold&) = delete;
  TSymbolHold& operator=(const TSymbolHold&) = delete;

private:
  TSymbol* Symbol_;
};

// Scanning helpers shared with the solvers.
bool IsBlank(char C);
bool IsNameStart(char C);
bool IsNameChar(char C);
// The character at 1-based Pos, NUL past the end.
char CharAt(const std::string& Text, int Pos);
void SkipBlanks(const std::string& Text, int& Pos);
// Reads a name (letters, digits, '_' and '.') from Pos and leaves Pos after it.
std::string TakeName(const std::string& Text, int& Pos);
// The message "%s expected" for one character.
std::string Expected(char C);
