#include "support/progress.h"

TProgressEvent ProgressHook;
