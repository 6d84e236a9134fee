// Resource and control identifiers, shared by the code and res/lodkin.rc.
#pragma once

#define IDM_ABOUTBOX 16
#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_PACKAGING_DIALOG 102
#define IDR_MAINFRAME 128
#define IDC_FILE_LIST 1000
#define IDC_PACK 1001
#define IDC_DELETE 1002
#define IDC_STATUS 1003
#define IDC_COMPRESS 1004
