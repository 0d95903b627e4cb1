// Resolves a code address to unit, symbol and source line through the linker's detailed map
// file that lies beside the module.
#pragma once

#include <cstdint>
#include <string>

// Address as AddressText writes it, followed where the map file tells by ", " + the unit
// (the segment's module name), ", " + the nearest public symbol at or below it, and ", " +
// "<unit> line <n>" for the nearest line number at most 1023 bytes below it. An empty MapFile
// means the module's own map (its file name with ".map"), placed by the run-time address of
// __CodeSegmentTestDummy__; any other map is placed at 0x401000. A missing or malformed map
// ends the lookup silently with what was found so far.
std::string AddressToText(std::uintptr_t Address, const std::string& MapFile = "");

// The run-time address of the empty procedure whose map entry places the module's map.
std::uintptr_t CodeSegmentTestDummyAddress();
