// Test equipment: what the test build of the plug-in with faulting buttons
// (faulting_reset.cpp) tells the tests that drive it.
#pragma once

// The source line of faulting_reset.cpp whose instruction faults.
constexpr int FaultingResetLine = 16;
