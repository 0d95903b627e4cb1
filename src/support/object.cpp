#include "support/object.h"

#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

// The pairing whose hand-over is in progress on this thread. When a base operation sees its
// own pairing come back, the other side has declined it as well.
struct THandOver {
  const TObject* Source = nullptr;
  const TObject* Dest = nullptr;
};
thread_local THandOver CurrentHandOver;

class THandOverScope {
public:
  THandOverScope(const TObject* Source, const TObject* Dest) : Saved_(CurrentHandOver) {
    CurrentHandOver = {Source, Dest};
  }
  ~THandOverScope() { CurrentHandOver = Saved_; }
  THandOverScope(const THandOverScope&) = delete;
  THandOverScope& operator=(const THandOverScope&) = delete;

private:
  THandOver Saved_;
};

bool IsHandingOver(const TObject* Source, const TObject* Dest) {
  return CurrentHandOver.Source == Source && CurrentHandOver.Dest == Dest;
}

[[noreturn]] void CannotAssign(const TObject* Source, const TObject* Dest) {
  std::string SourceName = Source ? Source->ClassName() : "nil";
  throw Exception("Cannot assign " + SourceName + " to " + Dest->ClassName());
}

} // namespace

void TAssignObject::Assign(const TObject* Source) {
  auto* From = dynamic_cast<const TAssignObject*>(Source);
  if (!From || IsHandingOver(Source, this)) CannotAssign(Source, this);
  THandOverScope Scope(Source, this);
  From->AssignTo(this);
}

void TAssignObject::AssignTo(TObject* Dest) const {
  auto* To = dynamic_cast<TAssignObject*>(Dest);
  if (!To) {
    if (!Dest) throw Exception(std::string("Cannot assign ") + ClassName() + " to nil");
    CannotAssign(this, Dest);
  }
  if (IsHandingOver(this, Dest)) CannotAssign(this, Dest);
  THandOverScope Scope(this, Dest);
  To->Assign(this);
}

void FreeMemAndNil(void*& Block) {
  if (!Block) return;
  std::free(Block);
  Block = nullptr;
}

void* AllocMem(std::size_t Bytes) {
  void* Block = std::malloc(Bytes ? Bytes : 1);
  if (!Block) throw EOutOfMemory();
  return Block;
}

void ZeroMem(void* Dest, std::size_t Count) {
  if (Count) std::memset(Dest, 0, Count);
}

void SwapDWord(std::int32_t& A, std::int32_t& B) { std::swap(A, B); }
