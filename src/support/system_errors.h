// The system's own exception classes for programming faults: what a processor fault inside
// an event handler becomes, plus the run-time's invalid pointer and list index errors. The
// error report tells them from ordinary errors by class and offers a bug report for them.
#pragma once

#include <cstdint>

#include "support/object.h"

// Base of the fault classes; Address is where the fault happened (the faulting instruction,
// or the code that raised the error).
class ESystemError : public Exception {
public:
  ESystemError(std::string Message, std::uintptr_t Address) : Exception(std::move(Message)), Address(Address) {}
  const char* ClassName() const override { return "ESystemError"; }
  std::uintptr_t Address;
};

#define FR_SYSTEM_ERROR(Name, Base)                                                                  \
  class Name : public Base {                                                                         \
  public:                                                                                            \
    using Base::Base;                                                                                \
    const char* ClassName() const override { return #Name; }                                         \
  }

// "Access violation at address %p in module '%s'. %s of address %p".
FR_SYSTEM_ERROR(EAccessViolation, ESystemError);
FR_SYSTEM_ERROR(EPrivilege, ESystemError);
FR_SYSTEM_ERROR(EInvalidPointer, ESystemError);
FR_SYSTEM_ERROR(EListError, ESystemError);
FR_SYSTEM_ERROR(EIntError, ESystemError);
FR_SYSTEM_ERROR(EDivByZero, EIntError);
FR_SYSTEM_ERROR(EIntOverflow, EIntError);
FR_SYSTEM_ERROR(EMathError, ESystemError);
FR_SYSTEM_ERROR(EZeroDivide, EMathError);
FR_SYSTEM_ERROR(EInvalidOp, EMathError);
FR_SYSTEM_ERROR(EOverflow, EMathError);
FR_SYSTEM_ERROR(EUnderflow, EMathError);

#undef FR_SYSTEM_ERROR

// An address as 8 upper-case hex digits, or 16 where it needs more (64-bit modules load above
// 4 GiB).
std::string AddressText(std::uintptr_t Address);

// The standard message of an access violation: the code address, the module's file name, the
// operation ("Read" or "Write") and the data address, addresses as AddressText writes them.
// Without a module (a call through a null pointer) the module part is left out.
std::string AccessViolationMessage(std::uintptr_t CodeAddress, const std::string& Module, bool Write,
                                   std::uintptr_t DataAddress);
