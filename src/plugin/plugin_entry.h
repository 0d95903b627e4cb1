// The plug-in's two exported entry points, the progress forwarding to the host, and the
// narrow seam through which ProcessImage reaches its user interface.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "imaging/linear_bitmap.h"
#include "host_api/host_interface.h"
#include "host_api/plugin_linear_bitmap.h"

extern "C" {
// Stores Callback and asks the host to add "Feature preserving resize" to "Plugins". Returns
// the host's answer, or 0 for a null callback.
std::int32_t FR_STDCALL RegisterPlugin(THostCallback Callback);
// Runs the command on the host's image. Returns 0 only when the dialog ends with modal result
// 1 (mrOk), else 1. The resize dialog follows the given dialog, whose buttons all end it with
// the cancel result, OK included: after the real dialog ProcessImage returns 1.
// Never lets an exception out: errors are shown to the user and give 1.
std::int32_t FR_STDCALL ProcessImage(std::int32_t Command, THostImage* Image);
}

// Forwards engine progress to the host; ProgressHook holds DoProgress once registered.
class TProgressUpdate {
public:
  TProgressUpdate() = delete;
  // Sends Progress with Percent; raises EAbort when the host answers 0.
  static void DoProgress(int Percent);
};

// What ProcessImage needs of the user interface: by default the plug-in's message forms (one
// OK button) and the resize dialog.
struct TPluginUi {
  std::function<void(const std::string& Text)> ShowInformation;
  std::function<void(const std::string& Text)> ShowError;
  // Shows the resize dialog modally over HostBitmap with the selection Mask (may be null)
  // and returns its modal result.
  std::function<int(TPluginLinearBitmap& HostBitmap, const std::uint8_t* Mask)> RunDialog;
};

TPluginUi& PluginUi();
TPluginUi DefaultPluginUi();

// The selection mask of a Width x Height image for the inclusive rectangle Rect, clipped to
// the image: 255 inside, 0 elsewhere.
std::unique_ptr<TLinearBitmap> BuildSelectionMask(int Width, int Height, const THostRect& Rect);
