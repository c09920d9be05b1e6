// Resource numbers of the bar's cursors, shared by bar.rc and the code.
#pragma once

#define IDC_BAR_DRAG_RES 132
#define IDC_BAR_FOLDER_RES 133
#define IDC_BAR_NODROP_RES 134
