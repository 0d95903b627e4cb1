#include "support/string_lists.h"

#include <algorithm>
#include <iterator>
#include <limits>
#include <utility>

namespace {

[[noreturn]] void RaiseListError(const char* Format, int Value) {
  std::string Message(Format);
  Message.replace(Message.find("%d"), 2, std::to_string(Value));
  throw EStringListError(Message);
}

char FoldCase(char C) { return (C >= 'A' && C <= 'Z') ? char(C - 'A' + 'a') : C; }

// Case-sensitive order by character code (unsigned, as std::string::compare does).
int CompareByCode(const std::string& S1, const std::string& S2) { return S1.compare(S2); }

int CompareItemStrings(TOpenStringList& List, int Index1, int Index2) {
  return CompareByCode(List.List[Index1].String, List.List[Index2].String);
}

} // namespace

// ---------------------------------------------------------------------------------------
// TStrings
// ---------------------------------------------------------------------------------------

TObject* TStrings::GetObject(int) const { return nullptr; }

void TStrings::Put(int Index, const std::string& S) {
  TObject* Obj = GetObject(Index);
  Delete(Index);
  InsertObject(Index, S, Obj);
}

void TStrings::PutObject(int, TObject*) {}

void TStrings::SetCapacity(int) {}

int TStrings::Add(const std::string& S) {
  int Index = GetCount();
  Insert(Index, S);
  return Index;
}

void TStrings::Exchange(int Index1, int Index2) {
  std::string S1 = Get(Index1);
  TObject* O1 = GetObject(Index1);
  Put(Index1, Get(Index2));
  PutObject(Index1, GetObject(Index2));
  Put(Index2, S1);
  PutObject(Index2, O1);
}

int TStrings::IndexOf(const std::string& S) const {
  for (int I = 0, N = GetCount(); I < N; ++I)
    if (CompareStrings(Get(I), S) == 0) return I;
  return -1;
}

void TStrings::Move(int CurIndex, int NewIndex) {
  if (CurIndex == NewIndex) return;
  std::string S = Get(CurIndex);
  TObject* Obj = GetObject(CurIndex);
  Delete(CurIndex);
  InsertObject(NewIndex, S, Obj);
}

int TStrings::CompareStrings(const std::string& S1, const std::string& S2) const {
  std::size_t N = std::min(S1.size(), S2.size());
  for (std::size_t I = 0; I < N; ++I) {
    auto C1 = static_cast<unsigned char>(FoldCase(S1[I]));
    auto C2 = static_cast<unsigned char>(FoldCase(S2[I]));
    if (C1 != C2) return C1 < C2 ? -1 : 1;
  }
  return S1.size() == S2.size() ? 0 : (S1.size() < S2.size() ? -1 : 1);
}

int TStrings::AddObject(const std::string& S, TObject* Obj) {
  int Index = Add(S);
  PutObject(Index, Obj);
  return Index;
}

void TStrings::AddStrings(const TStrings& Strings) {
  // A list added to itself must stop at its original end.
  for (int I = 0, N = Strings.GetCount(); I < N; ++I)
    AddObject(Strings.Get(I), Strings.GetObject(I));
}

void TStrings::InsertObject(int Index, const std::string& S, TObject* Obj) {
  Insert(Index, S);
  PutObject(Index, Obj);
}

int TStrings::IndexOfName(const std::string& Name) const {
  for (int I = 0, N = GetCount(); I < N; ++I) {
    std::string S = Get(I);
    std::size_t P = S.find('=');
    if (P != std::string::npos && CompareStrings(S.substr(0, P), Name) == 0) return I;
  }
  return -1;
}

int TStrings::IndexOfObject(const TObject* Obj) const {
  for (int I = 0, N = GetCount(); I < N; ++I)
    if (GetObject(I) == Obj) return I;
  return -1;
}

std::string TStrings::Text() const {
  std::string Result;
  for (int I = 0, N = GetCount(); I < N; ++I) Result += Get(I) + "\r\n";
  return Result;
}

void TStrings::SetText(const std::string& Value) {
  Clear();
  std::size_t P = 0;
  while (P < Value.size()) {
    std::size_t End = Value.find_first_of("\r\n", P);
    if (End == std::string::npos) End = Value.size();
    Add(Value.substr(P, End - P));
    P = End;
    if (P < Value.size() && Value[P] == '\r') ++P;
    if (P < Value.size() && Value[P] == '\n') ++P;
  }
}

void TStrings::LoadFromStream(std::istream& Stream) {
  SetText(std::string(std::istreambuf_iterator<char>(Stream), std::istreambuf_iterator<char>()));
}

void TStrings::SaveToStream(std::ostream& Stream) const { Stream << Text(); }

void TStrings::Assign(const TObject* Source) {
  if (auto* From = dynamic_cast<const TStrings*>(Source)) {
    if (From == this) return; // Clear would empty the source as well
    Clear();
    AddStrings(*From);
    return;
  }
  TAssignObject::Assign(Source);
}

// ---------------------------------------------------------------------------------------
// TOpenStringList
// ---------------------------------------------------------------------------------------

void TOpenStringList::CheckIndex(int Index, int Limit) const {
  if (Index < 0 || Index > Limit) RaiseListError("List index out of bounds (%d)", Index);
}

void TOpenStringList::CheckNotSorted() const {
  if (Sorted) throw EStringListError("Operation not allowed on sorted string list");
}

std::string TOpenStringList::Get(int Index) const {
  CheckIndex(Index, Count - 1);
  return List[Index].String;
}

TObject* TOpenStringList::GetObject(int Index) const {
  CheckIndex(Index, Count - 1);
  return List[Index].Object;
}

void TOpenStringList::Put(int Index, const std::string& S) {
  CheckNotSorted();
  CheckIndex(Index, Count - 1);
  List[Index].String = S;
}

void TOpenStringList::PutObject(int Index, TObject* Obj) {
  CheckIndex(Index, Count - 1);
  List[Index].Object = Obj;
}

void TOpenStringList::SetCapacity(int NewCapacity) {
  if (NewCapacity < Count) RaiseListError("List capacity out of bounds (%d)", NewCapacity);
  if (NewCapacity == Capacity) return;
  std::unique_ptr<TStringItem[]> NewList;
  if (NewCapacity > 0) NewList = std::make_unique<TStringItem[]>(std::size_t(NewCapacity));
  std::move(List.get(), List.get() + Count, NewList.get());
  List = std::move(NewList);
  Capacity = NewCapacity;
}

void TOpenStringList::Grow() {
  int Delta = Capacity > 64 ? Capacity / 4 : (Capacity > 8 ? 16 : 4);
  if (Capacity > std::numeric_limits<std::int32_t>::max() - Delta)
    RaiseListError("List capacity out of bounds (%d)", Capacity);
  SetCapacity(Capacity + Delta);
}

void TOpenStringList::InsertItem(int Index, const std::string& S) {
  if (Count == Capacity) Grow();
  std::move_backward(List.get() + Index, List.get() + Count, List.get() + Count + 1);
  List[Index] = TStringItem{S, nullptr};
  ++Count;
}

int TOpenStringList::Add(const std::string& S) {
  int Index = Count;
  if (Sorted && Find(S, Index)) {
    if (Duplicates == dmIgnore) return Index;
    if (Duplicates == dmError) throw EStringListError("String list does not allow duplicates");
  }
  InsertItem(Index, S);
  return Index;
}

void TOpenStringList::Clear() {
  if (Count == 0) return;
  Count = 0;
  Capacity = 0;
  List.reset();
}

void TOpenStringList::Delete(int Index) {
  CheckIndex(Index, Count - 1);
  std::move(List.get() + Index + 1, List.get() + Count, List.get() + Index);
  --Count;
  List[Count] = TStringItem{}; // keep the unused tail empty for SetCount
}

void TOpenStringList::ExchangeItems(int Index1, int Index2) {
  std::swap(List[Index1], List[Index2]);
}

void TOpenStringList::Exchange(int Index1, int Index2) {
  CheckIndex(Index1, Count - 1);
  CheckIndex(Index2, Count - 1);
  ExchangeItems(Index1, Index2);
}

int TOpenStringList::IndexOf(const std::string& S) const {
  if (!Sorted) return TStrings::IndexOf(S);
  int Index;
  return Find(S, Index) ? Index : -1;
}

void TOpenStringList::Insert(int Index, const std::string& S) {
  CheckNotSorted();
  CheckIndex(Index, Count);
  InsertItem(Index, S);
}

void TOpenStringList::Move(int CurIndex, int NewIndex) {
  // Deleting and re-inserting would free an owned object and lose the item on a sorted
  // list; rotating keeps both.
  CheckNotSorted();
  CheckIndex(CurIndex, Count - 1);
  CheckIndex(NewIndex, Count - 1);
  TStringItem* Items = List.get();
  if (CurIndex < NewIndex)
    std::rotate(Items + CurIndex, Items + CurIndex + 1, Items + NewIndex + 1);
  else if (CurIndex > NewIndex)
    std::rotate(Items + NewIndex, Items + CurIndex, Items + CurIndex + 1);
}

void TOpenStringList::SetCount(int NewCount) {
  if (NewCount < 0) RaiseListError("List count out of bounds (%d)", NewCount);
  if (NewCount > Count) {
    if (Capacity < NewCount) SetCapacity(NewCount);
    Count = NewCount; // the tail beyond Count is always empty
  } else {
    for (int I = Count - 1; I >= NewCount; --I) Delete(I);
  }
}

bool TOpenStringList::Find(const std::string& S, int& Index) const {
  bool Found = false;
  int Lo = 0, Hi = Count - 1;
  while (Lo <= Hi) {
    int Mid = int((unsigned(Lo) + unsigned(Hi)) >> 1);
    int C = CompareByCode(List[Mid].String, S);
    if (C < 0) {
      Lo = Mid + 1;
    } else {
      Hi = Mid - 1;
      if (C == 0) {
        Found = true;
        if (Duplicates != dmAccept) Lo = Mid;
      }
    }
  }
  Index = Lo;
  return Found;
}

void TOpenStringList::Sort() { CustomSort(CompareItemStrings); }

void TOpenStringList::CustomSort(TStringListSortCompare Compare) {
  if (!Sorted && Count > 1) QuickSort(0, Count - 1, Compare);
}

void TOpenStringList::QuickSort(int L, int R, TStringListSortCompare Compare) {
  int I;
  do {
    I = L;
    int J = R;
    int P = int((unsigned(L) + unsigned(R)) >> 1);
    do {
      while (Compare(*this, I, P) < 0) ++I;
      while (Compare(*this, J, P) > 0) --J;
      if (I <= J) {
        ExchangeItems(I, J);
        // The pivot index follows the pivot item.
        if (P == I)
          P = J;
        else if (P == J)
          P = I;
        ++I;
        --J;
      }
    } while (I <= J);
    if (L < J) QuickSort(L, J, Compare);
    L = I;
  } while (I < R);
}

void TOpenStringList::SetSorted(bool Value) {
  if (Sorted == Value) return;
  if (Value) Sort();
  Sorted = Value;
}

// ---------------------------------------------------------------------------------------
// TStringIntegerList and TStringObjectList
// ---------------------------------------------------------------------------------------

std::int32_t TStringIntegerList::Integers(int Index) const {
  CheckIndex(Index, Count - 1);
  return static_cast<std::int32_t>(reinterpret_cast<std::intptr_t>(List[Index].Object));
}

int TStringIntegerList::AddInteger(const std::string& S, std::int32_t Value) {
  int Index = Add(S);
  List[Index].Object = reinterpret_cast<TObject*>(static_cast<std::intptr_t>(Value));
  return Index;
}

TStringObjectList::~TStringObjectList() { TStringObjectList::Clear(); }

void TStringObjectList::Clear() {
  for (int I = 0; I < Count; ++I) {
    TObject* Obj = std::exchange(List[I].Object, nullptr);
    FreeObject(Obj);
  }
  TOpenStringList::Clear();
}

void TStringObjectList::Delete(int Index) {
  CheckIndex(Index, Count - 1);
  FreeObject(std::exchange(List[Index].Object, nullptr));
  TOpenStringList::Delete(Index);
}

void TStringObjectList::Assign(const TObject* Source) {
  if (auto* From = dynamic_cast<const TStrings*>(Source)) {
    for (int I = 0, N = From->GetCount(); I < N; ++I)
      if (From->GetObject(I) && From != this)
        throw Exception(std::string("Cannot assign ") + Source->ClassName() + " to " +
                        ClassName());
  }
  TOpenStringList::Assign(Source);
}

// ---------------------------------------------------------------------------------------
// Prefix and suffix tests
// ---------------------------------------------------------------------------------------

bool StartsWith(const std::string& Prefix, const std::string& S) {
  return S.size() >= Prefix.size() && S.compare(0, Prefix.size(), Prefix) == 0;
}

bool EndsWith(const std::string& Suffix, const std::string& S) {
  return S.size() >= Suffix.size() &&
         S.compare(S.size() - Suffix.size(), Suffix.size(), Suffix) == 0;
}
