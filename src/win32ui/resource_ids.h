#pragma once
// The numbers of the Windows window's resources: the main dialog's and the code dialog's
// templates and controls, the application icon and the server tree's bitmaps. Read by the
// resource script and the code.

// Templates.
#define IDD_LAUNCHER_DIALOG 102
#define IDD_SMS_CODE_DIALOG 143

// The application icon.
#define IDR_MAINFRAME 141

// The server tree's bitmaps: badge, green, red and yellow bar, and the row icon's box.
#define IDB_BADGE_RECOMMENDED 135
#define IDB_BAR_GREEN 136
#define IDB_BAR_RED 137
#define IDB_BAR_YELLOW 138
#define IDB_ICON_BOX 139

// Controls of the main dialog.
#define IDC_DOWN_PROGRESS 1001
#define IDC_TOTAL_PROGRESS 1002
#define IDC_FILE_VIEW 1005
#define IDC_START_BUTTON 1009
#define IDC_WEB_HOME 1011
#define IDC_LEFT_TREE 1015
#define IDC_RIGHT_TREE 1016
#define IDC_WEB_CASH_ITEM 1017
#define IDC_WEB_ONE_LINE 1018
#define IDC_WEB_NOTICE 1019
#define IDC_HOME_BUTTON 1023
#define IDC_HELP_BUTTON 1024
#define IDC_EXIT_BUTTON 1026
#define IDC_USER_NAME 1030
#define IDC_PASSWORD 1031

// Controls of the code dialog.
#define IDC_CODE 1032
#define IDC_GET_CODE 1033
#define IDC_INTRO 1034
