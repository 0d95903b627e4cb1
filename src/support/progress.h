// The process-wide progress hook: long engine operations report a percentage through it.
// Unset until the plug-in registers with its host; the hook may raise EAbort to stop the work.
#pragma once

#include <functional>

using TProgressEvent = std::function<void(int Percent)>;

extern TProgressEvent ProgressHook;
