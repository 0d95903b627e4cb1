#include "tiff_metadata.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "cli_error.h"

namespace {

constexpr std::uint16_t IccTag = 34675, ExifTag = 34665, GpsTag = 34853, InteropTag = 40965;

// The first image directory's tags that EXIF's first directory holds as well: what describes
// the photo, not how its pixels are stored (colorimetry and YCbCr tags would change how a TIFF
// reader takes the pixels we write).
constexpr std::uint16_t DescriptiveTags[] = {
    270,   // ImageDescription
    271,   // Make
    272,   // Model
    274,   // Orientation
    282,   // XResolution
    283,   // YResolution
    296,   // ResolutionUnit
    305,   // Software
    306,   // DateTime
    315,   // Artist
    33432, // Copyright
};

// Field types.
constexpr std::uint16_t Long = 4, Rational = 5, Undefined = 7, SRational = 10, Ifd = 13, Long8 = 16, Ifd8 = 18;

// Bytes of one value of each field type (BigTIFF's eight-byte integers too); 0 for unknown types.
int TypeBytes(std::uint16_t Type) {
  static const int Bytes[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4, 0, 0, 8, 8, 8};
  return Type < std::size(Bytes) ? Bytes[Type] : 0;
}

// A directory holds 65,535 entries in classic TIFF; more in a BigTIFF one is taken as damage.
constexpr std::uint64_t MaxEntries = 65535;
// What EXIF data may weigh: far above any camera's, and a bound on what hostile directories whose
// values overlap can make us copy.
constexpr std::uint64_t MaxExifBytes = 16u << 20;

enum TKind { FirstKind, ExifKind, GpsKind, InteropKind, KindCount };

// The kind of directory Tag leads to from a directory of kind Kind; -1 for other tags.
int PointedKind(std::uint16_t Tag, int Kind) {
  if (Kind == FirstKind && Tag == ExifTag) return ExifKind;
  if (Kind == FirstKind && Tag == GpsTag) return GpsKind;
  if (Kind == ExifKind && Tag == InteropTag) return InteropKind;
  return -1;
}

// Whether a tag other than a pointer goes into EXIF. A pointer tag where it does not belong
// would point nowhere once the directories move.
bool Kept(std::uint16_t Tag, int Kind) {
  if (Kind == FirstKind)
    return std::find(std::begin(DescriptiveTags), std::end(DescriptiveTags), Tag) != std::end(DescriptiveTags);
  return Tag != ExifTag && Tag != GpsTag && Tag != InteropTag;
}

void PutNumber(std::uint8_t* To, std::uint64_t Value, int Bytes, bool Big) {
  for (int I = 0; I < Bytes; ++I) To[Big ? Bytes - 1 - I : I] = std::uint8_t(Value >> 8 * I);
}

struct TRawEntry {
  std::uint16_t Tag, Type;
  std::uint64_t Count;
  std::uint64_t ValueAt; // where the entry's value field lies
};

// A TIFF structure's bytes, read with every offset and size checked against them.
class TTiffReader {
public:
  explicit TTiffReader(const std::vector<std::uint8_t>& Data) : Data(Data) {}

  // False for anything but a classic TIFF or BigTIFF header.
  bool ReadHeader() {
    if (Data.size() < 8 || Data[0] != Data[1] || (Data[0] != 'I' && Data[0] != 'M')) return false;
    Big = Data[0] == 'M';
    const std::uint64_t Version = Number(2, 2);
    if (Version == 42) {
      First = Number(4, 4);
      return true;
    }
    if (Version != 43 || Data.size() < 16 || Number(4, 2) != 8 || Number(6, 2) != 0) return false;
    Wide = true;
    First = Number(8, 8);
    return true;
  }

  // The number of Bytes bytes at At, which the caller has checked.
  std::uint64_t Number(std::uint64_t At, int Bytes) const {
    std::uint64_t Value = 0;
    for (int I = 0; I < Bytes; ++I) Value |= std::uint64_t(Data[std::size_t(At) + (Big ? Bytes - 1 - I : I)]) << 8 * I;
    return Value;
  }

  bool Fits(std::uint64_t At, std::uint64_t Size) const { return At <= Data.size() && Size <= Data.size() - At; }

  // The entries of the directory at At and its link to the next; false when it does not fit.
  bool ReadDirectory(std::uint64_t At, std::vector<TRawEntry>& Entries, std::uint64_t& Next) const {
    const int CountBytes = Wide ? 8 : 2, OffsetBytes = Wide ? 8 : 4;
    const std::uint64_t EntryBytes = Wide ? 20 : 12;
    if (!Fits(At, std::uint64_t(CountBytes))) return false;
    const std::uint64_t Count = Number(At, CountBytes), First = At + std::uint64_t(CountBytes);
    const std::uint64_t End = First + Count * EntryBytes;
    if (Count > MaxEntries || !Fits(First, Count * EntryBytes + std::uint64_t(OffsetBytes))) return false;
    for (std::uint64_t Entry = First; Entry < End; Entry += EntryBytes)
      Entries.push_back({std::uint16_t(Number(Entry, 2)), std::uint16_t(Number(Entry + 2, 2)),
                         Number(Entry + 4, OffsetBytes), Entry + 4 + std::uint64_t(OffsetBytes)});
    Next = Number(End, OffsetBytes);
    return true;
  }

  // Where Entry's value lies and its size; false for an unknown type or a value past the end.
  bool Locate(const TRawEntry& Entry, std::uint64_t& At, std::uint64_t& Size) const {
    const int Unit = TypeBytes(Entry.Type), Inline = Wide ? 8 : 4;
    if (Unit == 0 || Entry.Count > UINT64_MAX / 8) return false;
    Size = Entry.Count * std::uint64_t(Unit);
    At = Size <= std::uint64_t(Inline) ? Entry.ValueAt : Number(Entry.ValueAt, Inline);
    return Fits(At, Size);
  }

  const std::vector<std::uint8_t>& Data;
  bool Big = false, Wide = false;
  std::uint64_t First = 0; // the first directory's offset
};

// ============================================================================
// EXIF's directories as a tree
// ============================================================================

struct TField {
  std::uint16_t Tag = 0, Type = 0;
  std::uint32_t Count = 0;
  std::vector<std::uint8_t> Value; // Count values in the tree's byte order; for the file's own
                                   // entries, their value field as it is
  int Sub = -1;                    // the directory a pointer tag leads to
};

struct TDirectory {
  std::vector<TField> Fields;
  std::uint32_t Next = 0;
};

// Directories[0] is the first; each other one is led to by one pointer field.
struct TTree {
  bool Big = false;
  std::vector<TDirectory> Directories;
};

// Sorted by tag as TIFF requires; of fields sharing a tag the first stays.
void SortUnique(std::vector<TField>& Fields) {
  auto Before = [](const TField& A, const TField& B) { return A.Tag < B.Tag; };
  std::stable_sort(Fields.begin(), Fields.end(), Before);
  auto Same = [](const TField& A, const TField& B) { return A.Tag == B.Tag; };
  Fields.erase(std::unique(Fields.begin(), Fields.end(), Same), Fields.end());
}

struct TBudget {
  std::uint64_t Bytes = MaxExifBytes;
  bool Read[KindCount] = {};        // one directory of each kind: a second pointer is dropped
  std::vector<std::uint64_t> Seen; // a directory met twice is a cycle or damage
};

// Reads the directory at At, of kind Kind, and those it leads to into Tree; false on damage.
bool ReadTreeDirectory(const TTiffReader& Reader, std::uint64_t At, int Kind, TTree& Tree, TBudget& Budget) {
  std::vector<TRawEntry> Entries;
  std::uint64_t Next = 0;
  if (std::find(Budget.Seen.begin(), Budget.Seen.end(), At) != Budget.Seen.end() ||
      !Reader.ReadDirectory(At, Entries, Next))
    return false;
  Budget.Seen.push_back(At);
  const std::size_t Index = Tree.Directories.size();
  Tree.Directories.emplace_back();
  for (const TRawEntry& Entry : Entries) {
    const int Pointed = PointedKind(Entry.Tag, Kind);
    // Unknown types (and BigTIFF's, which EXIF cannot hold) are passed over, as readers do.
    if (Pointed < 0 ? !Kept(Entry.Tag, Kind) || Entry.Type == 0 || Entry.Type > Ifd : Budget.Read[Pointed]) continue;
    std::uint64_t ValueAt = 0, Size = 0;
    if (!Reader.Locate(Entry, ValueAt, Size) || Size > Budget.Bytes) return false;
    Budget.Bytes -= Size;
    TField Field{Entry.Tag, Entry.Type, std::uint32_t(Entry.Count), {}, -1};
    if (Pointed >= 0) {
      const std::uint16_t T = Entry.Type;
      if (Entry.Count != 1 || (T != Long && T != Ifd && T != Long8 && T != Ifd8)) return false;
      Budget.Read[Pointed] = true;
      Field.Sub = int(Tree.Directories.size());
      if (!ReadTreeDirectory(Reader, Reader.Number(ValueAt, int(Size)), Pointed, Tree, Budget)) return false;
    } else {
      const auto From = Reader.Data.begin() + std::ptrdiff_t(ValueAt);
      Field.Value.assign(From, From + std::ptrdiff_t(Size));
    }
    Tree.Directories[Index].Fields.push_back(std::move(Field));
  }
  SortUnique(Tree.Directories[Index].Fields);
  return true;
}

// The tree of Reader's first directory; false on damage.
bool ReadTree(const TTiffReader& Reader, TTree& Tree) {
  TBudget Budget;
  Tree.Big = Reader.Big;
  return ReadTreeDirectory(Reader, Reader.First, FirstKind, Tree, Budget);
}

// Every value turned to the other byte order, by the size of the numbers its type holds.
void SwapByteOrder(TTree& Tree) {
  for (TDirectory& Directory : Tree.Directories)
    for (TField& Field : Directory.Fields) {
      const bool Pairs = Field.Type == Rational || Field.Type == SRational; // two LONGs each
      const std::size_t Unit = std::size_t(Pairs ? 4 : TypeBytes(Field.Type));
      for (std::size_t At = 0; Unit > 1 && At + Unit <= Field.Value.size(); At += Unit)
        std::reverse(Field.Value.begin() + std::ptrdiff_t(At), Field.Value.begin() + std::ptrdiff_t(At + Unit));
    }
  Tree.Big = !Tree.Big;
}

// Bytes appended at the next word boundary; their offset.
std::uint64_t AppendAligned(std::vector<std::uint8_t>& Out, const std::uint8_t* Bytes, std::size_t Size) {
  if (Out.size() % 2) Out.push_back(0);
  const std::uint64_t At = Out.size();
  Out.insert(Out.end(), Bytes, Bytes + Size);
  return At;
}

// Appends the directory Index of Tree, the values it does not hold in its entries and the
// directories it leads to; returns its offset. Offsets past 4 GiB are cut: the caller checks.
std::uint64_t AppendDirectory(std::vector<std::uint8_t>& Out, const TTree& Tree, std::size_t Index) {
  const TDirectory& Directory = Tree.Directories[Index];
  const std::size_t Count = Directory.Fields.size();
  std::vector<std::uint8_t> Bytes(2 + 12 * Count + 4);
  PutNumber(&Bytes[0], Count, 2, Tree.Big);
  for (std::size_t I = 0; I < Count; ++I) {
    const TField& Field = Directory.Fields[I];
    std::uint8_t* Entry = &Bytes[2 + 12 * I];
    PutNumber(Entry, Field.Tag, 2, Tree.Big);
    PutNumber(Entry + 2, Field.Sub >= 0 ? Long : Field.Type, 2, Tree.Big);
    PutNumber(Entry + 4, Field.Sub >= 0 ? 1 : Field.Count, 4, Tree.Big);
    if (Field.Sub >= 0) PutNumber(Entry + 8, AppendDirectory(Out, Tree, std::size_t(Field.Sub)), 4, Tree.Big);
    else if (Field.Value.size() <= 4) std::copy(Field.Value.begin(), Field.Value.end(), Entry + 8);
    else PutNumber(Entry + 8, AppendAligned(Out, Field.Value.data(), Field.Value.size()), 4, Tree.Big);
  }
  PutNumber(&Bytes[2 + 12 * Count], Directory.Next, 4, Tree.Big);
  return AppendAligned(Out, Bytes.data(), Bytes.size());
}

void WarnExifLeftOut(const std::string& Name, const char* Why) {
  std::fprintf(stderr, "featureresize: %s: %s; EXIF data left out\n", Name.c_str(), Why);
}

} // namespace

TImageMetadata ReadTiffMetadata(const std::vector<std::uint8_t>& Tiff, const std::string& Name) {
  TImageMetadata Metadata;
  TTiffReader File(Tiff);
  std::vector<TRawEntry> Entries;
  std::uint64_t Next = 0;
  if (!File.ReadHeader() || !File.ReadDirectory(File.First, Entries, Next)) return Metadata;
  bool HasExif = false;
  bool SeenIcc = false;
  for (const TRawEntry& Entry : Entries) {
    HasExif |= PointedKind(Entry.Tag, FirstKind) >= 0;
    if (Entry.Tag != IccTag || SeenIcc) continue;
    SeenIcc = true;
    std::uint64_t At = 0, Size = 0;
    if (TypeBytes(Entry.Type) != 1 || !File.Locate(Entry, At, Size))
      FailFile(Name, "damaged TIFF file (invalid ICC profile tag)");
    Metadata.Icc.assign(Tiff.begin() + std::ptrdiff_t(At), Tiff.begin() + std::ptrdiff_t(At + Size));
  }
  // Without an Exif or GPS directory the descriptive tags stay the file's own: EXIF data of
  // a first directory alone is not what cameras write, and not what users expect a plain TIFF to
  // bring into a JPEG.
  if (!HasExif) return Metadata;
  TTree Tree;
  if (!ReadTree(File, Tree)) {
    WarnExifLeftOut(Name, "damaged EXIF directories");
    return Metadata;
  }
  Metadata.Exif = {'I', 'I', 42, 0, 0, 0, 0, 0};
  if (Tree.Big) Metadata.Exif = {'M', 'M', 0, 42, 0, 0, 0, 0};
  const std::uint64_t At = AppendDirectory(Metadata.Exif, Tree, 0); // before the header is addressed: it moves
  PutNumber(&Metadata.Exif[4], At, 4, Tree.Big);
  return Metadata;
}

std::vector<std::uint8_t> WithTiffMetadata(const std::vector<std::uint8_t>& Tiff, const TImageMetadata& Metadata,
                                           const std::string& Name) {
  TTiffReader File(Tiff);
  std::vector<TRawEntry> Entries;
  std::uint64_t Next = 0;
  if ((Metadata.Icc.empty() && Metadata.Exif.empty()) || !File.ReadHeader() || File.Wide ||
      !File.ReadDirectory(File.First, Entries, Next))
    return Tiff;
  TTree Tree;
  if (!Metadata.Exif.empty()) {
    TTiffReader Exif(Metadata.Exif);
    if (!Exif.ReadHeader() || !ReadTree(Exif, Tree)) {
      WarnExifLeftOut(Name, "damaged EXIF data");
      Tree.Directories.clear();
    } else if (Tree.Big != File.Big) {
      SwapByteOrder(Tree);
    }
  }
  Tree.Big = File.Big;
  if (Tree.Directories.empty()) Tree.Directories.emplace_back();
  // The file's own entries first, so that they win over EXIF's (the encoder's orientation).
  std::vector<TField> Own;
  for (const TRawEntry& Entry : Entries) {
    const auto Field = Tiff.begin() + std::ptrdiff_t(Entry.ValueAt);
    Own.push_back({Entry.Tag, Entry.Type, std::uint32_t(Entry.Count), {Field, Field + 4}, -1});
  }
  if (!Metadata.Icc.empty()) Own.push_back({IccTag, Undefined, std::uint32_t(Metadata.Icc.size()), Metadata.Icc, -1});
  TDirectory& First = Tree.Directories[0];
  First.Fields.insert(First.Fields.begin(), Own.begin(), Own.end());
  SortUnique(First.Fields);
  First.Next = std::uint32_t(Next);
  std::vector<std::uint8_t> Out = Tiff;
  const std::uint64_t At = AppendDirectory(Out, Tree, 0);
  if (Out.size() > UINT32_MAX || First.Fields.size() > MaxEntries) {
    std::fprintf(stderr, "featureresize: %s: the metadata does not fit in a TIFF file; left out\n", Name.c_str());
    return Tiff;
  }
  PutNumber(&Out[4], At, 4, File.Big);
  return Out;
}
