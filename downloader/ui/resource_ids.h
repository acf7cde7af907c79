// The progress dialog's resource ids: fixed, because a resource library may
// supply the same dialog. The texts' ids are in downloader/services/text_ids.h.
#pragma once

#define IDD_PROGRESS 104
#define IDC_PROGRESS_BAR 1001
#define IDC_SPEED_LABEL 1002
#define IDC_TIME_LEFT_LABEL 1003
#define IDC_DOWNLOADING_LABEL 1004
#define IDC_SPEED_VALUE 1005
#define IDC_TIME_LEFT_VALUE -1
#define IDI_MAIN 130
#define IDT_REFRESH 1
