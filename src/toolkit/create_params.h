// What a control asks of the window system for its window: the class, the styles and a few
// toolkit flags. Each control fills them in its own CreateParams, so a backend never needs to
// know what kind of control it makes a window for. Style values are Win32's, so they travel
// unchanged to the Win32 backend; the headless backend reads the same bits.
#pragma once

#include <cstdint>
#include <string>

namespace toolkit {

// ---- window styles ----
constexpr std::uint32_t wsPopup = 0x80000000, wsChild = 0x40000000, wsVisible = 0x10000000,
                        wsDisabled = 0x08000000, wsClipSiblings = 0x04000000,
                        wsClipChildren = 0x02000000, wsCaption = 0x00C00000,
                        wsBorder = 0x00800000, wsDlgFrame = 0x00400000, wsSysMenu = 0x00080000,
                        wsThickFrame = 0x00040000, wsGroup = 0x00020000, wsTabStop = 0x00010000,
                        wsMinimizeBox = 0x00020000, wsMaximizeBox = 0x00010000;
constexpr std::uint32_t wsOverlappedWindow =
    wsCaption | wsSysMenu | wsThickFrame | wsMinimizeBox | wsMaximizeBox;
constexpr std::uint32_t dsModalFrame = 0x80;
// ---- extended styles ----
constexpr std::uint32_t wsExDlgModalFrame = 0x1, wsExToolWindow = 0x80, wsExClientEdge = 0x200,
                        wsExContextHelp = 0x400, wsExLayoutRtl = 0x400000;
// ---- class styles of the standard controls ----
constexpr std::uint32_t bsPushButton = 0x0, bsDefPushButton = 0x1, bsRadioButton = 0x4,
                        bsGroupBox = 0x7;
constexpr std::uint32_t esLeft = 0x0, esCenter = 0x1, esRight = 0x2, esMultiLine = 0x4,
                        esAutoVScroll = 0x40, esAutoHScroll = 0x80;
constexpr std::uint32_t ssTextLeft = 0x0, ssTextLeftNoWrap = 0xC, ssNoPrefix = 0x80;

// The standard window classes the toolkit uses; an empty class name is the toolkit's own,
// whose windows paint through the control's Paint hook and report the mouse to it.
inline constexpr const char* ButtonClass = "BUTTON";
inline constexpr const char* EditClass = "EDIT";
inline constexpr const char* StaticClass = "STATIC";

struct TCreateParams {
  std::string WinClassName;
  std::uint32_t Style = 0;
  std::uint32_t ExStyle = 0;
  // A top-level window (a form): WndParent is its owner, 0 for none.
  bool TopLevel = false;
  std::uintptr_t WndParent = 0;
  // The window sits on its parent's background (text and erasing use the parent's colour).
  bool ParentBackground = false;
  // A standard-class window whose inside the toolkit fills with the control's colour.
  bool FillBackground = false;

  bool HasStyle(std::uint32_t Bits) const { return (Style & Bits) == Bits; }
};

// Non-client hit-test results and system commands, with Win32's values.
enum THitTest : int {
  htNowhere = 0, htClient = 1, htCaption = 2, htSysMenu = 3, htMinButton = 8, htMaxButton = 9,
  htLeft = 10, htRight = 11, htTop = 12, htTopLeft = 13, htTopRight = 14, htBottom = 15,
  htBottomLeft = 16, htBottomRight = 17, htBorder = 18, htClose = 20, htHelp = 21
};
constexpr int scSize = 0xF000, scMove = 0xF010, scMinimize = 0xF020, scMaximize = 0xF030,
              scClose = 0xF060, scRestore = 0xF120, scContextHelp = 0xF180;

} // namespace toolkit
