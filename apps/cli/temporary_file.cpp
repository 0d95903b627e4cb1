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
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

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

// Creates Path, which must not exist yet, for writing, with permission bits KeptMode, or the
// default bits for a new file when KeptMode is negative. Windows refuses to delete an open
// file unless it was opened with delete sharing; with it, the interrupt's removal takes effect
// when the process ends. Windows has no permission bits to keep.
std::FILE* CreateForWriting(const std::string& Path, [[maybe_unused]] int KeptMode) {
#ifdef _WIN32
  HANDLE Handle = CreateFileA(Path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                              CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (Handle == INVALID_HANDLE_VALUE) {
    switch (GetLastError()) {
    case ERROR_FILE_EXISTS: errno = EEXIST; break;
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
  const int Descriptor = ::open(Path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, KeptMode < 0 ? 0666 : KeptMode);
  if (Descriptor < 0) return nullptr;
  // The umask applies to a new file only: a replaced file's bits come back as they were.
  std::FILE* File = KeptMode < 0 || ::fchmod(Descriptor, mode_t(KeptMode)) == 0 ? ::fdopen(Descriptor, "wb") : nullptr;
  if (!File) {
    const int Error = errno;
    ::close(Descriptor);
    ::unlink(Path.c_str());
    errno = Error;
  }
  return File;
#endif
}

// A short name, so that any name the file system takes for the target leaves room for it.
std::string RandomName() {
  std::random_device Device;
  static const char Digits[] = "0123456789abcdef";
  std::string Name = ".featureresize-";
  for (int I = 0; I < 12; ++I) Name += Digits[Device() % 16];
  return Name;
}

// Target with its symbolic links followed to the file they lead to, which need not exist.
fs::path FollowLinks(const std::string& Target) {
  fs::path Path = Target;
  for (int Hops = 0; Hops < 40; ++Hops) {
    std::error_code Error;
    if (!fs::is_symlink(fs::symlink_status(Path, Error))) return Path;
    const fs::path Next = fs::read_symlink(Path, Error);
    if (Error) FailFile(Target, "cannot follow the link: " + Error.message());
    Path = Next.is_absolute() ? Next : Path.parent_path() / Next;
  }
  FailFile(Target, "cannot follow the link: too many levels of symbolic links");
}

// The permission bits of the regular file at Path, -1 when there is none. Refuses anything
// else there: renaming over it would put a file in place of a device, a pipe or a folder.
int KeptMode(const fs::path& Path, const std::string& Target) {
  std::error_code Error;
  const fs::file_status Status = fs::status(Path, Error);
  const char* Kind = nullptr;
  switch (Status.type()) {
  case fs::file_type::regular: return static_cast<int>(Status.permissions() & fs::perms::all);
  case fs::file_type::not_found:
  case fs::file_type::none: return -1; // nothing there, or not known: creating the file will tell
  case fs::file_type::directory: Kind = "a directory"; break;
  case fs::file_type::fifo: Kind = "a named pipe"; break;
  case fs::file_type::block:
  case fs::file_type::character: Kind = "a device"; break;
  case fs::file_type::socket: Kind = "a socket"; break;
  default: Kind = "something other than a file"; break;
  }
  RefuseFile(Target, std::string("exists and is ") + Kind + ", not a regular file");
}

} // namespace

TTemporaryFile::TTemporaryFile(const std::string& Target) : Target_(Target) {
  const fs::path Destination = FollowLinks(Target);
  const int Mode = KeptMode(Destination, Target);
  Destination_ = Destination.string();
  for (int Attempt = 0; !File_; ++Attempt) {
    Path_ = (Destination.parent_path() / RandomName()).string();
    if (Path_.size() >= sizeof PendingPath) FailFile(Target, "path too long");
    std::memcpy(PendingPath, Path_.c_str(), Path_.size() + 1);
    Pending = 1;
    File_ = CreateForWriting(Path_, Mode);
    if (!File_) {
      const int Error = errno;
      Pending = 0;
      if (Error != EEXIST || Attempt == 8) FailFile(Target, std::string("cannot create: ") + std::strerror(Error));
    }
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
  fs::rename(Path_, Destination_, Error);
  if (Error) FailFile(Target_, "cannot replace: " + Error.message());
  Committed_ = true;
  Pending = 0;
}

void InstallInterruptCleanup() {
  for (int Signal : {SIGINT, SIGTERM}) std::signal(Signal, RemovePendingAndDie);
#ifndef _WIN32
  for (int Signal : {SIGHUP, SIGQUIT}) std::signal(Signal, RemovePendingAndDie);
#endif
}
