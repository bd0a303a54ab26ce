// Ids of the runtime's dialog templates and their controls.
#pragma once

#define IDD_INSTALL 101
#define IDD_LICENSE 111
#define IDD_CONTAINER 122
#define IDD_UNINSTALL 123
#define IDD_FOCUS 125

#define IDC_PROGRESS 1001
#define IDC_INSTALL 1002
#define IDC_INSTALL_CANCEL 1003
#define IDC_FOLDER 1004
#define IDC_CHOOSE 1005
#define IDC_LICENSE_LINK 1007
#define IDC_LICENSE_TEXT 1008
