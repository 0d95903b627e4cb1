#include "plugin/plugin_entry.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "dialog/seam_carving_form.h"
#include "error_report/stack_trace.h"
#include "exchange/bitmap_exchange.h"
#include "support/fpu_precision.h"
#include "support/progress.h"
#include "styled_forms/message_form.h"
#include "styled_forms/style_form.h"
#include "toolkit/message_box.h"

namespace {

const char* const MenuName = "Plugins";
const char* const CommandCaption = "Feature preserving resize";
const char* const EmptyText = "";

void ReportError(const std::string& Text) noexcept {
  try {
    PluginUi().ShowError(Text);
  } catch (...) {
    // Nothing more can be done for the user; the result code still says it failed.
  }
}

std::int32_t RunCommand(std::int32_t Command, THostImage* Image) {
  THostWindow MainWindow = 0;
  SendHostRequest(hrGetMainWindow, &MainWindow);
  toolkit::SetApplicationOwnerWindow(static_cast<std::uintptr_t>(MainWindow));

  if (Command != 1) return 1;
  if (!Image) throw ELinearBitmap("Invalid bitmap size");
  if (Image->PixelSize != 1 && Image->PixelSize != 3) {
    PluginUi().ShowInformation("Only 8 or 24 bit images supported");
    return 1;
  }

  TPluginLinearBitmap HostBitmap(*Image);
  const std::uint8_t* Mask = FindHostSelectionMask(*Image);
  std::unique_ptr<TLinearBitmap> MaskBitmap;
  if (!Mask) {
    const THostRect Rect = FindHostSelectionRect(*Image);
    if (Rect.Left >= 0) {
      MaskBitmap = BuildSelectionMask(Image->Width, Image->Height, Rect);
      Mask = MaskBitmap->Map;
    }
  }
  // Only mrOk gives 0, as the given plug-in has it; its dialog, which ours follows, ends with
  // mrCancel whichever button closed it (OK hands its image over with NewImage instead).
  return PluginUi().RunDialog(HostBitmap, Mask) == 1 ? 0 : 1;
}

} // namespace

std::unique_ptr<TLinearBitmap> BuildSelectionMask(int Width, int Height, const THostRect& Rect) {
  auto Mask = std::make_unique<TLinearBitmap>(Width, Height, lpf8Bit);
  Mask->Fill(0);
  // Clipped: a host rectangle reaching outside the image must not write outside the mask.
  const int Left = std::max(Rect.Left, 0), Right = std::min(Rect.Right, Width - 1);
  const int Top = std::max(Rect.Top, 0), Bottom = std::min(Rect.Bottom, Height - 1);
  if (Left <= Right)
    for (int Y = Top; Y <= Bottom; ++Y) std::memset(Mask->PixelAddress(Left, Y), 255, Right - Left + 1);
  return Mask;
}

void TProgressUpdate::DoProgress(int Percent) {
  std::int32_t Value = Percent;
  if (SendHostRequest(hrProgress, &Value) == 0) throw EAbort();
}

TPluginUi DefaultPluginUi() {
  TPluginUi Ui;
  Ui.ShowInformation = [](const std::string& Text) {
    ShowMessageForm(Text, mkInformation, MessageButtons({btnOK}), 0);
  };
  Ui.ShowError = [](const std::string& Text) { ShowMessageForm(Text, mkError, MessageButtons({btnOK}), 0); };
  Ui.RunDialog = [](TPluginLinearBitmap& HostBitmap, const std::uint8_t* Mask) {
    dialog::TSeamCarvingForm Form(nullptr);
    Form.HostBitmap = &HostBitmap;
    Form.SelectionMask = Mask;
    return static_cast<int>(Form.ShowModal());
  };
  return Ui;
}

TPluginUi& PluginUi() {
  static TPluginUi Ui = DefaultPluginUi();
  return Ui;
}

namespace {
// What the library sets up when it is loaded, before the host calls in.
const struct TStartUp {
  TStartUp() { InstallToolkitBitmapExchange(); }
} StartUp;
} // namespace

extern "C" std::int32_t FR_STDCALL RegisterPlugin(THostCallback Callback) {
  try {
    // The host's first call, outside the loader's lock: the rest of the start-up. The hooks are
    // in already where the library was loaded as a DLL.
    InstallErrorHooks();
    StyleFormStartUp();
    HostCallback = Callback;
    THostMenuCommand Record;
    std::memset(&Record, 0, sizeof(Record));
    if (!Callback) return 0;
    Record.Menu = MenuName;
    Record.Caption = CommandCaption;
    Record.Text = EmptyText;
    Record.Command = 1;
    const std::int32_t Answer = SendHostRequest(hrAddMenuCommand, &Record);
    ProgressHook = &TProgressUpdate::DoProgress;
    return Answer;
  } catch (...) {
    return 0;
  }
}

extern "C" std::int32_t FR_STDCALL ProcessImage(std::int32_t Command, THostImage* Image) {
  const TExtendedPrecisionScope Precision;
  try {
    return RunCommand(Command, Image);
  } catch (const EAbort&) {
    // The silent abort: the user stopped the operation; nothing to report.
  } catch (const Exception& E) {
    ReportError(E.Message());
  } catch (const std::bad_alloc&) {
    ReportError("Out of memory");
  } catch (const std::exception& E) {
    ReportError(E.what());
  } catch (...) {
    ReportError("Unexpected error");
  }
  return 1;
}
