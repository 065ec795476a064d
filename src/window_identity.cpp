// The window's class and icon, handed to the library's X11 driver.
#include "window_identity.h"

#include <allegro.h>
#include <xalleg.h>

// The X11 driver reads its icon from this pointer when the graphics mode is
// set; the library defines it without declaring it in a header.
extern "C" void* allegro_icon;

const char window_class[] = "starhop";

void claim_window()
{
    allegro_icon = window_icon_xpm;
    // The library names only its inner window; the outer one, which the window
    // manager sees, keeps the name it was made with as the library started.
    xwin_set_window_name(window_class, window_class);
    XLOCK();
    if (_xwin.display && _xwin.wm_window != None) {
        XClassHint hint;
        hint.res_name = _xwin.application_name;
        hint.res_class = _xwin.application_class;
        XSetClassHint(_xwin.display, _xwin.wm_window, &hint);
    }
    XUNLOCK();
}
