// The error report's reads of the stack, on every platform it is built for.
#include <gtest/gtest.h>

#include <cstdint>

#include "error_report/fault_hook.h"

TEST(FaultHook, ReadMemoryCopiesReadableBytesAndRefusesOthers) {
  const std::uint32_t Value = 0x12345678;
  std::uint32_t Copy = 0;
  EXPECT_TRUE(os::ReadMemory(reinterpret_cast<std::uintptr_t>(&Value), &Copy, sizeof Copy));
  EXPECT_EQ(Copy, Value);
  EXPECT_FALSE(os::ReadMemory(16, &Copy, sizeof Copy));
  EXPECT_NE(FR_CURRENT_FRAME(), 0u);
}
