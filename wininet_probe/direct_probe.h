// The direct probe's failure report, beside CProbeDlg::GetURL.
#pragma once

#include "platform/mfc/cstring.h"

// Shows one report for the step that just failed: "ReqID <nReqID>, <step> -
// <system text> (<code>) - <server's last response text>", with "(null)" where
// the system has no text for the code. Reads the thread's last error first,
// so it must run right after the failing call.
void ReportRequestFailure(CString strStep, int nReqID);
