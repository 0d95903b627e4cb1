// Forms, the application object and the screen.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "toolkit/controls.h"
#include "toolkit/menus.h"

namespace toolkit {

// ===== TForm =====

class TForm : public TWinControl {
public:
  explicit TForm(TComponent* Owner);
  // Fires OnDestroy, then frees the components and the window. A subclass's own members are
  // already gone by then: subclasses free their state in their own destructor instead.
  ~TForm() override;
  const char* ClassName() const override { return "TForm"; }

  TFormBorderStyle BorderStyle() const { return BorderStyle_; }
  // Sets the frame kind; the outer size changes so that the client size stays.
  void SetBorderStyle(TFormBorderStyle Style);
  TPosition Position = TPosition::poDesigned;
  // The outer size minus frame and caption of the border style.
  int ClientWidth() const override;
  int ClientHeight() const override;
  void SetClientWidth(int Width);
  void SetClientHeight(int Height);
  // Outer size for a client area of Client with the current border style.
  TSize SizeForClient(TSize Client) const;
  // A band of the form's colour between the frame and the client area, Width pixels on each
  // side (negative counts as 0); the outer size stays and the client area shrinks.
  int BorderWidth() const { return BorderWidth_; }
  void SetBorderWidth(int Width);

  // The main menu whose bar the form shows under its caption, or null. A menu serves one form
  // at a time: giving it to this form takes it from another. The bar shows while the menu has
  // items, and the client area is then lower by the bar's height (the outer size stays).
  TMainMenu* Menu() const { return Menu_; }
  void SetMenu(TMainMenu* Menu);
  bool HasMenuBar() const { return Menu_ && Menu_->Items().Count() > 0; }

  // The window that owns this form's window (kept above it, disabled while modal); 0 for the
  // application's owner window.
  std::uintptr_t OwnerWindow = 0;

  // Shows the form modally and returns when ModalResult becomes nonzero and OnClose allows
  // it; returns that result. Application->OnModalShown runs once inside the loop. Raises
  // EInvalidOperation("Cannot make a visible window modal") when the form is visible already.
  // Errors in event handlers go to Application's OnException and the loop goes on.
  TModalResult ShowModal();
  TModalResult ModalResult() const { return ModalResult_; }
  void SetModalResult(TModalResult Result) { ModalResult_ = Result; }
  bool Modal() const { return Modal_; }
  // Asks the form to close: OnClose decides; a modal form ends with mrCancel.
  void Close();

  // The control with the focus while the form is active, else the one to focus when it
  // becomes active. Setting it on a shown form focuses the control.
  TWinControl* ActiveControl() const { return ActiveControl_; }
  void SetActiveControl(TWinControl* Control);

  // A canvas measuring text with the form's font.
  TCanvas& Canvas();

  int HelpContext = 0;
  std::string HelpFile;

  TNotifyEvent OnShow;
  TCloseEvent OnClose;
  TNotifyEvent OnDestroy;

  // Backend use only: the modal loop's check after each message; true when the form ends.
  bool ModalEnded();
  // Backend use only: the focus moved to Control (null: away from this form).
  void FocusMoved(TWinControl* Control);
  // Backend use only: the window's close command (the caption's close button, Alt+F4).
  void CloseCommand() { Close(); }

  // ---- Non-client hooks (backend use only); the defaults leave all to the system ----
  // The caption bar's place in window coordinates: inside the frame, as high as the caption.
  TRect CaptionRect() const;
  // Paints the caption bar into Canvas (a bitmap of CaptionRect's size) and returns true, or
  // returns false to let the system paint its own. The system then paints the rest of the
  // frame around it.
  virtual bool PaintNonClient(TCanvas&, bool /*Active*/) { return false; }
  // Whether the form paints its caption bar itself now: while the caption text changes, the
  // system's own caption with the new text is then kept off the screen.
  virtual bool PaintsOwnCaption() const { return false; }
  // The window became active or inactive (after the system's own handling).
  virtual void NonClientActivated(bool) {}
  // What the point (screen coordinates) is over; SystemResult is the system's answer.
  virtual int NonClientHitTest(TPoint, int SystemResult) { return SystemResult; }
  // The left button went down in the non-client area (after the system's handling).
  virtual void NonClientMouseDown(int /*HitTest*/) {}
  // A system command is about to run; true means it was handled here and the system skips it.
  virtual bool SystemCommand(int /*Command*/) { return false; }
  // A system command has run.
  virtual void SystemCommandDone(int /*Command*/) {}
  // System settings (metrics, fonts) or system colours changed.
  virtual void SettingsChanged() {}
  virtual void SystemColorsChanged() {}
  // The cursor to show over HitTest; false leaves the choice to the system.
  virtual bool CursorAt(int /*HitTest*/, TCursor&) { return false; }
  // The caption text changed (after the system's handling).
  virtual void CaptionChanged() {}
  // A modal menu or dialog of the system goes idle.
  virtual void EnterIdle() {}
  // The keyboard cues (focus rectangles, accelerator underlines) were switched.
  virtual void KeyboardCuesChanged() {}
  // The window was sized.
  virtual void Resized() {}
  // Runs Tab, Enter and Escape as dialog keys; true when the key was used.
  bool DialogKey(int Key, TShiftState Shift);

  // Frame, caption, menu bar and border width around the client area.
  TRect FrameInsets() const;

protected:
  void CreateParams(TCreateParams& Params) override;
  // Makes the window and puts the menu bar on it.
  void CreateWnd() override;

private:
  TFormBorderStyle BorderStyle_ = TFormBorderStyle::bsSizeable;
  TModalResult ModalResult_ = mrNone;
  bool Modal_ = false;
  TWinControl* ActiveControl_ = nullptr;
  std::unique_ptr<TCanvas> Canvas_;
  TMainMenu* Menu_ = nullptr;
  int BorderWidth_ = 0;
  // Frame and caption of the border style alone.
  TRect SystemInsets() const;
};

// ===== TApplication =====

class TApplication : public TComponent {
public:
  TApplication() : TComponent(nullptr) {}
  const char* ClassName() const override { return "TApplication"; }

  std::string Title = "featureresize";
  TForm* MainForm = nullptr;
  // The window that owns every form of the plug-in (the host's main window); 0 for none.
  std::uintptr_t OwnerWindow = 0;
  std::string HelpFile;
  // The reading order of the application's texts: right to left places them from the right.
  bool RightToLeft = false;

  // Receives the errors that escape event handlers; without it they are shown in an error
  // message box. The silent abort (EAbort) never arrives here.
  TExceptionEvent OnException;
  // Runs each time the message loop has run out of messages. Done starts true; a handler
  // that clears it asks to be called again at once instead of waiting for a message.
  TIdleEvent OnIdle;
  // Runs inside each modal loop once, when its form is shown and focused and the messages of
  // its showing are handled, before the loop waits for input. Without one the headless
  // backend raises EInvalidOperation, since nothing could ever close the form there.
  std::function<void(TForm& Form)> OnModalShown;

  // Handles the exception being handled now (call from a catch block) for Sender.
  void HandleException(TObject* Sender);
  // Runs OnIdle once; errors go to HandleException. Returns Done.
  bool DoIdle();
  // Handles the messages waiting now, without waiting and without idle processing.
  void ProcessMessages();
  // Ends every modal loop (each with mrCancel) and the application.
  void Terminate();
  bool Terminated() const { return Terminated_; }
  // Minimizes the application: its main form, which takes its owned windows along.
  void Minimize();
  // Opens the help file at Context; false when there is no help to show.
  bool HelpContext(int Context);

private:
  bool Terminated_ = false;
};

extern TApplication* const Application;

// Runs Action, sending any error to Application->HandleException(Sender): the wrapper around
// every event a backend delivers.
void Dispatch(TObject* Sender, const std::function<void()>& Action);

// ===== TScreen =====

enum class TSystemMetric {
  smCxSizeFrame, smCySizeFrame, smCxDlgFrame, smCyDlgFrame, smCyCaption, smCySmCaption,
  smCxSmIcon, smCySmIcon, smCxVScroll, smCyMenu
};

class TScreen : public TComponent {
public:
  TScreen() : TComponent(nullptr) {}
  const char* ClassName() const override { return "TScreen"; }
  TCursor Cursor() const { return Cursor_; }
  // Sets the cursor shown over every window of the application (crDefault: each window's own).
  void SetCursor(TCursor Cursor);
  int Width() const;
  int Height() const;
  int PixelsPerInch() const;
  int BitsPerPixel() const;
  int SystemMetric(TSystemMetric Metric) const;
  // The system fonts for message boxes and captions.
  TFont MessageFont() const;
  TFont CaptionFont() const;
  TFont SmallCaptionFont() const;
  TFont MenuFont() const;
  // The form that has (or last had) the focus, or null.
  TForm* ActiveForm() const { return ActiveForm_; }
  // Shown forms, most recently shown first.
  const std::vector<TForm*>& Forms() const { return Forms_; }

private:
  friend class TForm;
  TCursor Cursor_ = TCursor::crDefault;
  TForm* ActiveForm_ = nullptr;
  std::vector<TForm*> Forms_;
};

extern TScreen* const Screen;

// Sets Screen's cursor to the hourglass for its lifetime and back to the default after,
// also when an error leaves the scope.
class TBusyCursor {
public:
  TBusyCursor() { Screen->SetCursor(TCursor::crHourGlass); }
  ~TBusyCursor() { Screen->SetCursor(TCursor::crDefault); }
  TBusyCursor(const TBusyCursor&) = delete;
  TBusyCursor& operator=(const TBusyCursor&) = delete;
};

} // namespace toolkit
