#include "styled_forms/message_form.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <functional>

#include "toolkit/backend.h"

using namespace toolkit;

namespace {

struct TKindInfo {
  const char* Caption; // null: the application's title
  TSystemIcon Icon;
};
constexpr TKindInfo Kinds[] = {{"Warning", TSystemIcon::siExclamation},
                               {"Error", TSystemIcon::siHand},
                               {"Information", TSystemIcon::siAsterisk},
                               {"Confirm", TSystemIcon::siQuestion},
                               {nullptr, TSystemIcon::siNone}};

struct TStandardButton {
  const char* Caption;
  const char* Name;
  TModalResult Result;
};
constexpr TStandardButton StandardButtons[] = {
    {"&Yes", "Yes", mrYes},          {"&No", "No", mrNo},       {"Yes to &All", "YesToAll", mrYesToAll},
    {"N&o to All", "NoToAll", mrNoToAll}, {"&All", "All", mrAll}, {"OK", "OK", mrOk},
    {"&Retry", "Retry", mrRetry},    {"&Ignore", "Ignore", mrIgnore}, {"&Abort", "Abort", mrAbort},
    {"Cancel", "Cancel", mrCancel},  {"&Help", "Help", mrNone}};

// Widths of the standard buttons' captions + 8, measured once for the life of the library.
std::array<int, 11> CachedButtonWidths{};

// A button of the form to be built.
struct TButtonChoice {
  std::string Caption, Name;
  TModalResult Result;
  bool Default, Cancel, Help;
};

int MeasuredButtonWidth(TCanvas& Canvas, const std::string& Caption) {
  return Canvas.TextWidth(StripAccelChars(Caption)) + 8;
}

// Lays out the message form for Text and Buttons. ButtonWidthOf gives the width a button's
// caption needs; the widest of them and the standard width wins.
std::unique_ptr<TMessageForm> Build(const std::string& Text, TMessageKind Kind, const std::vector<TButtonChoice>& Buttons,
                                    const std::function<int(TCanvas&, std::size_t)>& ButtonWidthOf) {
  // A kind from outside the enumeration gets the plain look of a custom message.
  if (Kind < mkWarning || Kind > mkCustom) Kind = mkCustom;
  auto Form = std::make_unique<TMessageForm>(Application);
  Form->SetBorderStyle(TFormBorderStyle::bsDialog);
  TCanvas& Canvas = Form->Canvas();

  // The average character of the form's font sets every distance.
  const TSize Letters = Canvas.TextExtent("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  const int CX = Letters.Width / 52, CY = Letters.Height;
  const int HorzMargin = MulDivRounded(8, CX, 4), VertMargin = MulDivRounded(8, CY, 8);
  const int HorzSpacing = MulDivRounded(10, CX, 4), VertSpacing = MulDivRounded(10, CY, 8);
  int ButtonWidth = MulDivRounded(50, CX, 4);
  const int ButtonHeight = MulDivRounded(14, CY, 8), ButtonSpacing = MulDivRounded(4, CX, 4);
  for (std::size_t I = 0; I < Buttons.size(); ++I) ButtonWidth = std::max(ButtonWidth, ButtonWidthOf(Canvas, I));

  const TSize TextSize = Canvas.MeasureWrapped(Text, Screen->Width() / 2);
  const TSystemIcon Icon = Kinds[Kind].Icon;
  int IconTextWidth = TextSize.Width, IconTextHeight = TextSize.Height;
  if (Icon != TSystemIcon::siNone) {
    IconTextWidth += 32 + HorzSpacing;
    IconTextHeight = std::max(IconTextHeight, 32);
  }
  const int N = static_cast<int>(Buttons.size());
  const int ButtonGroupWidth = N > 0 ? N * ButtonWidth + (N - 1) * ButtonSpacing : 0;
  Form->SetClientWidth(std::max(IconTextWidth, ButtonGroupWidth) + 2 * HorzMargin);
  Form->SetClientHeight(IconTextHeight + ButtonHeight + VertSpacing + 2 * VertMargin);
  Form->SetBounds(Screen->Width() / 2 - Form->Width() / 2, Screen->Height() / 2 - Form->Height() / 2,
                  Form->Width(), Form->Height());
  Form->SetCaption(Kinds[Kind].Caption ? Kinds[Kind].Caption : Application->Title);

  if (Icon != TSystemIcon::siNone) {
    auto* Image = new TImage(Form.get());
    Image->Name = "Image";
    Image->SetParent(Form.get());
    Image->SetBounds(HorzMargin, VertMargin, 32, 32);
    Image->Picture.Icon().Icon = Icon;
  }
  auto* Message = new TLabel(Form.get());
  Message->Name = "Message";
  Message->WordWrap = true;
  Message->Transparent = true;
  Message->ShowAccelChar = false;
  Message->SetCaption(Text);
  int X = IconTextWidth - TextSize.Width + HorzMargin;
  if (Application->RightToLeft) X = Form->ClientWidth() - X - TextSize.Width;
  Message->SetBounds(X, VertMargin, TextSize.Width, TextSize.Height);
  Message->SetParent(Form.get());

  X = (Form->ClientWidth() - ButtonGroupWidth) / 2;
  const int Y = IconTextHeight + VertMargin + VertSpacing;
  TMessageForm* Owner = Form.get();
  for (const TButtonChoice& Choice : Buttons) {
    auto* Button = new TButton(Owner);
    Button->Name = Choice.Name;
    Button->SetCaption(Choice.Caption);
    Button->ModalResult = Choice.Result;
    Button->Default = Choice.Default;
    Button->Cancel = Choice.Cancel;
    if (Choice.Help)
      Button->OnClick = [Owner](TObject*) {
        const std::string& File = Owner->HelpFile.empty() ? Application->HelpFile : Owner->HelpFile;
        if (!File.empty()) backend::ShowHelp(File, Owner->HelpContext);
      };
    Button->SetParent(Owner);
    Button->SetBounds(X, Y, ButtonWidth, ButtonHeight);
    // The default button starts with the focus, so that Enter chooses it as its frame shows.
    if (Choice.Default) Owner->SetActiveControl(Button);
    X += ButtonWidth + ButtonSpacing;
  }
  return Form;
}

} // namespace

TMessageForm::TMessageForm(TComponent* Owner) : TStyleForm(Owner, TBuiltOnTheFly{}) {
  OwnerWindow = ActiveOwnerWindow();
  SetFont(Screen->MessageFont());
}

std::uintptr_t ActiveOwnerWindow() {
  // The toolkit has no MDI children; of the active forms only the main form and modal forms
  // can own a message.
  TForm* Active = Screen->ActiveForm();
  if (!Active) return 0;
  if (Active == Application->MainForm || Active->Modal()) return Active->Handle();
  return 0;
}

int MulDivRounded(int A, int B, int C) {
  if (C == 0) return -1;
  const long long Product = static_cast<long long>(A) * B;
  // Halves go away from zero, as the system's MulDiv rounds.
  long long Q = (std::llabs(Product) * 2 + std::llabs(C)) / (2 * std::llabs(static_cast<long long>(C)));
  if ((Product < 0) != (C < 0)) Q = -Q;
  return static_cast<int>(Q);
}

std::unique_ptr<TMessageForm> BuildMessageForm(const std::string& Text, TMessageKind Kind, TMessageButtons Buttons) {
  auto Has = [&](TMessageButton B) { return (Buttons & (1u << B)) != 0; };
  const TMessageButton Default = Has(btnOK) ? btnOK : Has(btnYes) ? btnYes : btnRetry;
  const TMessageButton Cancel = Has(btnCancel) ? btnCancel : Has(btnNo) ? btnNo : btnOK;
  std::vector<TButtonChoice> Choices;
  std::vector<int> Bits;
  for (int B = btnYes; B <= btnHelp; ++B) {
    if (!Has(static_cast<TMessageButton>(B))) continue;
    const TStandardButton& S = StandardButtons[B];
    Choices.push_back({S.Caption, S.Name, S.Result, B == Default, B == Cancel, B == btnHelp});
    Bits.push_back(B);
  }
  return Build(Text, Kind, Choices, [&](TCanvas& Canvas, std::size_t I) {
    int& Cached = CachedButtonWidths[Bits[I]];
    if (Cached == 0) Cached = MeasuredButtonWidth(Canvas, Choices[I].Caption);
    return Cached;
  });
}

int ShowMessageFormAt(const std::string& Text, TMessageKind Kind, TMessageButtons Buttons, int HelpContext, int X,
                      int Y, const std::string& HelpFile) {
  const auto Form = BuildMessageForm(Text, Kind, Buttons);
  Form->HelpContext = HelpContext;
  Form->HelpFile = HelpFile;
  if (X >= 0) Form->SetLeft(X);
  if (Y >= 0) Form->SetTop(Y);
  if (X < 0 && Y < 0) Form->Position = TPosition::poScreenCenter;
  return Form->ShowModal();
}

int ShowMessageForm(const std::string& Text, TMessageKind Kind, TMessageButtons Buttons, int HelpContext) {
  return ShowMessageFormAt(Text, Kind, Buttons, HelpContext, -1, -1, "");
}

std::unique_ptr<TMessageForm> BuildButtonMessageForm(const std::string& Text, TMessageKind Kind,
                                                     const std::vector<std::string>& Captions, int CancelNumber) {
  const int Last = static_cast<int>(Captions.size()) - 1;
  const int CancelIndex = std::max(std::min(CancelNumber - 1, Last), 0);
  std::vector<TButtonChoice> Choices;
  for (int I = 0; I <= Last; ++I)
    Choices.push_back({Captions[I], "Button" + std::to_string(I + 1), -(I + 1), I == 0, I == CancelIndex, false});
  return Build(Text, Kind, Choices,
               [&](TCanvas& Canvas, std::size_t I) { return MeasuredButtonWidth(Canvas, Choices[I].Caption); });
}

int ShowButtonMessageForm(const std::string& Text, TMessageKind Kind, const std::vector<std::string>& Captions,
                          int CancelNumber) {
  const auto Form = BuildButtonMessageForm(Text, Kind, Captions, CancelNumber);
  Form->Position = TPosition::poScreenCenter;
  const TModalResult Result = Form->ShowModal();
  return Result <= 0 ? -Result : 0;
}
