// Resource numbers of the bar's cursors, shared by bar.rc and the code.
#ifndef VANTOR_SETUP_BAR_BARRESOURCE_H
#define VANTOR_SETUP_BAR_BARRESOURCE_H

#define IDC_BAR_DRAG_RES 132
#define IDC_BAR_FOLDER_RES 133
#define IDC_BAR_NODROP_RES 134

#endif
