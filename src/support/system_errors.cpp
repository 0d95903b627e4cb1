#include "support/system_errors.h"

#include <cstdio>

std::string AccessViolationMessage(std::uint32_t CodeAddress, const std::string& Module, bool Write,
                                   std::uint32_t DataAddress) {
  char Code[9], Data[9];
  std::snprintf(Code, sizeof Code, "%08X", static_cast<unsigned>(CodeAddress));
  std::snprintf(Data, sizeof Data, "%08X", static_cast<unsigned>(DataAddress));
  return std::string("Access violation at address ") + Code + (Module.empty() ? "" : " in module '" + Module + "'") + ". " +
         (Write ? "Write" : "Read") + " of address " + Data;
}
