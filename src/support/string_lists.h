// String lists: the abstract TStrings with its generic operations, the open array-backed
// TOpenStringList with optional sorting and binary search, and its two descendants that
// keep an integer (TStringIntegerList) or an owned object (TStringObjectList) per string.
#pragma once

#include <cstdint>
#include <istream>
#include <memory>
#include <ostream>
#include <string>

#include "support/object.h"

// Every failure of a string list: bad indices, edits of a sorted list, refused duplicates.
class EStringListError : public Exception {
public:
  using Exception::Exception;
  const char* ClassName() const override { return "EStringListError"; }
};

// The abstract list of (string, object) items. Descendants supply the primitives; the
// generic operations below are built on them. Comparisons go through CompareStrings, which
// ignores ASCII case.
class TStrings : public TAssignObject {
public:
  const char* ClassName() const override { return "TStrings"; }

  // The primitives. Index errors are the descendant's to raise.
  virtual std::string Get(int Index) const = 0;
  virtual int GetCapacity() const { return GetCount(); }
  virtual int GetCount() const = 0;
  virtual TObject* GetObject(int Index) const;
  virtual void Put(int Index, const std::string& S);
  virtual void PutObject(int Index, TObject* Obj);
  virtual void SetCapacity(int NewCapacity);
  virtual int Add(const std::string& S);
  virtual void Clear() = 0;
  virtual void Delete(int Index) = 0;
  virtual void Exchange(int Index1, int Index2);
  virtual int IndexOf(const std::string& S) const;
  virtual void Insert(int Index, const std::string& S) = 0;
  // Moves the item at CurIndex so that it ends at NewIndex, keeping its object.
  virtual void Move(int CurIndex, int NewIndex);
  // Negative, zero or positive as S1 sorts before, with or after S2, ignoring ASCII case.
  virtual int CompareStrings(const std::string& S1, const std::string& S2) const;

  int Count() const { return GetCount(); }
  // Add(S), then attach Obj to the new item; returns its index.
  int AddObject(const std::string& S, TObject* Obj);
  // Appends every string of Strings with its object (objects are shared, not copied).
  void AddStrings(const TStrings& Strings);
  // Insert(Index, S), then attach Obj to the new item.
  void InsertObject(int Index, const std::string& S, TObject* Obj);
  // First item of the form Name=Value whose Name matches; -1 when none.
  int IndexOfName(const std::string& Name) const;
  // First item holding exactly Obj; -1 when none.
  int IndexOfObject(const TObject* Obj) const;

  // All strings, each followed by CR LF.
  std::string Text() const;
  // Replaces the items by the lines of Value; CR LF, CR and LF all end a line.
  void SetText(const std::string& Value);
  // Replaces the items by the lines read from Stream up to its end.
  void LoadFromStream(std::istream& Stream);
  // Writes Text() to Stream.
  void SaveToStream(std::ostream& Stream) const;

  // From another TStrings: Clear, then AddStrings. Other sources go to TAssignObject.
  void Assign(const TObject* Source) override;
};

enum TDuplicatesMode : std::uint8_t { dmIgnore = 0, dmAccept = 1, dmError = 2 };

struct TStringItem {
  std::string String;
  TObject* Object = nullptr;
};

// Comparison for CustomSort: negative, zero or positive as item Index1 sorts before, with or
// after item Index2.
class TOpenStringList;
using TStringListSortCompare = int (*)(TOpenStringList& List, int Index1, int Index2);

// The array-backed list. Its fields are open so that hot loops can read List and Count
// directly. The sorted search and sort compare case-sensitively by character code.
// Index errors raise EStringListError "List index out of bounds (%d)".
class TOpenStringList : public TStrings {
public:
  std::unique_ptr<TStringItem[]> List; // Capacity entries; those from Count on are empty
  std::int32_t Count = 0;
  std::int32_t Capacity = 0;
  bool Sorted = false;
  TDuplicatesMode Duplicates = dmIgnore;

  TOpenStringList() = default;
  TOpenStringList(const TOpenStringList&) = delete;
  TOpenStringList& operator=(const TOpenStringList&) = delete;
  const char* ClassName() const override { return "TOpenStringList"; }

  std::string Get(int Index) const override;
  int GetCapacity() const override { return Capacity; }
  int GetCount() const override { return Count; }
  TObject* GetObject(int Index) const override;
  // Raises "Operation not allowed on sorted string list" while Sorted.
  void Put(int Index, const std::string& S) override;
  // Replaces the pointer only; an old object is never freed here.
  void PutObject(int Index, TObject* Obj) override;
  // Raises "List capacity out of bounds (%d)" below Count.
  void SetCapacity(int NewCapacity) override;
  // Unsorted: appends. Sorted: inserts in order; an equal string is returned (dmIgnore),
  // added again before the equal ones (dmAccept) or refused with
  // "String list does not allow duplicates" (dmError).
  int Add(const std::string& S) override;
  // Releases all items and, when there were any, the array.
  void Clear() override;
  void Delete(int Index) override;
  void Exchange(int Index1, int Index2) override;
  // Unsorted: linear search ignoring ASCII case. Sorted: Find.
  int IndexOf(const std::string& S) const override;
  // Index may be Count. Raises "Operation not allowed on sorted string list" while Sorted.
  void Insert(int Index, const std::string& S) override;
  // Rotates the items in place; refused while Sorted, as Insert is.
  void Move(int CurIndex, int NewIndex) override;

  // Grows with empty items or deletes from the end; raises "List count out of bounds (%d)"
  // for a negative count.
  virtual void SetCount(int NewCount);
  // Binary search by character code. True when found; Index is then the first equal item
  // (unless dmAccept), otherwise where S would be inserted.
  virtual bool Find(const std::string& S, int& Index) const;
  virtual void Sort();
  // Quicksort (not stable) by Compare; does nothing while Sorted or with fewer than 2 items.
  virtual void CustomSort(TStringListSortCompare Compare);

  // Sorts when switching on; switching off keeps the order.
  void SetSorted(bool Value);

protected:
  void CheckIndex(int Index, int Limit) const;
  void CheckNotSorted() const;
  void InsertItem(int Index, const std::string& S);
  void ExchangeItems(int Index1, int Index2);

private:
  void Grow();
  void QuickSort(int L, int R, TStringListSortCompare Compare);
};

// Keeps a 32-bit integer in each item's object slot.
class TStringIntegerList : public TOpenStringList {
public:
  const char* ClassName() const override { return "TStringIntegerList"; }
  // The integer of item Index; raises the index error.
  std::int32_t Integers(int Index) const;
  // Add(S), then store Value with the returned index (with dmIgnore this overwrites the
  // integer of an existing equal item). Returns the index.
  int AddInteger(const std::string& S, std::int32_t Value);
};

// Owns the object of each item: Delete, Clear, SetCount and destruction free them.
// PutObject does not free the object it replaces.
class TStringObjectList : public TOpenStringList {
public:
  TStringObjectList() = default;
  ~TStringObjectList() override;
  const char* ClassName() const override { return "TStringObjectList"; }
  void Clear() override;
  void Delete(int Index) override;
  // Copies only from lists without objects: objects cannot be owned twice. Otherwise raises
  // "Cannot assign <source class> to TStringObjectList".
  void Assign(const TObject* Source) override;

protected:
  // Releases an object leaving the list; descendants may defer it.
  virtual void FreeObject(TObject* Obj) { delete Obj; }
};

// True when S begins with Prefix, case-sensitively (always for an empty prefix).
bool StartsWith(const std::string& Prefix, const std::string& S);
// True when S ends with Suffix, case-sensitively; false when S is shorter.
bool EndsWith(const std::string& Suffix, const std::string& S);
