// TSeamCarvingForm: the resize dialog. It drives one seam-carving engine over a private copy
// of the host's image and uses the host's own pixel buffer as its preview: every result, cost
// map or seam is copied into the buffer and the host is asked to repaint. Temporary displays
// give way to the proper image 1.5 seconds later. OK hands the carved image to the host as a
// new image; whichever way the dialog ends, the host's image is put back as it was.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "value_edits/value_edit.h"
#include "styled_forms/style_form.h"
#include "host_api/plugin_linear_bitmap.h"
#include "seamcarving/seam_carving_component.h"
#include "toolkit/forms.h"
#include "toolkit/timer.h"

namespace dialog {

using namespace toolkit;
using controls::TFloatEdit;
using controls::TIntegerEdit;

class TSeamCarvingForm : public TStyleForm {
public:
  // Builds the form and its controls as laid out at 96 dots per inch.
  explicit TSeamCarvingForm(TComponent* Owner);
  ~TSeamCarvingForm() override;
  const char* ClassName() const override { return "TSeamCarvingForm"; }

  TButton* ShowCostMapButton;
  TTimer* RestoreImageTimer;
  TButton* OKButton;
  TLabel* Label1;
  TIntegerEdit* CostWindowEdit;
  TRadioGroup* SelectionHandlingGroup;
  TGroupBox* GroupBox1;
  TButton* ResetButton;
  TGroupBox* GroupBox2;
  TButton* ShowBestSeamButton;
  TButton* DeleteBestSeamButton;
  TIntegerEdit* DeleteCountEdit;
  TLabel* Label2;
  TIntegerEdit* NewWidthEdit;
  TIntegerEdit* NewHeightEdit;
  TLabel* Label3;
  TButton* ApplyButton;
  TButton* CancelButton;
  TRadioGroup* DirectionGroup;
  TFloatEdit* NewWidthPercentEdit;
  TLabel* Label4;
  TLabel* Label5;
  TFloatEdit* NewHeightPercentEdit;
  TLabel* Label6;
  TLabel* Label7;

  // Set by the caller before the dialog is shown: the adapter over the host's image (not
  // owned) and the selection mask (may be null, not owned).
  TPluginLinearBitmap* HostBitmap = nullptr;
  const std::uint8_t* SelectionMask = nullptr;

  // The engine and the saved image, for the caller's and the tests' inspection.
  const TSeamCarvingComponent* Engine() const { return Engine_.get(); }
  const TLinearBitmap* SavedBitmap() const { return SavedBitmap_.get(); }

  // ---- event handlers ----
  void FormShow(TObject* Sender);
  void FormClose(TObject* Sender, TCloseAction& Action);
  void FormDestroy(TObject* Sender);
  void ResetButtonClick(TObject* Sender);
  void ParametersChanged(TObject* Sender);
  void ShowCostMapButtonClick(TObject* Sender);
  void ShowBestSeamButtonClick(TObject* Sender);
  void DeleteBestSeamButtonClick(TObject* Sender);
  void ApplyButtonClick(TObject* Sender);
  void OKButtonClick(TObject* Sender);
  void CancelButtonClick(TObject* Sender);
  void RestoreImageTimerEvent(TObject* Sender);
  void NewWidthEditChangeValue(TObject* Sender);
  void NewHeightEditChangeValue(TObject* Sender);
  void NewWidthPercentEditChangeValue(TObject* Sender);
  void NewHeightPercentEditChangeValue(TObject* Sender);

private:
  void CreateControls();
  void RestartRestoreTimer();
  // Stops the restore timer and puts the saved image back into the host's buffer.
  void PutSavedImageBack();
  void ShowInHost(const TLinearBitmap& Bitmap);
  static void Refresh();

  std::unique_ptr<TLinearBitmap> SavedBitmap_;
  std::unique_ptr<TSeamCarvingComponent> Engine_;
  // Set once OK or Cancel put the saved image back; any other way out does it in FormClose.
  bool Ended_ = false;
};

// The name of the new image: "photo.jpg" gives "photo scaled.jpg", "photo" gives "photo scaled."
// (a dot in a folder name is no extension).
std::string ScaledImageName(const std::string& Name);

} // namespace dialog
