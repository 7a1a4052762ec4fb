// Resource and control identifiers of Wastewatch. Included by the resource script and the C++ code,
// so it holds nothing but #defines.
#pragma once

#define IDD_WATCHER_PROPERTIES 102
// Its caption, which the host's tour and the tests find the dialog by.
#define WATCHER_PROPERTIES_CAPTION "Wastewatch Properties"
#define IDS_FILL_REPORT 1

#define IDC_CHECK_INTERVAL 1002
#define IDC_CHECK_INTERVAL_SPIN 1003
#define IDC_NOTIFY_CRITICAL 1004
#define IDC_NOTIFY_WARNING 1005
#define IDC_CRITICAL_LIMIT 1006
#define IDC_CRITICAL_LIMIT_SPIN 1007
#define IDC_WARNING_LIMIT 1008
#define IDC_WARNING_LIMIT_SPIN 1009
#define IDC_REFRESH_INTERVAL 1010
#define IDC_REFRESH_INTERVAL_SPIN 1011
#define IDC_FILL_REPORT 1012

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
