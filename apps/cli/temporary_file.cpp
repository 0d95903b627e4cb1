#include "temporary_file.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>

#include "cli_error.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

namespace {

// The one temporary file in progress, readable from a signal handler: a fixed buffer and a
// flag, no allocation.
char PendingPath[4096];
volatile std::sig_atomic_t Pending = 0;

void RemovePendingAndDie(int Signal) {
  if (Pending) std::remove(PendingPath);
  std::signal(Signal, SIG_DFL);
  std::raise(Signal);
}

// Opens Path for writing. Windows refuses to delete an open file unless it was opened with
// delete sharing; with it, the interrupt's removal takes effect when the process ends.
std::FILE* OpenForWriting(const std::string& Path) {
#ifdef _WIN32
  HANDLE Handle = CreateFileA(Path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (Handle == INVALID_HANDLE_VALUE) {
    switch (GetLastError()) {
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION: errno = EACCES; break;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME: errno = ENOENT; break;
    case ERROR_DISK_FULL: errno = ENOSPC; break;
    default: errno = EIO;
    }
    return nullptr;
  }
  const int Descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(Handle), _O_WRONLY | _O_BINARY);
  if (Descriptor < 0) {
    CloseHandle(Handle);
    return nullptr;
  }
  std::FILE* File = _fdopen(Descriptor, "wb");
  if (!File) _close(Descriptor);
  return File;
#else
  return std::fopen(Path.c_str(), "wb");
#endif
}

std::string RandomSuffix() {
  std::random_device Device;
  static const char Digits[] = "0123456789abcdef";
  std::string Suffix;
  for (int I = 0; I < 12; ++I) Suffix += Digits[Device() % 16];
  return Suffix;
}

} // namespace

TTemporaryFile::TTemporaryFile(const std::string& Target)
    : Target_(Target), Path_(Target + ".tmp-" + RandomSuffix()) {
  if (Path_.size() >= sizeof PendingPath) FailFile(Target, "path too long");
  std::memcpy(PendingPath, Path_.c_str(), Path_.size() + 1);
  Pending = 1;
  File_ = OpenForWriting(Path_);
  if (!File_) {
    const int Error = errno;
    Pending = 0;
    FailFile(Target, std::string("cannot create: ") + std::strerror(Error));
  }
}

TTemporaryFile::~TTemporaryFile() {
  if (File_) std::fclose(File_);
  if (!Committed_) std::remove(Path_.c_str());
  Pending = 0;
}

void TTemporaryFile::Write(const std::vector<std::uint8_t>& Data) {
  if (std::fwrite(Data.data(), 1, Data.size(), File_) != Data.size() || std::fflush(File_) != 0)
    FailFile(Target_, std::string("write error: ") + std::strerror(errno));
}

void TTemporaryFile::Commit() {
  std::FILE* File = File_;
  File_ = nullptr;
  if (std::fclose(File) != 0) FailFile(Target_, std::string("write error: ") + std::strerror(errno));
  std::error_code Error;
  std::filesystem::rename(Path_, Target_, Error);
  if (Error) FailFile(Target_, "cannot replace: " + Error.message());
  Committed_ = true;
  Pending = 0;
}

void InstallInterruptCleanup() {
  std::signal(SIGINT, RemovePendingAndDie);
  std::signal(SIGTERM, RemovePendingAndDie);
}
