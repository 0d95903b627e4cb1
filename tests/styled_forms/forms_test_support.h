// Test helpers for the styled forms: a headless platform set for one test, and a form's
// caption bar painted into a bitmap as the window would show it.
#pragma once

#include <memory>
#include <optional>

#include "styled_forms/style_form.h"
#include "toolkit/headless/headless.h"

// Restores the headless platform, the registry values of the style setting and UseStyle when
// the test ends; starts each test on Windows XP with 32 bits and styles on.
class TPlatformScope {
public:
  TPlatformScope() : Saved_(toolkit::headless::Platform()), SavedUseStyle_(UseStyle) { ClearRegistry(); }
  ~TPlatformScope() {
    toolkit::headless::Platform() = Saved_;
    UseStyle = SavedUseStyle_;
    ClearRegistry();
  }
  TPlatformScope(const TPlatformScope&) = delete;
  TPlatformScope& operator=(const TPlatformScope&) = delete;

  static void SetUseStyleForm(toolkit::TRegistryRoot Root, std::optional<std::uint32_t> Value) {
    toolkit::headless::SetRegistryInteger(Root, "Software\\Quenfal\\", "UseStyleForm", Value);
  }

private:
  static void ClearRegistry() {
    SetUseStyleForm(toolkit::TRegistryRoot::rrCurrentUser, std::nullopt);
    SetUseStyleForm(toolkit::TRegistryRoot::rrLocalMachine, std::nullopt);
  }
  toolkit::headless::TPlatform Saved_;
  bool SavedUseStyle_;
};

// The caption bar of Form painted as its window would paint it, or null when the form leaves
// the caption to the system.
inline std::unique_ptr<toolkit::TBitmap> PaintedCaption(toolkit::TForm& Form, bool Active) {
  const toolkit::TRect R = Form.CaptionRect();
  auto Bitmap = std::make_unique<toolkit::TBitmap>();
  Bitmap->SetPixelFormat(toolkit::TPixelFormat::pf32bit);
  Bitmap->SetSize(R.Width(), R.Height());
  if (!Form.PaintNonClient(Bitmap->Canvas(), Active)) return nullptr;
  return Bitmap;
}
