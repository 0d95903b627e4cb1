// A file written beside its target under a random name and renamed over the target once
// complete. Until then an interrupt removes it (see InstallInterruptCleanup), so neither a
// failure nor Ctrl-C leaves a partial file or touches an existing target.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

class TTemporaryFile {
public:
  // Creates the file; raises ECommandLine (exit 1) naming Target when it cannot.
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
  std::string Target_, Path_;
  std::FILE* File_ = nullptr;
  bool Committed_ = false;
};

// Makes SIGINT and SIGTERM remove the temporary file being written (if any) before the tool
// ends as the signal would end it.
void InstallInterruptCleanup();
