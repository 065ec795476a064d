// The window is starhop's own: the window manager sees the class "starhop"
// (the desktop entry's StartupWMClass) and shows starhop's icon, not the
// graphics library's.
#ifndef STARHOP_WINDOW_IDENTITY_H
#define STARHOP_WINDOW_IDENTITY_H

// The name and class the window carries.
extern const char window_class[];

// starhop's icon as XPM rows, made from dist/io.github.starhop.svg when the
// program is built. Linking this unit makes it the window's icon.
extern const char* window_icon_xpm[];

// Gives the window its class. Call after the library has started (it makes
// the window then) and before the graphics mode is set (which shows it).
void claim_window();

// False while the window is not mapped (minimised, or withdrawn by the
// window manager); true when it is, or when there is no window to ask about.
bool window_shown();

#endif
