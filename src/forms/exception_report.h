// The application-wide report of errors that escape the plug-in's event handlers.
#pragma once

#include "support/object.h"

// Shows E's message in an error message form with one OK button.
void ExceptionReportHandler(TObject* Sender, const Exception& E);
