// Test helper: TIFF structures (small TIFF files, EXIF data) written from a description in
// either byte order, and the values found in them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct TTestField {
  std::uint16_t Tag, Type;
  std::vector<std::uint32_t> Numbers; // numeric types: the values, two to a rational
  std::string Bytes = {};             // BYTE, ASCII (with its zero), UNDEFINED
  std::vector<TTestField> Sub = {};   // a pointer tag: the directory it leads to
  std::optional<std::uint32_t> Offset = {}; // damage: the value field as given
  std::optional<std::uint32_t> Count = {};  // damage: a count other than the values'
};

inline int TestTypeBytes(std::uint16_t Type) { return Type == 3 ? 2 : Type == 4 || Type == 5 ? 4 : 1; }

inline void PutTestNumber(std::vector<std::uint8_t>& Out, std::size_t At, std::uint32_t Value, int Bytes, bool Big) {
  for (int I = 0; I < Bytes; ++I) Out[At + std::size_t(Big ? Bytes - 1 - I : I)] = std::uint8_t(Value >> 8 * I);
}

inline std::uint32_t TestNumber(const std::vector<std::uint8_t>& Data, std::size_t At, int Bytes) {
  std::uint32_t Value = 0;
  for (int I = 0; I < Bytes; ++I) Value |= std::uint32_t(Data.at(At + std::size_t(Data[0] == 'M' ? Bytes - 1 - I : I))) << 8 * I;
  return Value;
}

// Appends a directory, then its values and the directories it leads to (as cameras lay them out).
inline std::uint32_t WriteTestDirectory(std::vector<std::uint8_t>& Out, const std::vector<TTestField>& Fields, bool Big) {
  if (Out.size() % 2) Out.push_back(0);
  const std::size_t At = Out.size();
  Out.resize(At + 2 + 12 * Fields.size() + 4);
  PutTestNumber(Out, At, std::uint32_t(Fields.size()), 2, Big);
  for (std::size_t I = 0; I < Fields.size(); ++I) {
    const TTestField& F = Fields[I];
    const std::size_t Entry = At + 2 + 12 * I;
    const int Unit = TestTypeBytes(F.Type);
    std::vector<std::uint8_t> Value(F.Bytes.begin(), F.Bytes.end());
    for (std::uint32_t N : F.Numbers) {
      Value.resize(Value.size() + std::size_t(Unit));
      PutTestNumber(Value, Value.size() - std::size_t(Unit), N, Unit, Big);
    }
    const std::size_t Values = F.Bytes.size() + F.Numbers.size() / (F.Type == 5 ? 2 : 1);
    PutTestNumber(Out, Entry, F.Tag, 2, Big);
    PutTestNumber(Out, Entry + 2, F.Sub.empty() ? F.Type : 4, 2, Big);
    PutTestNumber(Out, Entry + 4, F.Count.value_or(F.Sub.empty() ? std::uint32_t(Values) : 1), 4, Big);
    if (F.Offset) {
      PutTestNumber(Out, Entry + 8, *F.Offset, 4, Big);
    } else if (!F.Sub.empty()) {
      PutTestNumber(Out, Entry + 8, WriteTestDirectory(Out, F.Sub, Big), 4, Big);
    } else if (Value.size() <= 4) {
      std::copy(Value.begin(), Value.end(), Out.begin() + std::ptrdiff_t(Entry + 8));
    } else {
      if (Out.size() % 2) Out.push_back(0);
      PutTestNumber(Out, Entry + 8, std::uint32_t(Out.size()), 4, Big);
      Out.insert(Out.end(), Value.begin(), Value.end());
    }
  }
  return std::uint32_t(At);
}

inline std::vector<std::uint8_t> TestTiff(bool Big, const std::vector<TTestField>& First) {
  std::vector<std::uint8_t> Out = {'I', 'I', 42, 0, 0, 0, 0, 0};
  if (Big) Out = {'M', 'M', 0, 42, 0, 0, 0, 0};
  PutTestNumber(Out, 4, WriteTestDirectory(Out, First, Big), 4, Big);
  return Out;
}

// The value of the tag at the end of Path (the tags before it lead to directories) as text:
// bytes as they are, numbers parted by spaces, rationals as "N/D"; "" when absent, "odd offset"
// where an offset breaks TIFF's word alignment.
inline std::string TestValue(const std::vector<std::uint8_t>& Tiff, const std::vector<std::uint16_t>& Path) {
  std::uint32_t Directory = TestNumber(Tiff, 4, 4);
  for (std::size_t Step = 0; Step < Path.size(); ++Step) {
    if (Directory % 2) return "odd offset";
    const std::uint32_t Count = TestNumber(Tiff, Directory, 2);
    std::size_t Entry = Directory + 2;
    while (Entry < Directory + 2 + 12 * Count && TestNumber(Tiff, Entry, 2) != Path[Step]) Entry += 12;
    if (Entry == Directory + 2 + 12 * Count) return "";
    const std::uint16_t Type = std::uint16_t(TestNumber(Tiff, Entry + 2, 2));
    const std::uint32_t Values = TestNumber(Tiff, Entry + 4, 4), Unit = std::uint32_t(TestTypeBytes(Type));
    const std::uint32_t Size = Values * Unit * (Type == 5 ? 2 : 1);
    std::size_t At = Size <= 4 ? Entry + 8 : TestNumber(Tiff, Entry + 8, 4);
    if (Step + 1 < Path.size()) {
      Directory = TestNumber(Tiff, Entry + 8, 4);
      continue;
    }
    if (Size > 4 && At % 2) return "odd offset";
    std::string Text;
    for (std::uint32_t I = 0; I < Size / Unit; ++I, At += Unit) {
      if (Unit == 1) {
        Text += char(Tiff.at(At));
        continue;
      }
      if (I != 0) Text += Type == 5 && I % 2 ? '/' : ' ';
      Text += std::to_string(TestNumber(Tiff, At, int(Unit)));
    }
    return Text;
  }
  return "";
}
