#include "toolkit/forms.h"

#include <algorithm>
#include <new>
#include <utility>

#include "toolkit/backend.h"
#include "toolkit/message_box.h"

namespace toolkit {

namespace {
// All buttons inside Parent, depth first in z-order.
void CollectButtons(const TWinControl& Parent, std::vector<TButton*>& Buttons) {
  for (int I = 0; I < Parent.ControlCount(); ++I) {
    TControl* C = Parent.Controls(I);
    if (auto* Button = dynamic_cast<TButton*>(C)) Buttons.push_back(Button);
    if (auto* Win = dynamic_cast<TWinControl*>(C)) CollectButtons(*Win, Buttons);
  }
}
} // namespace

// The window styles that give a form its frame and caption.
static void AddBorderStyles(TFormBorderStyle BorderStyle, std::uint32_t& Style, std::uint32_t& ExStyle) {
  using enum TFormBorderStyle;
  switch (BorderStyle) {
  case bsNone: Style |= wsPopup; break;
  case bsSingle: Style |= wsCaption | wsSysMenu | wsMinimizeBox | wsBorder; break;
  case bsSizeable: Style |= wsOverlappedWindow; break;
  case bsDialog:
    Style |= wsPopup | wsCaption | wsSysMenu | dsModalFrame;
    ExStyle |= wsExDlgModalFrame;
    break;
  case bsToolWindow:
    Style |= wsPopup | wsCaption | wsSysMenu;
    ExStyle |= wsExToolWindow;
    break;
  case bsSizeToolWin:
    Style |= wsPopup | wsCaption | wsSysMenu | wsThickFrame;
    ExStyle |= wsExToolWindow;
    break;
  }
}

// ===== TForm =====

TForm::TForm(TComponent* Owner) : TWinControl(Owner) {
  Visible_ = false;
  Bounds_ = {0, 0, 320, 240};
}

TForm::~TForm() {
  if (OnDestroy) Dispatch(this, [this] { OnDestroy(this); });
  // The bar goes with the window; a menu freed below must not rebuild it meanwhile.
  if (Menu_) Menu_->Form_ = nullptr;
  Menu_ = nullptr;
  // Components may look at their form while they go, so they go while it is still a TForm.
  DestroyComponents();
  auto& Forms = Screen->Forms_;
  Forms.erase(std::remove(Forms.begin(), Forms.end(), this), Forms.end());
  if (Screen->ActiveForm_ == this) Screen->ActiveForm_ = Forms.empty() ? nullptr : Forms.front();
  if (Application->MainForm == this) Application->MainForm = nullptr;
}

TRect TForm::SystemInsets() const {
  std::uint32_t Style = 0, ExStyle = 0;
  AddBorderStyles(BorderStyle_, Style, ExStyle);
  return backend::FrameInsets(Style, ExStyle);
}

TRect TForm::FrameInsets() const {
  TRect I = SystemInsets();
  if (HasMenuBar()) I.Top += Screen->SystemMetric(TSystemMetric::smCyMenu);
  return {I.Left + BorderWidth_, I.Top + BorderWidth_, I.Right + BorderWidth_, I.Bottom + BorderWidth_};
}

void TForm::SetBorderWidth(int Width) {
  Width = std::max(Width, 0);
  if (Width == BorderWidth_) return;
  BorderWidth_ = Width;
  RecreateWnd();
}

void TForm::SetMenu(TMainMenu* Menu) {
  if (Menu == Menu_) return;
  if (Menu && Menu->Form_) Menu->Form_->SetMenu(nullptr);
  if (Menu_) Menu_->Form_ = nullptr;
  Menu_ = Menu;
  if (Menu_) Menu_->Form_ = this;
  if (HandleAllocated()) backend::UpdateMenu(*this);
}

void TForm::SetBorderStyle(TFormBorderStyle Style) {
  const TSize Client{ClientWidth(), ClientHeight()};
  BorderStyle_ = Style;
  const TSize Outer = SizeForClient(Client);
  SetBounds(Left(), Top(), Outer.Width, Outer.Height);
  RecreateWnd();
}

int TForm::ClientWidth() const {
  const TRect I = FrameInsets();
  return std::max(Width() - I.Left - I.Right, 0);
}

int TForm::ClientHeight() const {
  const TRect I = FrameInsets();
  return std::max(Height() - I.Top - I.Bottom, 0);
}

TSize TForm::SizeForClient(TSize Client) const {
  const TRect I = FrameInsets();
  return {Client.Width + I.Left + I.Right, Client.Height + I.Top + I.Bottom};
}

void TForm::SetClientWidth(int Width) { SetWidth(SizeForClient({Width, 0}).Width); }

void TForm::SetClientHeight(int Height) { SetHeight(SizeForClient({0, Height}).Height); }

TRect TForm::CaptionRect() const {
  // The bottom frame is as thick as the top one; the rest of the top inset is the caption.
  const TRect I = SystemInsets();
  return {I.Left, I.Bottom, Width() - I.Right, I.Top};
}

void TForm::CreateParams(TCreateParams& Params) {
  TWinControl::CreateParams(Params);
  Params.TopLevel = true;
  Params.WndParent = OwnerWindow ? OwnerWindow : Application->OwnerWindow;
  // ShowModal shows the window once it is ready.
  Params.Style = (Params.Style & wsDisabled) | wsClipChildren;
  Params.ExStyle = 0;
  AddBorderStyles(BorderStyle_, Params.Style, Params.ExStyle);
}

void TForm::CreateWnd() {
  TWinControl::CreateWnd();
  if (Menu_) backend::UpdateMenu(*this);
}

TModalResult TForm::ShowModal() {
  if (Visible_ || Modal_) throw EInvalidOperation("Cannot make a visible window modal");
  if (Position == TPosition::poScreenCenter)
    SetBounds((Screen->Width() - Width()) / 2, (Screen->Height() - Height()) / 2, Width(), Height());
  HandleNeeded();
  ModalResult_ = mrNone;
  Modal_ = true;
  TForm* const PreviousActive = Screen->ActiveForm_;
  auto& Forms = Screen->Forms_;
  Forms.insert(Forms.begin(), this);
  Screen->ActiveForm_ = this;
  struct TRestore {
    TForm& Form;
    TForm* PreviousActive;
    ~TRestore() {
      Form.Modal_ = false;
      Form.Visible_ = false;
      if (Form.HandleAllocated()) backend::UpdateVisible(Form);
      auto& Forms = Screen->Forms_;
      Forms.erase(std::remove(Forms.begin(), Forms.end(), &Form), Forms.end());
      Screen->ActiveForm_ = PreviousActive;
    }
  } Restore{*this, PreviousActive};

  // OnShow runs before the window appears, so it can still arrange the controls.
  if (OnShow) OnShow(this);
  Visible_ = true;
  backend::UpdateVisible(*this);
  TWinControl* First = ActiveControl_;
  if (!First || !First->CanFocus()) {
    const auto Stops = TabOrderList();
    First = Stops.empty() ? nullptr : Stops.front();
  }
  if (First) First->SetFocus();
  backend::RunModalLoop(*this);
  return ModalResult_;
}

bool TForm::ModalEnded() {
  if (Application->Terminated()) ModalResult_ = mrCancel;
  if (ModalResult_ == mrNone) return false;
  TCloseAction Action = TCloseAction::caHide;
  if (OnClose) OnClose(this, Action);
  if (Action == TCloseAction::caNone) {
    ModalResult_ = mrNone;
    return false;
  }
  return true;
}

void TForm::Close() {
  if (Modal_) {
    ModalResult_ = mrCancel;
    return;
  }
  TCloseAction Action = TCloseAction::caHide;
  if (OnClose) OnClose(this, Action);
  if (Action != TCloseAction::caNone) SetVisible(false);
}

void TForm::SetActiveControl(TWinControl* Control) {
  ActiveControl_ = Control;
  if (Control && Showing() && Control->CanFocus()) Control->SetFocus();
}

void TForm::FocusMoved(TWinControl* Control) {
  if (Control == ActiveControl_ && Control) return;
  ActiveControl_ = Control;
  if (!Control) return;
  Screen->ActiveForm_ = this;
  Control->DoEnter();
}

bool TForm::DialogKey(int Key, TShiftState Shift) {
  if (Key == vkTab) {
    if (Shift & (ssAlt | ssCtrl)) return false;
    SelectNext(ActiveControl_, (Shift & ssShift) == 0);
    return true;
  }
  if (Key != vkReturn && Key != vkEscape) return false;
  // Enter presses the focused button, else the default one; Escape the cancel button.
  if (Key == vkReturn)
    if (auto* Focused = dynamic_cast<TButton*>(ActiveControl_); Focused && Focused->Enabled()) {
      Focused->Click();
      return true;
    }
  std::vector<TButton*> Buttons;
  CollectButtons(*this, Buttons);
  for (TButton* B : Buttons) {
    const bool Chosen = Key == vkReturn ? B->Default : B->Cancel;
    if (Chosen && B->Visible() && B->Enabled()) {
      B->Click();
      return true;
    }
  }
  return false;
}

TCanvas& TForm::Canvas() {
  if (!Canvas_) Canvas_ = std::make_unique<TCanvas>();
  Canvas_->Font = Font();
  return *Canvas_;
}

// ===== TApplication =====

namespace {
void ShowError(const std::string& Text) {
  ShowMessageBox(Text, TMessageBoxKind::Error);
}
} // namespace

void TApplication::HandleException(TObject* Sender) {
  auto Report = [&](const Exception& E) {
    if (!OnException) return ShowError(E.Message());
    // The handler runs inside a message loop, where nothing could catch what it raises.
    try {
      OnException(Sender, E);
    } catch (const std::exception& Inner) {
      ShowError(Inner.what());
    } catch (...) {
      ShowError("Unknown error");
    }
  };
  try {
    throw;
  } catch (const EAbort&) {
  } catch (const Exception& E) {
    Report(E);
  } catch (const std::bad_alloc&) {
    Report(Exception("Out of memory"));
  } catch (const std::exception& E) {
    Report(Exception(E.what()));
  } catch (...) {
    Report(Exception("Unknown error"));
  }
}

bool TApplication::DoIdle() {
  bool Done = true;
  // A handler may replace or clear OnIdle while it runs; the copy keeps the running one alive.
  if (const TIdleEvent Handler = OnIdle) Dispatch(this, [&] { Handler(this, Done); });
  return Done;
}

void TApplication::ProcessMessages() { backend::ProcessMessages(); }

void TApplication::Terminate() {
  Terminated_ = true;
  backend::Terminate();
}

void TApplication::Minimize() {
  if (MainForm && MainForm->HandleAllocated()) backend::MinimizeWindow(*MainForm);
}

bool TApplication::HelpContext(int Context) {
  return !HelpFile.empty() && backend::ShowHelp(HelpFile, Context);
}

TApplication* const Application = new TApplication;

void Dispatch(TObject* Sender, const std::function<void()>& Action) {
  try {
    Action();
  } catch (...) {
    Application->HandleException(Sender);
  }
}

// ===== TScreen =====

void TScreen::SetCursor(TCursor Cursor) {
  Cursor_ = Cursor;
  backend::SetCursor(Cursor);
}

int TScreen::Width() const { return backend::ScreenSize().Width; }
int TScreen::Height() const { return backend::ScreenSize().Height; }
int TScreen::PixelsPerInch() const { return backend::PixelsPerInch(); }
int TScreen::BitsPerPixel() const { return backend::BitsPerPixel(); }
int TScreen::SystemMetric(TSystemMetric Metric) const { return backend::SystemMetric(Metric); }
TFont TScreen::MessageFont() const { return backend::SystemFont(0); }
TFont TScreen::CaptionFont() const { return backend::SystemFont(1); }
TFont TScreen::SmallCaptionFont() const { return backend::SystemFont(2); }
TFont TScreen::MenuFont() const { return backend::SystemFont(3); }

TScreen* const Screen = new TScreen;

} // namespace toolkit
