// Everything the program asks of the library's X11 driver: the window's class
// and icon (the window manager sees the class "starhop", the desktop entry's
// StartupWMClass, and starhop's icon, not the graphics library's), whether the
// window can be seen, its events read once a frame, and the end on a lost
// display. The rest of the program talks to the library's public interface
// only; what reaches into the driver's workings is here.
//
// The contract of the event reading: while an events_read_by_frames lives, the
// display's events (keys, the pointer, exposures, the close button) are read
// only when a frame calls its `read`. Nothing that waits on the display or on
// input may run then, for what it waits for would come only with a read that
// cannot happen while it waits: no change of the screen mode outside a
// mode_change, no readkey() or wait for a key or a mouse button, no
// allegro_message(). A round trip for a reply (window_shown) is no such wait.
// All of it belongs to the main thread.
#ifndef STARHOP_X11_BRIDGE_H
#define STARHOP_X11_BRIDGE_H

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

// The library version the event reading below was written against, as the
// build found it ("4.4.3"); empty when the build found another version and
// left the reading out.
extern const char events_written_for[];

// Whether the event reading may run with the library that names itself
// `library_id` (its allegro_id, such as "Allegro 4.4.3, Unix"): only when that
// is the very version `written_for` names, for the reading takes the driver's
// internals as that version lays them out. An empty `written_for` fits none.
bool events_reading_fits(const char* library_id, const char* written_for);

// The library's X11 driver reads the display's events on a thread of its own,
// which wakes a thousand times a second to look for them. While one of these
// lives, that thread rests and `read` takes the events instead: a frame acts
// on them once anyway. Without the X11 driver, or with a library of another
// version than the reading was written against, it does nothing and the
// library's thread goes on reading. One at a time.
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

// A change of the screen mode waits on the library's own reading of the
// events: while one of these lives, the library's thread reads them again,
// and the frames take them back when it ends. The display code holds one
// around each set_gfx_mode; with no events_read_by_frames alive it does nothing.
class mode_change {
public:
    mode_change();
    ~mode_change();
    mode_change(const mode_change&) = delete;
    mode_change& operator=(const mode_change&) = delete;

private:
    bool handed_back_;
};

#endif
