#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <sstream>
#include <vector>

#include "support/string_lists.h"

namespace {

std::string ListError(const std::function<void()>& Action) {
  try {
    Action();
  } catch (const EStringListError& E) {
    return E.Message();
  } catch (const Exception& E) {
    return "Exception: " + E.Message();
  }
  return "(no exception)";
}

std::vector<std::string> Strings(const TStrings& L) {
  std::vector<std::string> Result;
  for (int I = 0; I < L.Count(); ++I) Result.push_back(L.Get(I));
  return Result;
}

void Fill(TOpenStringList& L, const std::vector<std::string>& Items) {
  for (const auto& S : Items) L.Add(S);
}

// Counts its live instances so tests can see what an owning list frees.
struct TCounted : TObject {
  static inline int Alive = 0;
  TCounted() { ++Alive; }
  ~TCounted() override { --Alive; }
};

} // namespace

TEST(StringListGrowth, CapacityStepsAsItemsAreAdded) {
  TOpenStringList L;
  std::vector<int> Seen{L.Capacity};
  for (int I = 0; I < 95; ++I) {
    L.Add("s");
    if (L.Capacity != Seen.back()) Seen.push_back(L.Capacity);
  }
  EXPECT_EQ(Seen, (std::vector<int>{0, 4, 8, 12, 28, 44, 60, 76, 95}));
}

TEST(StringListGrowth, ClearReleasesTheArrayOnlyWhenThereAreItems) {
  TOpenStringList L;
  L.SetCapacity(10);
  L.Clear();
  EXPECT_EQ(L.Capacity, 10);
  L.Add("a");
  L.Clear();
  EXPECT_EQ(L.Capacity, 0);
  EXPECT_EQ(L.Count, 0);
}

TEST(StringListGrowth, SetCountAddsEmptyItemsAndDeletesFromTheEnd) {
  TOpenStringList L;
  L.SetCount(3);
  EXPECT_EQ(Strings(L), (std::vector<std::string>{"", "", ""}));
  EXPECT_EQ(L.GetObject(2), nullptr);
  L.Put(1, "x");
  L.SetCount(1);
  L.SetCount(2); // the revived item must not show the deleted string
  EXPECT_EQ(Strings(L), (std::vector<std::string>{"", ""}));
  EXPECT_EQ(ListError([&] { L.SetCount(-1); }), "List count out of bounds (-1)");
}

TEST(StringListGrowth, CapacityBelowCountIsRefused) {
  TOpenStringList L;
  Fill(L, {"a", "b"});
  EXPECT_EQ(ListError([&] { L.SetCapacity(1); }), "List capacity out of bounds (1)");
  EXPECT_EQ(Strings(L), (std::vector<std::string>{"a", "b"}));
}

TEST(StringListSearch, FindOnEmptyListGivesFalseAndZero) {
  TOpenStringList L;
  int Index = -5;
  EXPECT_FALSE(L.Find("x", Index));
  EXPECT_EQ(Index, 0);
}

TEST(StringListSearch, FindGivesFirstEqualOrInsertionPoint) {
  struct TCase {
    std::vector<std::string> Items;
    std::string Key;
    TDuplicatesMode Mode;
    bool Found;
    int Index;
  };
  const TCase Cases[] = {
      {{"a", "b", "b", "b", "c"}, "b", dmAccept, true, 1},
      {{"b", "b", "b", "b"}, "b", dmAccept, true, 0},
      {{"a", "b", "c", "d", "e"}, "d", dmIgnore, true, 3},
      {{"a", "c", "e"}, "d", dmIgnore, false, 2},
      {{"a", "c", "e"}, "f", dmAccept, false, 3},
      {{"B", "a"}, "b", dmIgnore, false, 2}, // by character code: 'B' < 'a' < 'b'
  };
  for (const auto& C : Cases) {
    TOpenStringList L;
    L.Duplicates = dmAccept;
    L.SetSorted(true);
    Fill(L, C.Items);
    L.Duplicates = C.Mode;
    int Index = -1;
    EXPECT_EQ(L.Find(C.Key, Index), C.Found) << C.Key;
    EXPECT_EQ(Index, C.Index) << C.Key;
  }
}

TEST(StringListSearch, UnsortedIgnoresCaseSortedDoesNot) {
  TOpenStringList L;
  Fill(L, {"xyz", "abc"});
  EXPECT_EQ(L.IndexOf("ABC"), 1);
  L.SetSorted(true);
  EXPECT_EQ(L.IndexOf("ABC"), -1);
  EXPECT_EQ(L.IndexOf("abc"), 0);
}

TEST(StringListSearch, NamesAndObjects) {
  TOpenStringList L;
  TObject A, B;
  L.AddObject("width=10", &A);
  L.AddObject("Height=20", &B);
  L.Add("noequals");
  EXPECT_EQ(L.IndexOfName("HEIGHT"), 1);
  EXPECT_EQ(L.IndexOfName("noequals"), -1);
  EXPECT_EQ(L.IndexOfObject(&B), 1);
  EXPECT_EQ(L.IndexOfObject(nullptr), 2);
}

TEST(SortedStringList, DuplicatesModes) {
  TOpenStringList L;
  L.SetSorted(true);
  EXPECT_EQ(L.Add("m"), 0);
  EXPECT_EQ(L.Add("m"), 0);
  EXPECT_EQ(L.Count, 1);

  L.Duplicates = dmAccept;
  L.Add("a");
  L.PutObject(1, &L); // marks the first "m"
  EXPECT_EQ(L.Add("m"), 1);
  EXPECT_EQ(L.Count, 3);
  EXPECT_EQ(L.GetObject(1), nullptr); // the new one went before the old
  EXPECT_EQ(L.GetObject(2), &L);

  L.Duplicates = dmError;
  EXPECT_EQ(ListError([&] { L.Add("m"); }), "String list does not allow duplicates");
  EXPECT_EQ(L.Count, 3);
}

TEST(SortedStringList, SortingOnAndOff) {
  TOpenStringList L;
  Fill(L, {"pear", "Apple", "fig", "apple", "Fig", "banana", "pear"});
  L.SetSorted(true);
  EXPECT_EQ(Strings(L),
            (std::vector<std::string>{"Apple", "Fig", "apple", "banana", "fig", "pear", "pear"}));
  L.SetSorted(false);
  L.Add("0");
  EXPECT_EQ(L.Get(7), "0");
}

TEST(SortedStringList, SortMatchesStandardOrderOnManyInputs) {
  unsigned Seed = 12345;
  for (int Round = 0; Round < 50; ++Round) {
    TOpenStringList L;
    std::vector<std::string> Expected;
    for (int I = 0; I < Round * 3; ++I) {
      Seed = Seed * 1103515245u + 12345u;
      std::string S(1 + Seed % 3, char('a' + (Seed >> 8) % 5));
      L.Add(S);
      Expected.push_back(S);
    }
    L.Sort();
    std::sort(Expected.begin(), Expected.end());
    EXPECT_EQ(Strings(L), Expected) << Round;
  }
}

TEST(SortedStringList, EditsThatWouldBreakTheOrderAreRefused) {
  TOpenStringList L;
  Fill(L, {"a", "b"});
  L.SetSorted(true);
  const char* Refused = "Operation not allowed on sorted string list";
  EXPECT_EQ(ListError([&] { L.Put(0, "z"); }), Refused);
  EXPECT_EQ(ListError([&] { L.Put(99, "z"); }), Refused); // sortedness is checked first
  EXPECT_EQ(ListError([&] { L.Insert(0, "z"); }), Refused);
  EXPECT_EQ(ListError([&] { L.Move(0, 1); }), Refused);
  EXPECT_EQ(Strings(L), (std::vector<std::string>{"a", "b"}));
}

TEST(StringListIndices, OutOfBoundsNamesTheIndex) {
  TStringIntegerList L;
  Fill(L, {"a", "b"});
  struct TCase {
    std::function<void()> Action;
    const char* Message;
  };
  const TCase Cases[] = {
      {[&] { L.Get(2); }, "List index out of bounds (2)"},
      {[&] { L.GetObject(-1); }, "List index out of bounds (-1)"},
      {[&] { L.Put(5, "x"); }, "List index out of bounds (5)"},
      {[&] { L.PutObject(2, nullptr); }, "List index out of bounds (2)"},
      {[&] { L.Delete(2); }, "List index out of bounds (2)"},
      {[&] { L.Exchange(7, 9); }, "List index out of bounds (7)"},
      {[&] { L.Exchange(0, 9); }, "List index out of bounds (9)"},
      {[&] { L.Integers(2); }, "List index out of bounds (2)"},
      {[&] { L.Insert(3, "x"); }, "List index out of bounds (3)"},
      {[&] { L.Move(0, 2); }, "List index out of bounds (2)"},
  };
  for (const auto& C : Cases) EXPECT_EQ(ListError(C.Action), C.Message);
  L.Insert(2, "c"); // Count itself is a valid insertion point
  EXPECT_EQ(Strings(L), (std::vector<std::string>{"a", "b", "c"}));
}

TEST(StringListEdits, InsertDeleteExchangeMove) {
  TOpenStringList L;
  Fill(L, {"a", "b", "c", "d"});
  L.Insert(1, "x");
  L.Delete(3);
  L.Exchange(0, 3);
  EXPECT_EQ(Strings(L), (std::vector<std::string>{"d", "x", "b", "a"}));
  TObject O;
  L.PutObject(0, &O);
  L.Move(0, 3);
  EXPECT_EQ(Strings(L), (std::vector<std::string>{"x", "b", "a", "d"}));
  EXPECT_EQ(L.GetObject(3), &O);
  L.Move(3, 1);
  EXPECT_EQ(Strings(L), (std::vector<std::string>{"x", "d", "b", "a"}));
}

TEST(StringListText, ImportAndExport) {
  TOpenStringList L;
  L.SetText("one\r\ntwo\nthree\rfour\r\n\r\nsix");
  EXPECT_EQ(Strings(L), (std::vector<std::string>{"one", "two", "three", "four", "", "six"}));
  EXPECT_EQ(L.Text(), "one\r\ntwo\r\nthree\r\nfour\r\n\r\nsix\r\n");

  std::stringstream Stream;
  L.SaveToStream(Stream);
  TOpenStringList Copy;
  Copy.LoadFromStream(Stream);
  EXPECT_EQ(Strings(Copy), Strings(L));
}

TEST(StringListAssign, CopiesStringsAndObjects) {
  TOpenStringList From, To;
  TObject O;
  From.AddObject("a", &O);
  From.Add("b");
  To.Add("old");
  To.Assign(&From);
  EXPECT_EQ(Strings(To), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(To.GetObject(0), &O);
  To.Assign(&To);
  EXPECT_EQ(Strings(To), (std::vector<std::string>{"a", "b"}));
  TObject Bare;
  EXPECT_EQ(ListError([&] { To.Assign(&Bare); }),
            "Exception: Cannot assign TObject to TOpenStringList");
}

TEST(StringIntegerList, IntegersTravelWithTheirStrings) {
  TStringIntegerList L;
  L.SetSorted(true);
  L.AddInteger("b", -7);
  L.AddInteger("a", 2147483647);
  EXPECT_EQ(L.Integers(0), 2147483647);
  EXPECT_EQ(L.Integers(1), -7);
  L.AddInteger("b", 3); // dmIgnore overwrites the existing item's integer
  EXPECT_EQ(L.Count, 2);
  EXPECT_EQ(L.Integers(1), 3);
}

TEST(StringObjectList, OwnsAndFreesItsObjects) {
  {
    TStringObjectList L;
    for (int I = 0; I < 4; ++I) {
      std::string Name = "o"; // appended, not "o" + ...: GCC 12 warns falsely about that form
      Name += std::to_string(I);
      L.AddObject(Name, new TCounted);
    }
    EXPECT_EQ(TCounted::Alive, 4);
    L.Delete(0);
    EXPECT_EQ(TCounted::Alive, 3);
    L.Move(0, 2); // moving must not free the object it carries
    EXPECT_EQ(TCounted::Alive, 3);
    TCounted* Replaced = static_cast<TCounted*>(L.GetObject(0));
    L.PutObject(0, new TCounted); // the replaced object stays the caller's
    EXPECT_EQ(TCounted::Alive, 4);
    delete Replaced;
    L.SetCount(1);
    EXPECT_EQ(TCounted::Alive, 1);
    L.SetCount(0);
    EXPECT_EQ(TCounted::Alive, 0);
    L.AddObject("x", new TCounted);
    L.AddObject("y", new TCounted);
    L.Clear();
    EXPECT_EQ(TCounted::Alive, 0);
    L.AddObject("z", new TCounted);
  }
  EXPECT_EQ(TCounted::Alive, 0);
}

TEST(StringObjectList, RefusesToShareObjectsOnAssign) {
  TStringObjectList Owner, Other;
  Owner.AddObject("a", new TCounted);
  EXPECT_EQ(ListError([&] { Other.Assign(&Owner); }),
            "Exception: Cannot assign TStringObjectList to TStringObjectList");
  EXPECT_EQ(Other.Count, 0);
  TOpenStringList Plain;
  Plain.Add("p");
  Other.Assign(&Plain);
  EXPECT_EQ(Strings(Other), (std::vector<std::string>{"p"}));
}

TEST(StringAffixes, PrefixAndSuffixAreCaseSensitive) {
  struct TCase {
    const char* Affix;
    const char* S;
    bool Starts, Ends;
  };
  const TCase Cases[] = {
      {"", "anything", true, true}, {"abc", "bc", false, false}, {"ab", "abc", true, false},
      {"bc", "abc", false, true},   {"AB", "abc", false, false}, {"abc", "abc", true, true},
  };
  for (const auto& C : Cases) {
    EXPECT_EQ(StartsWith(C.Affix, C.S), C.Starts) << C.Affix << " " << C.S;
    EXPECT_EQ(EndsWith(C.Affix, C.S), C.Ends) << C.Affix << " " << C.S;
  }
}
