// Test helper: a linker map file in the detailed layout the error report reads, written line
// by line with the columns placed as the linker places them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

struct TMapFileWriter {
  struct TSegment {
    std::uint32_t Start;
    std::string Unit;
  };
  struct TLineNumbers {
    std::string Unit;
    std::vector<std::pair<int, std::uint32_t>> Lines; // line number, offset
  };
  std::vector<TSegment> Segments;
  std::vector<std::pair<std::uint32_t, std::string>> Publics; // by address
  std::vector<TLineNumbers> LineNumbers;

  static std::string Hex8(std::uint32_t V) {
    char S[9];
    std::snprintf(S, sizeof S, "%08X", static_cast<unsigned>(V));
    return S;
  }
  static std::string Public(std::uint32_t Offset, const std::string& Name) {
    return " 0001:" + Hex8(Offset) + "       " + Name;
  }

  std::string Text() const {
    std::string T = " Start         Length     Name                   Class\n"
                    " 0001:00401000 00010000H .text                   CODE\n\n"
                    "Detailed map of segments\n\n";
    for (const TSegment& S : Segments) {
      std::string Line = " 0001:" + Hex8(S.Start) + " 00000100 C=CODE     S=.text    G=(none)   M=";
      Line.resize(59, ' ');
      T += Line + S.Unit + " ACBP=A9\n";
    }
    T += "\n\n  Address         Publics by Name\n\n";
    for (const auto& [Offset, Name] : Publics) T += Public(Offset, Name) + "\n";
    T += "\n\n  Address         Publics by Value\n\n";
    for (const auto& [Offset, Name] : Publics) T += Public(Offset, Name) + "\n";
    T += "\n";
    for (const TLineNumbers& U : LineNumbers) {
      T += "\nLine numbers for " + U.Unit + "(" + U.Unit + ".cpp) segment .text\n\n";
      std::string Line;
      for (const auto& [Number, Offset] : U.Lines) {
        char Group[21];
        std::snprintf(Group, sizeof Group, " %5d 0001:%08X", Number, static_cast<unsigned>(Offset));
        Line += Group;
      }
      T += Line + "\n";
    }
    return T + "\nBound resource files\n";
  }

  void Write(const std::string& FileName, std::size_t Cut = std::string::npos) const {
    std::ofstream(FileName, std::ios::binary) << Text().substr(0, Cut);
  }
};
