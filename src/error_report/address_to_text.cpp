#include "error_report/address_to_text.h"

#include <fstream>
#include <utility>
#include <vector>

#include "support/system_errors.h"
#include "toolkit/platform.h"

// The map lists this procedure under exactly this name (after the platform's prefix of C
// symbols); its run-time address minus its offset in the map is where the module's code
// segment was loaded.
#define FR_LABEL_PREFIX2(P) #P
#define FR_LABEL_PREFIX(P) FR_LABEL_PREFIX2(P)
extern "C" __attribute__((used, noinline)) void CodeSegmentTestDummy() __asm__(
    FR_LABEL_PREFIX(__USER_LABEL_PREFIX__) "__CodeSegmentTestDummy__");
extern "C" void CodeSegmentTestDummy() { __asm__ volatile(""); }

std::uintptr_t CodeSegmentTestDummyAddress() { return reinterpret_cast<std::uintptr_t>(&CodeSegmentTestDummy); }

namespace {

// Any departure from the expected layout; caught in AddressToText.
struct TMapError {};

bool StartsWith(const std::string& S, const std::string& With) { return S.compare(0, With.size(), With) == 0; }
bool EndsWith(const std::string& S, const std::string& With) {
  return S.size() >= With.size() && S.compare(S.size() - With.size(), With.size(), With) == 0;
}

// Characters From to To of S, counted from 1 as the map's columns are.
std::string Columns(const std::string& S, std::size_t From, std::size_t To) {
  if (S.size() < To) throw TMapError{};
  return S.substr(From - 1, To - From + 1);
}

std::uintptr_t Hex(const std::string& Digits) {
  std::uintptr_t Value = 0;
  for (char C : Digits) {
    int D;
    if (C >= '0' && C <= '9') D = C - '0';
    else if (C >= 'A' && C <= 'F') D = C - 'A' + 10;
    else if (C >= 'a' && C <= 'f') D = C - 'a' + 10;
    else throw TMapError{};
    Value = Value << 4 | static_cast<std::uintptr_t>(D);
  }
  return Value;
}

int Decimal(const std::string& Text) {
  int Value = 0;
  bool Digits = false;
  for (char C : Text) {
    if (C == ' ' && !Digits) continue;
    if (C < '0' || C > '9') throw TMapError{};
    Value = Value * 10 + (C - '0');
    Digits = true;
  }
  if (!Digits) throw TMapError{};
  return Value;
}

class TMapReader {
public:
  explicit TMapReader(const std::string& FileName) : In_(FileName) {
    if (!In_) throw TMapError{};
  }
  // The next line; the end of the file is a failure where more lines were expected.
  std::string Next() {
    std::string Line;
    if (!More(Line)) throw TMapError{};
    return Line;
  }
  bool More(std::string& Line) {
    if (!std::getline(In_, Line)) return false;
    if (!Line.empty() && Line.back() == '\r') Line.pop_back();
    return true;
  }
  // Reads up to and including the first line starting with Prefix.
  void SkipTo(const std::string& Prefix) {
    while (!StartsWith(Next(), Prefix)) {
    }
  }
  void SkipToEmpty() {
    while (!Next().empty()) {
    }
  }

private:
  std::ifstream In_;
};

std::string ModuleMapFile() {
  std::string Name = toolkit::ModuleFileName();
  const std::size_t Dot = Name.find_last_of('.');
  const std::size_t Slash = Name.find_last_of("\\/");
  if (Dot != std::string::npos && (Slash == std::string::npos || Dot > Slash)) Name.resize(Dot);
  return Name + ".map";
}

void Resolve(std::uintptr_t Address, std::string MapFile, std::string& Result) {
  const bool OwnMap = MapFile.empty();
  std::uintptr_t Base = 0x401000;
  if (OwnMap) MapFile = ModuleMapFile();
  TMapReader Map(MapFile);
  Map.SkipTo("Detailed map of segments");
  Map.Next();

  std::vector<std::pair<std::string, std::uintptr_t>> Segments;
  for (std::string Line = Map.Next(); StartsWith(Line, " 0001:"); Line = Map.Next()) {
    const std::uintptr_t Start = Hex(Columns(Line, 7, 14));
    if (Line.size() < 60) throw TMapError{};
    const std::size_t Blank = Line.find(' ', 59);
    Segments.emplace_back(Line.substr(59, Blank == std::string::npos ? std::string::npos : Blank - 59), Start);
  }

  Map.SkipTo("  Address");
  Map.Next();
  if (OwnMap) {
    bool Found = false;
    for (std::string Line = Map.Next(); !Line.empty() && !Found; Line = Map.Next())
      if (StartsWith(Line, " 0001:") && EndsWith(Line, "__CodeSegmentTestDummy__")) {
        Base = CodeSegmentTestDummyAddress() - Hex(Columns(Line, 7, 14));
        Found = true;
      }
    if (!Found) return;
  }

  const std::uintptr_t Offset = Address - Base;
  for (std::size_t I = 1; I < Segments.size(); ++I)
    if (Segments[I].second > Offset) {
      Result += ", " + Segments[I - 1].first;
      break;
    }

  Map.SkipToEmpty();
  Map.SkipTo("  Address");
  Map.Next();
  bool Candidate = false;
  std::uintptr_t Nearest = 0;
  std::string Symbol;
  for (std::string Line; Map.More(Line) && !Line.empty();)
    if (StartsWith(Line, " 0001:")) {
      const std::uintptr_t Distance = Offset - Hex(Columns(Line, 7, 14));
      if (!Candidate || Distance < Nearest) {
        Candidate = true;
        Nearest = Distance;
        Symbol = Line.size() > 21 ? Line.substr(21) : std::string();
      }
    }
  if (Candidate && Nearest < 0x1000000) Result += ", " + Symbol;

  std::uintptr_t Best = 1024;
  int LineNumber = 0;
  std::string CurrentUnit, LineUnit;
  for (std::string Line; Map.More(Line);) {
    if (StartsWith(Line, "Line numbers for")) {
      const std::size_t Paren = Line.find('(');
      if (Paren == std::string::npos || Paren < 17) throw TMapError{};
      CurrentUnit = Line.substr(17, Paren - 17);
      continue;
    }
    if (Line.empty()) continue;
    if (Line[0] != ' ') break;
    for (std::size_t J = 0; J < Line.size() / 20; ++J) {
      const int Number = Decimal(Columns(Line, 20 * J + 2, 20 * J + 6));
      const std::uintptr_t Distance = Offset - Hex(Columns(Line, 20 * J + 13, 20 * J + 20));
      if (Distance < Best) {
        Best = Distance;
        LineNumber = Number;
        LineUnit = CurrentUnit;
      }
    }
  }
  if (LineNumber != 0) Result += ", " + LineUnit + " line " + std::to_string(LineNumber);
}

} // namespace

std::string AddressToText(std::uintptr_t Address, const std::string& MapFile) {
  std::string Result = AddressText(Address);
  try {
    Resolve(Address, MapFile, Result);
  } catch (...) {
    // A missing or foreign map leaves the bare address and what was found before.
  }
  return Result;
}
