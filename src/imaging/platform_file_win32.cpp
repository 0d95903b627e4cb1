#include "imaging/platform_file.h"

#include <windows.h>

namespace PlatformFile {

namespace {
HANDLE H(THandle Handle) { return reinterpret_cast<HANDLE>(Handle); }
} // namespace

THandle Open(const std::string& FileName, TStreamMode Mode) {
  DWORD Access = 0, Share = 0;
  if (Mode & smRead) Access |= GENERIC_READ;
  if (Mode & smWrite) Access |= GENERIC_WRITE;
  if (Mode & smShareRead) Share |= FILE_SHARE_READ;
  if (Mode & smShareWrite) Share |= FILE_SHARE_WRITE;
  const DWORD Creation = (Mode & smCreate) ? CREATE_ALWAYS : OPEN_EXISTING;
  HANDLE Result = CreateFileA(FileName.c_str(), Access, Share, nullptr, Creation,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  return reinterpret_cast<THandle>(Result);
}

bool Write(THandle Handle, const void* Buffer, std::int32_t Count, std::int32_t& Done) {
  DWORD Moved = 0;
  const BOOL Ok = WriteFile(H(Handle), Buffer, static_cast<DWORD>(Count), &Moved, nullptr);
  Done = static_cast<std::int32_t>(Moved);
  return Ok != 0;
}

bool Read(THandle Handle, void* Buffer, std::int32_t Count, std::int32_t& Done) {
  DWORD Moved = 0;
  const BOOL Ok = ReadFile(H(Handle), Buffer, static_cast<DWORD>(Count), &Moved, nullptr);
  Done = static_cast<std::int32_t>(Moved);
  return Ok != 0;
}

std::int32_t Seek(THandle Handle, std::int32_t Offset, bool FromCurrent) {
  // Without the high part SetFilePointer returns INVALID_SET_FILE_POINTER (-1) on failure.
  return static_cast<std::int32_t>(
      SetFilePointer(H(Handle), Offset, nullptr, FromCurrent ? FILE_CURRENT : FILE_BEGIN));
}

std::int32_t FileSize(THandle Handle) {
  return static_cast<std::int32_t>(GetFileSize(H(Handle), nullptr));
}

bool Truncate(THandle Handle) { return SetEndOfFile(H(Handle)) != 0; }

void FlushBuffers(THandle Handle) { FlushFileBuffers(H(Handle)); }

bool Close(THandle Handle) { return CloseHandle(H(Handle)) != 0; }

bool Delete(const std::string& FileName) { return DeleteFileA(FileName.c_str()) != 0; }

std::string LastErrorText() {
  char Text[512];
  const DWORD Length =
      FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                     GetLastError(), 0, Text, sizeof(Text), nullptr);
  std::string Result(Text, Length);
  // System messages end in a line break that would split our one-line error texts.
  while (!Result.empty() && (Result.back() == '\n' || Result.back() == '\r' || Result.back() == ' '))
    Result.pop_back();
  return Result;
}

} // namespace PlatformFile
