#pragma once

// Resource numbers shared by the program's resource script and the Win32
// front end (plain macros: the resource compiler reads this file too).

// The program's common icon (32x32 and 16x16, 16 colours); the first icon
// of the executable, so the shell shows it for KESTOVAN.EXE.
#define KESTOVAN_ICON_PROGRAM 1
// The start-menu folder chooser's own icon.
#define KESTOVAN_ICON_FOLDERS 2
// The pointing hand over clickable labels (32x32 monochrome, hot spot 6,0).
#define KESTOVAN_CURSOR_HAND 3
