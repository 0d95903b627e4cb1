#include "dialog/seam_carving_form.h"

#include <cmath>

#include "host_api/host_interface.h"

namespace dialog {

namespace {

// A control of kind T owned by Form inside Parent at (Left, Top), Width x Height.
template <typename T>
T* Make(TForm* Form, TWinControl* Parent, int Left, int Top, int Width, int Height,
        const std::string& Caption = "") {
  auto* Control = new T(Form);
  Control->SetParent(Parent);
  Control->SetBounds(Left, Top, Width, Height);
  if (!Caption.empty()) Control->SetCaption(Caption);
  return Control;
}

// A label reaching to the control right of it, so that its caption has room in whatever font
// the system substitutes.
TLabel* MakeLabel(TForm* Form, TWinControl* Parent, int Left, int Top, int Right, const std::string& Caption) {
  return Make<TLabel>(Form, Parent, Left, Top, Right - Left, 13, Caption);
}

// A right-aligned integer edit with its range, increment and value, set in that order.
TIntegerEdit* MakeIntegerEdit(TForm* Form, TWinControl* Parent, int Left, int Top, int Width,
                              int Min, int Max, int Value) {
  auto* Edit = Make<TIntegerEdit>(Form, Parent, Left, Top, Width, 21);
  Edit->SetAlignment(TAlignment::taRightJustify);
  Edit->SetMax(Max);
  Edit->SetMin(Min);
  Edit->SetSpinIncrement(1);
  Edit->SetValue(Value);
  return Edit;
}

TFloatEdit* MakePercentEdit(TForm* Form, TWinControl* Parent, int Top, int Max) {
  auto* Edit = Make<TFloatEdit>(Form, Parent, 164, Top, 53, 21);
  Edit->SetAlignment(TAlignment::taRightJustify);
  Edit->SetMax(Max);
  Edit->SetMin(1);
  Edit->SetSpinIncrement(10);
  Edit->SetValue(100);
  Edit->SetFormatString("0.##");
  return Edit;
}

void SetTabOrders(std::initializer_list<TWinControl*> Controls) {
  int Order = 0;
  for (TWinControl* Control : Controls) Control->SetTabOrder(Order++);
}

} // namespace

std::string ScaledImageName(const std::string& Name) {
  const std::size_t Dot = Name.rfind('.');
  const bool DotInFolder = Dot != std::string::npos && Name.find('\\', Dot) != std::string::npos;
  const std::string Base = Dot == std::string::npos || DotInFolder ? Name : Name.substr(0, Dot);
  const std::size_t Last = Name.find_last_of(".\\:");
  const std::string Ext = Last != std::string::npos && Name[Last] == '.' ? Name.substr(Last + 1) : "";
  return Base + " scaled." + Ext;
}

// ===== Construction =====

TSeamCarvingForm::TSeamCarvingForm(TComponent* Owner) : TStyleForm(Owner) {
  CreateControls();
}

TSeamCarvingForm::~TSeamCarvingForm() {
  // The form's own OnDestroy would run after this object is gone, so its work runs here; the
  // controls' events refer to this form too, so they go while it is still whole.
  FormDestroy(this);
  DestroyComponents();
}

void TSeamCarvingForm::CreateControls() {
  SetCaption("Feature preserving resize");
  SetBorderStyle(TFormBorderStyle::bsDialog);
  TFont Font;
  Font.Name = "MS Sans Serif";
  Font.Height = -11;
  SetFont(Font);
  SetColor(clBtnFace);
  // The client area as designed, on this system's frames and caption.
  SetClientWidth(272);
  SetClientHeight(364);
  Position = TPosition::poScreenCenter;

  Label1 = MakeLabel(this, this, 12, 16, 127, "Cost window size:");
  // The dialog's smallest window is 3, its own rule; the largest is the engine's.
  CostWindowEdit = MakeIntegerEdit(this, this, 128, 13, 57, 3, TSeamCarvingComponent::MaxCostWindowSize, 5);
  CostWindowEdit->SetSpinIncrement(2);
  ShowCostMapButton = Make<TButton>(this, this, 192, 13, 69, 21, "Show cost");
  SelectionHandlingGroup = Make<TRadioGroup>(this, this, 12, 40, 249, 81, "Selection handling");
  SelectionHandlingGroup->SetItems({"Ignore selection", "Selected area is expensive to contract",
                                    "Selected area is cheap to contract"});
  SelectionHandlingGroup->SetItemIndex(0);

  GroupBox1 = Make<TGroupBox>(this, this, 12, 128, 249, 105, "Automatic scaling");
  Label2 = MakeLabel(this, GroupBox1, 8, 20, 55, "Width:");
  Label3 = MakeLabel(this, GroupBox1, 8, 44, 55, "Height:");
  NewWidthEdit = MakeIntegerEdit(this, GroupBox1, 56, 17, 61, 1, 32000, 1);
  NewHeightEdit = MakeIntegerEdit(this, GroupBox1, 56, 41, 61, 1, 100, 1);
  Label4 = MakeLabel(this, GroupBox1, 120, 20, 163, "pixels");
  Label6 = MakeLabel(this, GroupBox1, 120, 44, 163, "pixels");
  NewWidthPercentEdit = MakePercentEdit(this, GroupBox1, 17, 150);
  NewHeightPercentEdit = MakePercentEdit(this, GroupBox1, 41, 100);
  Label5 = MakeLabel(this, GroupBox1, 220, 20, 245, "%");
  Label7 = MakeLabel(this, GroupBox1, 220, 44, 245, "%");
  ApplyButton = Make<TButton>(this, GroupBox1, 8, 72, 101, 21, "Scale");

  GroupBox2 = Make<TGroupBox>(this, this, 12, 240, 249, 81, "Manual reduction");
  ShowBestSeamButton = Make<TButton>(this, GroupBox2, 8, 20, 101, 21, "Show best seam");
  DeleteBestSeamButton = Make<TButton>(this, GroupBox2, 8, 48, 101, 21, "Delete best seam");
  DeleteCountEdit = MakeIntegerEdit(this, GroupBox2, 112, 48, 41, 1, 999, 1);
  DirectionGroup = Make<TRadioGroup>(this, GroupBox2, 160, 16, 81, 53, "Direction");
  DirectionGroup->SetItems({"Horizontal", "Vertical"});
  DirectionGroup->SetItemIndex(0);

  ResetButton = Make<TButton>(this, this, 12, 332, 75, 25, "Reset");
  CancelButton = Make<TButton>(this, this, 104, 332, 75, 25, "Cancel");
  CancelButton->Cancel = true;
  OKButton = Make<TButton>(this, this, 184, 332, 77, 25, "OK");

  RestoreImageTimer = new TTimer(this);
  RestoreImageTimer->SetEnabled(false);
  RestoreImageTimer->SetInterval(1500);

  SetTabOrders({OKButton, CostWindowEdit, ShowCostMapButton, SelectionHandlingGroup, GroupBox1,
                GroupBox2, ResetButton, CancelButton});
  SetTabOrders({NewWidthEdit, NewHeightEdit, ApplyButton, NewWidthPercentEdit, NewHeightPercentEdit});
  SetTabOrders({ShowBestSeamButton, DeleteBestSeamButton, DeleteCountEdit, DirectionGroup});

  // The events go on last, so that the initial values above run none of them.
  auto Bind = [this](void (TSeamCarvingForm::*Handler)(TObject*)) {
    return [this, Handler](TObject* Sender) { (this->*Handler)(Sender); };
  };
  OnShow = Bind(&TSeamCarvingForm::FormShow);
  OnClose = [this](TObject* Sender, TCloseAction& Action) { FormClose(Sender, Action); };
  CostWindowEdit->OnChangeValue = Bind(&TSeamCarvingForm::ParametersChanged);
  ShowCostMapButton->OnClick = Bind(&TSeamCarvingForm::ShowCostMapButtonClick);
  SelectionHandlingGroup->OnClick = Bind(&TSeamCarvingForm::ParametersChanged);
  NewWidthEdit->OnChangeValue = Bind(&TSeamCarvingForm::NewWidthEditChangeValue);
  NewHeightEdit->OnChangeValue = Bind(&TSeamCarvingForm::NewHeightEditChangeValue);
  NewWidthPercentEdit->OnChangeValue = Bind(&TSeamCarvingForm::NewWidthPercentEditChangeValue);
  NewHeightPercentEdit->OnChangeValue = Bind(&TSeamCarvingForm::NewHeightPercentEditChangeValue);
  ApplyButton->OnClick = Bind(&TSeamCarvingForm::ApplyButtonClick);
  ShowBestSeamButton->OnClick = Bind(&TSeamCarvingForm::ShowBestSeamButtonClick);
  DeleteBestSeamButton->OnClick = Bind(&TSeamCarvingForm::DeleteBestSeamButtonClick);
  ResetButton->OnClick = Bind(&TSeamCarvingForm::ResetButtonClick);
  CancelButton->OnClick = Bind(&TSeamCarvingForm::CancelButtonClick);
  OKButton->OnClick = Bind(&TSeamCarvingForm::OKButtonClick);
  RestoreImageTimer->SetOnTimer(Bind(&TSeamCarvingForm::RestoreImageTimerEvent));
}

// ===== Helpers =====

void TSeamCarvingForm::Refresh() { SendHostRequest(hrRefresh, nullptr); }

void TSeamCarvingForm::ShowInHost(const TLinearBitmap& Bitmap) { HostBitmap->Assign(&Bitmap); }

void TSeamCarvingForm::RestartRestoreTimer() {
  RestoreImageTimer->SetEnabled(false);
  RestoreImageTimer->SetEnabled(true);
}

void TSeamCarvingForm::PutSavedImageBack() {
  // The timer goes first: its restore would otherwise copy the engine's image over the saved
  // one afterwards.
  RestoreImageTimer->SetEnabled(false);
  Ended_ = true;
  if (SavedBitmap_) ShowInHost(*SavedBitmap_);
}

// ===== Show, close, destroy =====

void TSeamCarvingForm::FormShow(TObject*) {
  SavedBitmap_ = std::make_unique<TLinearBitmap>();
  SavedBitmap_->Assign(HostBitmap);
  SelectionHandlingGroup->SetEnabled(SelectionMask != nullptr);
  const int W = SavedBitmap_->Width, H = SavedBitmap_->Height;
  NewWidthEdit->SetMax(static_cast<int>(TSeamCarvingComponent::WidestEnlargement(W)));
  NewWidthEdit->SetValue(W);
  NewHeightEdit->SetMax(H);
  NewHeightEdit->SetValue(H);
  ResetButtonClick(this);
  if (SelectionHandlingGroup->Enabled()) SelectionHandlingGroup->SetItemIndex(1);
}

void TSeamCarvingForm::FormClose(TObject*, TCloseAction&) {
  // The close box and Alt+F4 end the dialog as Cancel does; after OK and Cancel the timer is
  // stopped already, so its restore below does nothing.
  if (!Ended_) {
    PutSavedImageBack();
    Refresh();
  }
  RestoreImageTimerEvent(this);
}

void TSeamCarvingForm::FormDestroy(TObject*) {
  Engine_.reset();
  SavedBitmap_.reset();
}

// ===== Parameters =====

void TSeamCarvingForm::ResetButtonClick(TObject*) {
  Engine_.reset();
  Engine_ = std::make_unique<TSeamCarvingComponent>(*SavedBitmap_, SelectionMask, TSeamCarvingComponent::InsertionGamma);
  ParametersChanged(this);
  ShowInHost(*SavedBitmap_);
  Refresh();
}

void TSeamCarvingForm::ParametersChanged(TObject*) {
  if (!Engine_) return;
  Engine_->SetCostWindowSize(CostWindowEdit->Value());
  Engine_->SetSelectionHandling(static_cast<TSelectionHandling>(std::max(SelectionHandlingGroup->ItemIndex(), 0)));
}

void TSeamCarvingForm::NewWidthEditChangeValue(TObject*) {
  NewWidthPercentEdit->SetValue(static_cast<long double>(NewWidthEdit->Value()) / SavedBitmap_->Width * 100);
}

void TSeamCarvingForm::NewHeightEditChangeValue(TObject*) {
  NewHeightPercentEdit->SetValue(static_cast<long double>(NewHeightEdit->Value()) / SavedBitmap_->Height * 100);
}

namespace {
// Width x percentage / 100 to the nearest pixel, halves to even, limited to what the integer
// edit can hold before it clamps to its own range.
int PercentOf(int Size, long double Percent) {
  const long double Pixels = std::nearbyint(Size * Percent / 100);
  return static_cast<int>(std::clamp<long double>(Pixels, INT32_MIN, INT32_MAX));
}
} // namespace

void TSeamCarvingForm::NewWidthPercentEditChangeValue(TObject*) {
  NewWidthEdit->SetValue(PercentOf(SavedBitmap_->Width, NewWidthPercentEdit->Value()));
}

void TSeamCarvingForm::NewHeightPercentEditChangeValue(TObject*) {
  NewHeightEdit->SetValue(PercentOf(SavedBitmap_->Height, NewHeightPercentEdit->Value()));
}

// ===== Previews =====

void TSeamCarvingForm::ShowCostMapButtonClick(TObject*) {
  const TBusyCursor Busy;
  TLinearBitmap Display;
  Engine_->RenderCostMap(Display);
  Display.ConvertTo(HostBitmap->PixelFormat);
  ShowInHost(Display);
  Refresh();
  RestartRestoreTimer();
}

void TSeamCarvingForm::ShowBestSeamButtonClick(TObject*) {
  const TBusyCursor Busy;
  constexpr TColorValue Magenta = 0xFF00FF;
  const TSeamDirection Direction = DirectionGroup->ItemIndex() == 0 ? sdVertical : sdHorizontal;
  Engine_->FindSeams(SeamDirectionBit(Direction));
  Engine_->FollowSeam(Direction, Direction == sdVertical ? Engine_->BestColumn : Engine_->BestRow,
                      [this](int X, int Y) { HostBitmap->SetPixelColor(X, Y, Magenta); });
  Refresh();
  RestartRestoreTimer();
}

// ===== Carving =====

void TSeamCarvingForm::DeleteBestSeamButtonClick(TObject*) {
  const TBusyCursor Busy;
  const int Count = DeleteCountEdit->Value();
  const bool Vertical = DirectionGroup->ItemIndex() == 0;
  for (int I = 0; I < Count; ++I) {
    if ((Vertical ? Engine_->Width : Engine_->Height) < 2) break;
    if (Vertical) {
      Engine_->FindSeams(SeamDirectionBit(sdVertical));
      Engine_->RemoveVerticalSeam(Engine_->BestColumn);
    } else {
      Engine_->FindSeams(SeamDirectionBit(sdHorizontal));
      Engine_->RemoveHorizontalSeam(Engine_->BestRow);
    }
  }
  if (Engine_->Image) ShowInHost(*Engine_->Image);
  Refresh();
}

void TSeamCarvingForm::ApplyButtonClick(TObject*) {
  const TBusyCursor Busy;
  const int W = NewWidthEdit->Value(), H = NewHeightEdit->Value();
  // Earlier reductions that went too far are undone by the dialog's own Reset (a new engine).
  if (Engine_->NeedsRestart(W, H)) ResetButtonClick(this);
  // Progress goes through the host; its answer 0 aborts here, leaving the host image as it was.
  Engine_->EnlargeThenScale(W, H);
  if (!Engine_->Image) return;
  if (Engine_->Image->Width > SavedBitmap_->Width) {
    // A widened image cannot be carved further: it becomes the new image at once.
    OKButtonClick(this);
  } else {
    ShowInHost(*Engine_->Image);
    Refresh();
  }
}

// ===== Ending =====

void TSeamCarvingForm::OKButtonClick(TObject*) {
  if (TLinearBitmap* Image = Engine_ ? Engine_->Image.get() : nullptr) {
    THostImage Host{};
    Host.Pixels = HostBitmap->HostPixels;
    const std::string NewName = ScaledImageName(FindHostImageName(Host));
    Image->ResizeCanvas(Engine_->Width, Engine_->Height, 0, 0, 0);
    THostNewImage Record{};
    Record.Name = NewName.c_str();
    // The palette travels with an 8-bit image: a null palette would read as the grey ramp.
    FillHostImage(Image, Record.Image, false);
    SendHostRequest(hrNewImage, &Record);
  }
  PutSavedImageBack();
  // The host must not keep showing a carved image that is no longer in its buffer.
  Refresh();
  SetModalResult(mrCancel);
}

void TSeamCarvingForm::CancelButtonClick(TObject*) {
  PutSavedImageBack();
  Refresh();
  SetModalResult(mrCancel);
}

void TSeamCarvingForm::RestoreImageTimerEvent(TObject*) {
  if (!RestoreImageTimer->Enabled()) return;
  RestoreImageTimer->SetEnabled(false);
  if (Engine_ && Engine_->Image) ShowInHost(*Engine_->Image);
  else if (SavedBitmap_) ShowInHost(*SavedBitmap_);
  Refresh();
}

} // namespace dialog
