// Plain value types and constants shared by every part of the toolkit: geometry, colours,
// keys, modal results, cursors and the event signatures.
#pragma once

#include <cstdint>
#include <functional>

#include "support/object.h"

namespace toolkit {

struct TPoint {
  int X = 0;
  int Y = 0;
  friend bool operator==(const TPoint&, const TPoint&) = default;
};

struct TSize {
  int Width = 0;
  int Height = 0;
  friend bool operator==(const TSize&, const TSize&) = default;
};

// Left and Top inclusive, Right and Bottom exclusive.
struct TRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;
  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
  bool Contains(TPoint P) const { return P.X >= Left && P.X < Right && P.Y >= Top && P.Y < Bottom; }
  friend bool operator==(const TRect&, const TRect&) = default;
};

// 0x00BBGGRR, or a system colour: the high bit set and the system colour index below.
using TColor = std::uint32_t;
constexpr TColor clBlack = 0x000000, clMaroon = 0x000080, clWhite = 0xFFFFFF, clGray = 0x808080,
                 clOlive = 0x008080, clNavy = 0x800000, clTeal = 0x808000;
constexpr TColor clSystemColor = 0x80000000;
constexpr TColor clWindow = clSystemColor | 5, clWindowText = clSystemColor | 8,
                 clBtnFace = clSystemColor | 15, clBtnShadow = clSystemColor | 16,
                 clGrayText = clSystemColor | 17, clBtnText = clSystemColor | 18,
                 clBtnHighlight = clSystemColor | 20, cl3DDkShadow = clSystemColor | 21,
                 cl3DLight = clSystemColor | 22;
constexpr TColor clMenu = clSystemColor | 4, clMenuText = clSystemColor | 7,
                 clHighlight = clSystemColor | 13, clHighlightText = clSystemColor | 14;
// The caption colours: plain captions, and the gradient's other end where captions have one.
constexpr TColor clActiveCaption = clSystemColor | 2, clInactiveCaption = clSystemColor | 3,
                 clCaptionText = clSystemColor | 9, clInactiveCaptionText = clSystemColor | 19,
                 clGradientActiveCaption = clSystemColor | 27,
                 clGradientInactiveCaption = clSystemColor | 28;

// Modal results; a button with a nonzero ModalResult sets it on its form when clicked.
using TModalResult = int;
constexpr TModalResult mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3, mrRetry = 4,
                       mrIgnore = 5, mrYes = 6, mrNo = 7, mrAll = 8, mrNoToAll = 9,
                       mrYesToAll = 10;

// Virtual key codes (the Win32 values, so they can travel unchanged in both backends).
constexpr int vkBack = 0x08, vkTab = 0x09, vkReturn = 0x0D, vkEscape = 0x1B, vkEnd = 0x23, vkHome = 0x24,
              vkLeft = 0x25, vkUp = 0x26, vkRight = 0x27, vkDown = 0x28, vkDelete = 0x2E;

enum TShiftFlag : unsigned { ssShift = 1, ssAlt = 2, ssCtrl = 4, ssLeft = 8 };
using TShiftState = unsigned;

enum class TCursor { crDefault, crArrow, crHourGlass, crSizeWE, crSizeNS, crSizeNWSE, crSizeNESW };

enum class TAlignment { taLeftJustify, taRightJustify, taCenter };
enum class TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
enum class TPosition { poDesigned, poDefault, poScreenCenter };
enum class TCloseAction { caNone, caHide, caFree, caMinimize };

using TNotifyEvent = std::function<void(TObject* Sender)>;
using TKeyEvent = std::function<void(TObject* Sender, int& Key, TShiftState Shift)>;
using TKeyPressEvent = std::function<void(TObject* Sender, char& Key)>;
using TCloseEvent = std::function<void(TObject* Sender, TCloseAction& Action)>;
using TMouseWheelEvent = std::function<void(TObject* Sender, TShiftState Shift, int WheelDelta,
                                            TPoint MousePos, bool& Handled)>;
using TIdleEvent = std::function<void(TObject* Sender, bool& Done)>;
using TExceptionEvent = std::function<void(TObject* Sender, const Exception& E)>;

// Misuse of a toolkit object, such as showing a visible form modally or focusing a hidden
// control.
class EInvalidOperation : public Exception {
public:
  using Exception::Exception;
  const char* ClassName() const override { return "EInvalidOperation"; }
};

} // namespace toolkit
