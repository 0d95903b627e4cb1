// TStyleForm: the base of every window of the plug-in. It sizes a designed form to the
// system's frames, falls back to fonts the system has, gives its window the owner it should
// have, routes errors to the plug-in's own report, and on older systems paints a caption bar of
// its own ("style").
#pragma once

#include "toolkit/forms.h"

// True while forms paint their own caption; ReadStyleSetting may clear it, and once false it
// stays false.
extern bool UseStyle;

// Clears UseStyle on a display of 8 bits or less, on systems of major version 6 and later,
// and when the value "UseStyleForm" under "Software\Quenfal\" reads 0 in the user's or the
// machine's registry. Runs at start-up and on system-colour changes.
void ReadStyleSetting();

// The error report lies above the styled forms (it shows itself in message forms), so it hands
// them what they need of it as its hooks go in: its own start-up, which StyleFormStartUp runs,
// and the application's error event, which every styled form made puts back.
struct TStyleFormReport {
  void (*StartUp)() = nullptr;
  toolkit::TExceptionEvent OnException;
};
void SetStyleFormReport(TStyleFormReport Report);

// The start-up of styled forms, done once: window ghosting off, ReadStyleSetting and the
// report's start-up (the host program's version). The plug-in runs it when the host first
// calls in; the first styled form runs it in a program that never did.
void StyleFormStartUp();

// 2 x red + 3 x green + blue of an RGB colour.
int Brightness(toolkit::TColor Color);
// Per channel round((W x A + (D - W) x B) / D), ties to even: A at W = D, B at W = 0.
toolkit::TColor BlendColor(toolkit::TColor A, toolkit::TColor B, int W, int D);

// The themed caption's texture, shared by all styled forms: dropped when system colours
// change, made again at the next themed caption. BrightTheme tells whether the theme's
// inactive caption is bright (mean brightness above 230), set while the texture is made.
void DropCaptionTexture();
bool BrightTheme();

// How much the system's frame differs from the design's (frames of 4 pixels when sizeable,
// else 3; captions of 26 pixels, 18 for tool windows): DX per side, DY at the bottom, DC at
// the top (frame and caption together).
struct TFrameDelta {
  int DX = 0, DY = 0, DC = 0;
};
TFrameDelta FrameDelta(toolkit::TFormBorderStyle Style);

class TStyleForm : public toolkit::TForm {
public:
  // A designed form: the subclass sets its outer size as designed and makes its controls in
  // its constructor. Just before the first window is made the form grows by the frame delta
  // (unless it is placed by the system) and the font fallbacks apply.
  explicit TStyleForm(toolkit::TComponent* Owner);
  // A form built on the fly (the message form), which sets its client size itself.
  struct TBuiltOnTheFly {};
  TStyleForm(toolkit::TComponent* Owner, TBuiltOnTheFly);
  const char* ClassName() const override { return "TStyleForm"; }

  // A form that is not scaled keeps its font size; on a screen other than 96 dpi its font
  // then becomes "Arial", which every system can size.
  bool Scaled = true;

  // Paints the caption bar into Canvas (a bitmap of CaptionRect()'s size) with the themed
  // look where visual styles are on, else the plain one; false leaves the caption to the
  // system (no caption, or a themed caption without room for the decoration).
  bool PaintCaption(toolkit::TCanvas& Canvas, bool Active);

  // ---- Non-client hooks ----
  bool PaintNonClient(toolkit::TCanvas& Canvas, bool Active) override;
  bool PaintsOwnCaption() const override;
  void NonClientMouseDown(int HitTest) override;
  bool SystemCommand(int Command) override;
  void SystemCommandDone(int Command) override;
  void SettingsChanged() override;
  void SystemColorsChanged() override;
  bool CursorAt(int HitTest, toolkit::TCursor& Cursor) override;
  void EnterIdle() override;
  void KeyboardCuesChanged() override;
  void Resized() override;

protected:
  // Runs the adjustments of a designed form before its first window.
  void CreateWnd() override;
  // The font fallbacks; on systems of version 5.1 and the like, the styled drawing of the
  // main menu's bar items that have none of their own (TMenuItemEx).
  virtual void DoCreate();

private:
  void Construct();
  void LoadCaptionColors();
  void RepaintCaption();
  void PaintPlainCaption(toolkit::TCanvas& Canvas, bool Active);
  bool PaintThemedCaption(toolkit::TCanvas& Canvas, bool Active);
  void PaintIconAndText(toolkit::TCanvas& Canvas, bool Active, int Right);
  // Enlarges the form by W and H (nothing when both are 0).
  void GrowBy(int W, int H);

  bool Designed_ = false;
  bool Created_ = false;
  toolkit::TColor ActiveCaptionColors_[2] = {};   // bright first
  toolkit::TColor InactiveCaptionColors_[2] = {}; // bright first
  toolkit::TColor FaceColor_ = 0;
  toolkit::TColor ShadeColor_ = 0;
};
