#pragma once
// Resources of the executable besides the two dialogs: the shell's icon and the picture.

#define IDI_APP 125
#define IDB_PICTURE 110
