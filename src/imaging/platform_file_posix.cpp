#include "imaging/platform_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace PlatformFile {

THandle Open(const std::string& FileName, TStreamMode Mode) {
  int Flags = (Mode & smRead) && (Mode & smWrite) ? O_RDWR : (Mode & smWrite) ? O_WRONLY : O_RDONLY;
  if (Mode & smCreate) Flags |= O_CREAT | O_TRUNC;
  // Share modes have no POSIX counterpart; other openers are never locked out.
  int Fd;
  do Fd = ::open(FileName.c_str(), Flags | O_CLOEXEC, 0666);
  while (Fd < 0 && errno == EINTR);
  return Fd < 0 ? InvalidHandle : Fd;
}

// read() and write() may move less than asked without reaching the end of the file (signals,
// pipes); keep going so that a short count means what it means on Windows.
template <typename TCall> bool Transfer(TCall Call, std::int32_t Count, std::int32_t& Done) {
  Done = 0;
  while (Done < Count) {
    const ssize_t Moved = Call(Done, static_cast<std::size_t>(Count - Done));
    if (Moved < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (Moved == 0) break;
    Done += static_cast<std::int32_t>(Moved);
  }
  return true;
}

bool Write(THandle Handle, const void* Buffer, std::int32_t Count, std::int32_t& Done) {
  auto* Bytes = static_cast<const char*>(Buffer);
  return Transfer([&](std::int32_t At, std::size_t N) { return ::write(int(Handle), Bytes + At, N); },
                  Count, Done);
}

bool Read(THandle Handle, void* Buffer, std::int32_t Count, std::int32_t& Done) {
  auto* Bytes = static_cast<char*>(Buffer);
  return Transfer([&](std::int32_t At, std::size_t N) { return ::read(int(Handle), Bytes + At, N); },
                  Count, Done);
}

std::int32_t Seek(THandle Handle, std::int32_t Offset, bool FromCurrent) {
  const off_t Result = ::lseek(int(Handle), Offset, FromCurrent ? SEEK_CUR : SEEK_SET);
  if (Result < 0 || Result > INT32_MAX) return -1;
  return static_cast<std::int32_t>(Result);
}

std::int32_t FileSize(THandle Handle) {
  struct stat Info;
  if (::fstat(int(Handle), &Info) != 0 || Info.st_size > INT32_MAX) return -1;
  return static_cast<std::int32_t>(Info.st_size);
}

bool Truncate(THandle Handle) {
  const off_t Here = ::lseek(int(Handle), 0, SEEK_CUR);
  return Here >= 0 && ::ftruncate(int(Handle), Here) == 0;
}

void FlushBuffers(THandle Handle) { ::fsync(int(Handle)); }

bool Close(THandle Handle) { return ::close(int(Handle)) == 0; }

bool Delete(const std::string& FileName) { return ::unlink(FileName.c_str()) == 0; }

std::string LastErrorText() { return std::strerror(errno); }

} // namespace PlatformFile
