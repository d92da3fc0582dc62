// Identifiers of the resources talvrin.rc compiles into talvrin.exe (shared with the resource
// compiler, so plain macros).
#pragma once

#define TALVRIN_ICON_WINDOW 1          // the program's and the window's icon (16 to 256 px)
#define TALVRIN_ICON_LOGO 2            // the logo as an icon: the Start-menu shortcut's
#define TALVRIN_CURSOR_LINK 1          // the link picture's and label's cursor
#define TALVRIN_DATA_LOGO_BAG 101      // the logo control's stored properties (text form)
#define TALVRIN_DATA_LINK_PICTURE 102  // the link picture (GIF)
