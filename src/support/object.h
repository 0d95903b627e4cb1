// The root of the object model: TObject, the general exception classes and TAssignObject
// with its Assign/AssignTo hand-over, plus three small memory routines used across the code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>

// Every class of the system derives from TObject. ClassName names the concrete class in
// messages such as "Cannot assign TFloatMap to TLinearBitmap".
class TObject {
public:
  virtual ~TObject() = default;
  virtual const char* ClassName() const { return "TObject"; }
};

// The general exception class: carries only its message text.
class Exception : public TObject, public std::exception {
public:
  explicit Exception(std::string Message) : Message_(std::move(Message)) {}
  const char* ClassName() const override { return "Exception"; }
  const char* what() const noexcept override { return Message_.c_str(); }
  const std::string& Message() const { return Message_; }

private:
  std::string Message_;
};

// The silent abort: unwinds a long operation; handlers drop it without showing anything.
class EAbort : public Exception {
public:
  EAbort() : Exception("Operation aborted") {}
  const char* ClassName() const override { return "EAbort"; }
};

// The heap could not supply a block.
class EOutOfMemory : public Exception {
public:
  EOutOfMemory() : Exception("Out of memory") {}
  const char* ClassName() const override { return "EOutOfMemory"; }
};

// Base of every copyable object. A subclass overrides Assign for the sources it can read and
// AssignTo for the targets it can write; each base operation hands an unhandled pairing to the
// other object once, and a pairing neither side handles raises
// "Cannot assign <source class> to <target class>".
class TAssignObject : public TObject {
public:
  const char* ClassName() const override { return "TAssignObject"; }
  virtual void Assign(const TObject* Source);
  virtual void AssignTo(TObject* Dest) const;
};

// Releases a heap block from AllocMem and sets the pointer that held it to null; a null
// pointer is left alone.
void FreeMemAndNil(void*& Block);
template <typename T> void FreeMemAndNil(T*& Block) {
  void* P = Block;
  FreeMemAndNil(P);
  Block = nullptr;
}

// Allocates Bytes bytes from the heap; raises EOutOfMemory when the heap cannot supply them.
void* AllocMem(std::size_t Bytes);

// Sets Count bytes from Dest on to zero.
void ZeroMem(void* Dest, std::size_t Count);

// Exchanges two 32-bit values.
void SwapDWord(std::int32_t& A, std::int32_t& B);
