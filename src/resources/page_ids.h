// The running-programs page, dialog template 101, and its controls.
#pragma once

#define IDD_PROGRAMS_PAGE 101
#define IDC_PROGRAMS_HEADING 1211
#define IDC_PROGRAMS_LIST 1212
#define IDC_PROGRAMS_PROGRESS 1213
#define IDC_PROGRAMS_EXPLANATION 1226
#define IDC_PROGRAMS_AUTOCLOSE 1227
