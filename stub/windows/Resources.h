// Identifiers of the Windows apply program's resources: its dialogs and their controls.
#pragma once

#define IDI_APPLICATION_ICON 128

#define IDD_APPLY 200
#define IDD_PROGRESS 201
#define IDD_ERRORS 202
#define IDD_SUCCESS 203

#define IDC_PUBLISHER 1001
#define IDC_TEXT 1002
#define IDC_FOLDER_LABEL 1003
#define IDC_FOLDER 1004
#define IDC_BROWSE 1005
#define IDC_BACKUP 1006
#define IDC_EXT_LABEL 1007
#define IDC_EXT 1008
#define IDC_STATUS 1010
#define IDC_BAR 1011
#define IDC_PERCENT 1012
#define IDC_ERRORS_LIST 1020
#define IDC_CONTACT 1021
#define IDC_MESSAGE 1030
#define IDC_BACKUPS 1031
#define IDC_MESSAGE_ICON 1032
#define IDC_BACKUP_HEADING 1033
