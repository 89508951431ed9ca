#pragma once

// The window program's resources by id, for the resource script and the
// code that loads them alike (so plain macros: the resource compiler reads
// no C++). The controls' ids are app/DialogIds.h's.
#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_SONDERIK_DIALOG 102
#define IDI_SONDERIK 128
#define IDB_TREE_IMAGES 134

// The about box's own controls.
#define IDC_ABOUT_ICON 1100
#define IDC_ABOUT_NAME 1101
#define IDC_ABOUT_TEXT 1102
