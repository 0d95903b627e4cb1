#include "forms/exception_report.h"

#include "forms/message_form.h"

void ExceptionReportHandler(TObject*, const Exception& E) {
  ShowMessageForm(E.Message(), mkError, 1u << btnOK, 0);
}
