// A file written under a short random name in the folder of the file it replaces and renamed
// over that file once complete. Until then an interrupt removes it (see
// InstallInterruptCleanup), so neither a failure nor Ctrl-C leaves a partial file or touches
// an existing target.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

class TTemporaryFile {
public:
  // Follows Target through symbolic links to the file they lead to (which need not exist
  // yet) and creates the temporary file in that file's folder, with the permission bits of
  // the file it will replace. Raises ECommandLine naming Target: exit 2 when Target exists
  // and is neither a regular file nor a link to one, exit 1 when the file cannot be created.
  explicit TTemporaryFile(const std::string& Target);
  // Removes the file unless committed.
  ~TTemporaryFile();
  TTemporaryFile(const TTemporaryFile&) = delete;
  TTemporaryFile& operator=(const TTemporaryFile&) = delete;

  const std::string& Path() const { return Path_; }
  // Writes all of Data; raises ECommandLine (exit 1) when the file system takes less.
  void Write(const std::vector<std::uint8_t>& Data);
  // Closes the file and renames it over the target; raises ECommandLine (exit 1) on failure.
  void Commit();

private:
  std::string Target_;      // as given, for messages
  std::string Destination_; // the file replaced: Target_ with its links followed
  std::string Path_;
  std::FILE* File_ = nullptr;
  bool Committed_ = false;
};

// Makes SIGINT, SIGTERM, SIGHUP and SIGQUIT remove the temporary file being written (if any)
// before the tool ends as the signal would end it.
void InstallInterruptCleanup();
