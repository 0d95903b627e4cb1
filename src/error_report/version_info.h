// The version resource of a file: its fixed version numbers and its descriptive texts.
#pragma once

#include <cstdint>
#include <string>

#include "support/object.h"

// Missing or damaged version data.
class EVersionInfoError : public Exception {
public:
  using Exception::Exception;
  const char* ClassName() const override { return "EVersionInfoError"; }
};

struct TVersionInfo {
  // Each empty when the string table lacks it.
  std::string CompanyName, InternalName, FileDescription, OriginalFilename, ProductName, LegalCopyright;
  std::uint32_t FileVersionMS = 0, FileVersionLS = 0, ProductVersionMS = 0, ProductVersionLS = 0;
};

// Reads FileName's version resource through the platform; raises EVersionInfoError when the
// file has none, its fixed part is damaged or it has no translation.
TVersionInfo ReadVersionInfo(const std::string& FileName);

// "major.minor.release build" of the product version: 1.0.2008.0 reads "1.0.0 2008".
std::string VersionText(const TVersionInfo& Info);

// The host program's version text, read once when the error report is installed; empty when
// the program has no readable version resource.
extern std::string ApplicationVersion;
// Sets ApplicationVersion from the process's program file.
void ReadApplicationVersion();
