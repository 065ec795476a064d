// The window is starhop's own: the window manager sees the class "starhop"
// (the desktop entry's StartupWMClass) and shows starhop's icon, not the
// graphics library's. What else the program asks of the library's X11 driver
// lives here too.
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

// Ends the program at once, with a line on standard error and status 1, when
// the connection to the display is lost (the server ended, the session
// closed): Xlib's own answer ends it through the library's shutdown, which
// waits on locks the lost connection leaves held, and hangs there for good.
void end_when_display_lost();

// The library's X11 driver reads the display's events (keys, the pointer,
// exposures, the close button) on a thread of its own, which wakes a thousand
// times a second to look for them. While one of these lives, that thread rests
// and `read` takes the events instead: a frame acts on them once anyway. Let
// it go before anything that waits on the display, such as a change of mode.
// Without the X11 driver it does nothing.
class events_read_by_frames {
public:
    events_read_by_frames();
    ~events_read_by_frames();
    events_read_by_frames(const events_read_by_frames&) = delete;
    events_read_by_frames& operator=(const events_read_by_frames&) = delete;

    // Takes what the display sent since the last call, and sends it what was drawn.
    void read() const;

private:
    bool holding_;
};

#endif
