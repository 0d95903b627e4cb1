// What the portable toolkit asks of its backend. Exactly one backend is linked: headless/ or
// win32/. The portable classes keep all state; a backend mirrors it in windows and reports the
// user's actions back through the "backend use only" operations of the classes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "toolkit/forms.h"
#include "toolkit/timer.h"

namespace toolkit::backend {

// ---- windows ----
// Makes the window Params describe for Control, inside its parent's window (top-level: owned
// by Params.WndParent), and calls Control.SetHandle with it. The window reports to Control
// through its "backend use only" operations; nothing else about Control's kind is asked.
void MakeWindow(TControl& Control, const TCreateParams& Params);
// Destroys the window of Control (its children's are gone already) and sets the handle to 0.
void FreeWindow(TControl& Control);
// Bring the window in line with the control's bounds / text / visibility / enabled state /
// font and colour.
void UpdateBounds(TControl& Control);
void UpdateText(TControl& Control);
void UpdateVisible(TControl& Control);
void UpdateEnabled(TControl& Control);
void UpdateFont(TControl& Control);
void UpdateChecked(TRadioItem& Item);
void Repaint(TControl& Control);
// Redraws the frame and caption of a top-level window.
void RepaintNonClient(TControl& Control);
// Builds Form's menu bar anew from Form.Menu() (none without items): the bar's items with
// their captions, enabled states and sub-items, owner-drawn where an item draws itself.
void UpdateMenu(TForm& Form);
// Whether Control's window has captured the mouse (keeps getting it while the button is held).
bool HasMouseCapture(const TControl& Control);
// Whether Control's top-level window is the active one.
bool IsActiveWindow(const TControl& Control);

// ---- focus ----
void SetFocus(TWinControl& Control);
TWinControl* FocusedControl();

// ---- edits ----
void SetEditSelection(TCustomEdit& Edit, int Start, int Length);
void GetEditSelection(const TCustomEdit& Edit, int& Start, int& Length);
void SetEditRect(TCustomEdit& Edit, const TRect& Rect);
int EditLineCount(const TCustomEdit& Edit);
void ScrollCaret(TCustomEdit& Edit);

// ---- message loop ----
// Runs the modal loop of Form (shown and focused already) until Form.ModalEnded(), running
// Application->OnModalShown (when set) once inside the loop.
void RunModalLoop(TForm& Form);
void ProcessMessages();
// Ends every running modal loop.
void Terminate();

// ---- timers ----
void StartTimer(TTimer& Timer);
void StopTimer(TTimer& Timer);

// ---- screen, fonts and text ----
TSize TextExtent(const TFont& Font, const std::string& Text);
TColor SystemColor(int Index);
void SetCursor(TCursor Cursor);
TSize ScreenSize();
int PixelsPerInch();
int BitsPerPixel();
int SystemMetric(TSystemMetric Metric);
// Frame and caption widths around the client area of a top-level window with these styles.
TRect FrameInsets(std::uint32_t Style, std::uint32_t ExStyle);
TFont SystemFont(int Which); // 0 message, 1 caption, 2 small caption, 3 menu

// ---- drawing into bitmaps ----
// Draws Text in Font (and its colour) with its top left at At, clipped to Clip, without a
// background, into Target.
void RenderText(TBitmap& Target, const TFont& Font, const TRect& Clip, TPoint At, const std::string& Text);
// Makes Image a 32 x 32 picture of the system icon on Background.
void RenderSystemIcon(TSystemIcon Icon, TColor Background, TBitmap& Image);
// Draws the system icon scaled into Rect of Target, over its pixels.
void RenderIcon(TBitmap& Target, const TRect& Rect, TSystemIcon Icon);
// Draws a caption button without visual styles into Rect of Target.
void RenderCaptionButton(TBitmap& Target, const TRect& Rect, TCaptionButton Button, bool Enabled);
// Draws a part of the visual style's "WINDOW" class into Rect of Target; false when visual
// styles are off.
bool RenderThemePart(TBitmap& Target, const TRect& Rect, int Part, int State);
// Minimizes Form's window (the application's main form).
void MinimizeWindow(TControl& Form);

// ---- help and resources ----
bool ShowHelp(const std::string& HelpFile, int Context);
bool LoadBitmapResource(const std::string& Name, TBitmap& Bitmap);

} // namespace toolkit::backend
