// Extended precision for the x87 unit while the plug-in works. A host may run with the x87
// precision control at 53 bits (a common default of Windows compilers' start-up code); the
// engine's long double arithmetic would then round differently from the command-line tool's.
#pragma once

#include <cstdint>

class TExtendedPrecisionScope {
public:
  // Sets the x87 precision control to 64-bit mantissas; the destructor restores the caller's
  // control word. Does nothing on processors without an x87 unit.
  TExtendedPrecisionScope() {
#if defined(__i386__) || defined(__x86_64__)
    __asm__ __volatile__("fnstcw %0" : "=m"(Saved_));
    std::uint16_t Extended = Saved_ | 0x0300;
    __asm__ __volatile__("fldcw %0" : : "m"(Extended));
#endif
  }
  ~TExtendedPrecisionScope() {
#if defined(__i386__) || defined(__x86_64__)
    __asm__ __volatile__("fldcw %0" : : "m"(Saved_));
#endif
  }
  TExtendedPrecisionScope(const TExtendedPrecisionScope&) = delete;
  TExtendedPrecisionScope& operator=(const TExtendedPrecisionScope&) = delete;

private:
  std::uint16_t Saved_ = 0;
};
