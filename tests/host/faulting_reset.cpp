// Test equipment, linked only into a test build of the plug-in: the resize dialog's Reset
// button writes through a null pointer and its Show best seam calls through one, real access
// violations in the plug-in's own code, so the error report can be seen end to end in a host.
// The rest of the dialog is unchanged.
#include "faulting_reset.h"

#include "dialog/seam_carving_form.h"
#include "plugin/plugin_entry.h"

namespace {

int* volatile Nil = nullptr;
void (*volatile NilProcedure)() = nullptr;

__attribute__((noinline)) void WriteThroughNil() {
  *Nil = 1;
  static_assert(__LINE__ - 1 == FaultingResetLine, "the faulting line moved: update FaultingResetLine");
}

__attribute__((noinline)) void CallThroughNil() {
  NilProcedure();
  Nil = nullptr; // the call must return here, so it is no jump
}

// Replaces the dialog of the plug-in's interface with one whose two buttons fault.
const struct TFaultingReset {
  TFaultingReset() {
    PluginUi().RunDialog = [](TPluginLinearBitmap& HostBitmap, const std::uint8_t* Mask) {
      dialog::TSeamCarvingForm Form(nullptr);
      Form.HostBitmap = &HostBitmap;
      Form.SelectionMask = Mask;
      Form.ResetButton->OnClick = [](TObject*) { WriteThroughNil(); };
      Form.ShowBestSeamButton->OnClick = [](TObject*) { CallThroughNil(); };
      return static_cast<int>(Form.ShowModal());
    };
  }
} Install;

} // namespace
