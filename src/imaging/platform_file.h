// The few file calls TFileStream needs from the platform, with one twin per platform
// (platform_file_posix.cpp, platform_file_win32.cpp). They report failure by result; the
// platform's text for the last failure comes from LastErrorText.
#pragma once

#include <cstdint>
#include <string>

#include "imaging/streams.h"

namespace PlatformFile {

using THandle = std::intptr_t;
constexpr THandle InvalidHandle = -1;

// InvalidHandle on failure. Mode holds smRead and/or smWrite.
THandle Open(const std::string& FileName, TStreamMode Mode);
// Each returns false on failure; Done is the count the platform moved.
bool Write(THandle Handle, const void* Buffer, std::int32_t Count, std::int32_t& Done);
bool Read(THandle Handle, void* Buffer, std::int32_t Count, std::int32_t& Done);
// The position after the move, or -1 on failure.
std::int32_t Seek(THandle Handle, std::int32_t Offset, bool FromCurrent);
// -1 on failure.
std::int32_t FileSize(THandle Handle);
bool Truncate(THandle Handle);
void FlushBuffers(THandle Handle);
bool Close(THandle Handle);
bool Delete(const std::string& FileName);
std::string LastErrorText();

} // namespace PlatformFile
