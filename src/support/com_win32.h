// COM for the Windows Imaging Component users (the command-line tool's and the reference
// host's codecs): an owned interface pointer, the apartment of one call, an HRESULT as text.
// Win32 only; header-only, so that programs use it without linking a library for it.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>

namespace com {

// Owns one COM interface pointer and releases it at the end of its scope. Filled through
// operator&, as COM functions return interfaces through a T**.
template <typename TInterface> class TComPtr {
public:
  TComPtr() = default;
  ~TComPtr() {
    if (Pointer_) Pointer_->Release();
  }
  TComPtr(const TComPtr&) = delete;
  TComPtr& operator=(const TComPtr&) = delete;
  TInterface* operator->() const { return Pointer_; }
  TInterface** operator&() { return &Pointer_; }
  TInterface* Get() const { return Pointer_; }

private:
  TInterface* Pointer_ = nullptr;
};

// COM on the calling thread for the life of one call (a load, a save); an apartment the
// caller already entered is reused, and left to the caller.
class TComScope {
public:
  TComScope() : Result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~TComScope() {
    if (SUCCEEDED(Result_)) CoUninitialize();
  }
  TComScope(const TComScope&) = delete;
  TComScope& operator=(const TComScope&) = delete;

private:
  HRESULT Result_;
};

// "0x8007000E" for E_OUTOFMEMORY: the code as messages show it.
inline std::string HresultHex(HRESULT Code) {
  char Text[16];
  std::snprintf(Text, sizeof Text, "0x%08lX", static_cast<unsigned long>(Code));
  return Text;
}

} // namespace com
