#include "error_report/version_info.h"

#include <cstdio>
#include <algorithm>
#include <optional>
#include <span>
#include <vector>

#include "toolkit/platform.h"

std::string ApplicationVersion;

namespace {

// One node of the resource's tree: WORD length, WORD value length, WORD type, the key in
// UTF-16 up to its zero, the value and the children, each aligned to 4 bytes.
struct TBlock {
  std::string Key;
  std::span<const std::uint8_t> Value;
  std::span<const std::uint8_t> Children;
};

std::uint16_t Word(std::span<const std::uint8_t> Bytes, std::size_t At) {
  return static_cast<std::uint16_t>(Bytes[At] | Bytes[At + 1] << 8);
}

std::size_t Align4(std::size_t N) { return (N + 3) & ~std::size_t{3}; }

// UTF-16 as 8-bit text: what fits in a byte is kept, the rest becomes '?'.
std::string Narrow(std::span<const std::uint8_t> Bytes, std::size_t& At, std::size_t End) {
  std::string Text;
  while (At + 1 < End) {
    const std::uint16_t C = Word(Bytes, At);
    At += 2;
    if (C == 0) return Text;
    Text += C < 256 ? static_cast<char>(C) : '?';
  }
  return Text;
}

// The block at the start of Bytes; none when it does not fit.
std::optional<TBlock> ParseBlock(std::span<const std::uint8_t> Bytes, std::size_t& Length) {
  if (Bytes.size() < 6) return std::nullopt;
  Length = Word(Bytes, 0);
  const std::size_t ValueLength = Word(Bytes, 2);
  const bool Text = Word(Bytes, 4) == 1;
  if (Length < 6 || Length > Bytes.size()) return std::nullopt;
  TBlock Block;
  std::size_t At = 6;
  Block.Key = Narrow(Bytes, At, Length);
  At = Align4(At);
  const std::size_t ValueBytes = Text ? 2 * ValueLength : ValueLength;
  if (At > Length || ValueBytes > Length - At) return std::nullopt;
  Block.Value = Bytes.subspan(At, ValueBytes);
  At = std::min(Align4(At + ValueBytes), static_cast<std::size_t>(Length));
  Block.Children = Bytes.subspan(At, Length - At);
  return Block;
}

std::optional<TBlock> Child(std::span<const std::uint8_t> Children, const std::string& Key) {
  while (!Children.empty()) {
    std::size_t Length = 0;
    auto Block = ParseBlock(Children, Length);
    if (!Block) return std::nullopt;
    if (Block->Key == Key) return Block;
    Children = Children.subspan(std::min(Align4(Length), Children.size()));
  }
  return std::nullopt;
}

std::uint32_t DWord(std::span<const std::uint8_t> Bytes, std::size_t At) {
  return Word(Bytes, At) | static_cast<std::uint32_t>(Word(Bytes, At + 2)) << 16;
}

} // namespace

TVersionInfo ReadVersionInfo(const std::string& FileName) {
  const std::vector<std::uint8_t> Data = toolkit::VersionResource(FileName);
  if (Data.empty())
    throw EVersionInfoError("No version-info was associated with the requested file \"" + FileName + "\"");
  std::size_t Length = 0;
  const auto Root = ParseBlock(Data, Length);
  if (!Root || Root->Value.size() != 52 || DWord(Root->Value, 0) != 0xFEEF04BD)
    throw EVersionInfoError("An error occurred while reading the FixedFileInfo structure from the file.");
  TVersionInfo Info;
  Info.FileVersionMS = DWord(Root->Value, 8);
  Info.FileVersionLS = DWord(Root->Value, 12);
  Info.ProductVersionMS = DWord(Root->Value, 16);
  Info.ProductVersionLS = DWord(Root->Value, 20);

  std::optional<TBlock> Translation;
  if (auto Var = Child(Root->Children, "VarFileInfo")) Translation = Child(Var->Children, "Translation");
  if (!Translation || Translation->Value.size() < 4)
    throw EVersionInfoError("An error occurred while reading the language/charset description in the file.");
  // Language then code page, each byte as two digits: the string table's name.
  static const char Digits[] = "0123456789ABCDEF";
  std::string Table;
  for (std::size_t At : {1, 0, 3, 2}) {
    Table += Digits[Translation->Value[At] >> 4];
    Table += Digits[Translation->Value[At] & 15];
  }
  std::optional<TBlock> Strings;
  if (auto StringInfo = Child(Root->Children, "StringFileInfo")) Strings = Child(StringInfo->Children, Table);
  auto Entry = [&](const char* Name) {
    if (!Strings) return std::string();
    const auto Block = Child(Strings->Children, Name);
    if (!Block) return std::string();
    std::size_t At = 0;
    return Narrow(Block->Value, At, Block->Value.size());
  };
  Info.CompanyName = Entry("CompanyName");
  Info.InternalName = Entry("InternalName");
  Info.FileDescription = Entry("FileDescription");
  Info.OriginalFilename = Entry("OriginalFilename");
  Info.ProductName = Entry("ProductName");
  Info.LegalCopyright = Entry("LegalCopyright");
  return Info;
}

std::string VersionText(const TVersionInfo& Info) {
  char Text[64];
  std::snprintf(Text, sizeof Text, "%d.%d.%d %d", static_cast<int>(Info.ProductVersionMS >> 16),
                static_cast<int>(Info.ProductVersionMS & 0xFFFF), static_cast<int>(Info.ProductVersionLS & 0xFFFF),
                static_cast<int>(Info.ProductVersionLS >> 16));
  return Text;
}

void ReadApplicationVersion() {
  try {
    ApplicationVersion = VersionText(ReadVersionInfo(toolkit::ExecutableFileName()));
  } catch (const EVersionInfoError&) {
    ApplicationVersion.clear();
  }
}
