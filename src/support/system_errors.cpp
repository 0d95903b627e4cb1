#include "support/system_errors.h"

#include <cstdio>

std::string AddressText(std::uintptr_t Address) {
  char Digits[17];
  const unsigned long long Value = Address;
  std::snprintf(Digits, sizeof Digits, Value >> 32 ? "%016llX" : "%08llX", Value);
  return Digits;
}

std::string AccessViolationMessage(std::uintptr_t CodeAddress, const std::string& Module, bool Write,
                                   std::uintptr_t DataAddress) {
  return "Access violation at address " + AddressText(CodeAddress) + (Module.empty() ? "" : " in module '" + Module + "'") +
         ". " + (Write ? "Write" : "Read") + " of address " + AddressText(DataAddress);
}
