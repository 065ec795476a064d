// The window's class and icon, its state and its events, through the library's X11 driver.
#include "base/x11_bridge.h"

#include <allegro.h>
#include <xalleg.h>

#include <cstdio>
#include <cstring>
#include <unistd.h>

// The X11 driver takes its icon from this pointer when the library starts,
// before any call of ours could set it, so the program defines it in place of
// the library's own default (which the library defines but no header declares).
extern "C" {
void* allegro_icon = window_icon_xpm;
}

const char window_class[] = "starhop";

// The build defines STARHOP_X11_EVENTS, as the library version it found, only
// when that is the version the event reading was written against.
#ifdef STARHOP_X11_EVENTS
const char events_written_for[] = STARHOP_X11_EVENTS;
#else
const char events_written_for[] = "";
#endif

void claim_window()
{
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

bool window_shown()
{
    bool shown = true;
    XLOCK();
    XWindowAttributes attributes;
    // The inner window: in full screen the outer one is not used, and while the
    // outer one is minimised the inner one is mapped but cannot be viewed.
    if (_xwin.display && _xwin.window != None && XGetWindowAttributes(_xwin.display, _xwin.window, &attributes))
        shown = attributes.map_state == IsViewable;
    XUNLOCK();
    return shown;
}

static int display_lost(Display*)
{
    static const char said[] = "starhop: the connection to the display was lost\n";
    std::fflush(stdout);                        // what was printed for the user stays
    if (write(STDERR_FILENO, said, sizeof said - 1) < 0) {}
    _exit(1);
}

void end_when_display_lost() { XSetIOErrorHandler(display_lost); }

bool events_reading_fits(const char* library_id, const char* written_for)
{
    static const char name[] = "Allegro ";
    if (!library_id || !written_for || !*written_for) return false;
    const std::size_t name_length = sizeof name - 1, version_length = std::strlen(written_for);
    if (std::strncmp(library_id, name, name_length) != 0) return false;
    if (std::strncmp(library_id + name_length, written_for, version_length) != 0) return false;
    const char after = library_id[name_length + version_length];
    return after == '\0' || after == ',';      // 4.4.3, not 4.4.30 or 4.4.3.1
}

namespace {

// Whether the frames read the events now: an events_read_by_frames holds the
// library's thread, and no mode_change has handed the reading back to it.
bool frames_read = false;

// Whether the frames can read the events in place of the library's thread.
bool frames_can_read()
{
#ifdef STARHOP_X11_EVENTS
    return system_driver && system_driver->id == SYSTEM_XWINDOWS && _unix_bg_man == &_bg_man_pthreads &&
           events_reading_fits(allegro_id, events_written_for);
#else
    return false;
#endif
}

void hold_library_thread()
{
#ifdef STARHOP_X11_EVENTS
    // The driver's thread calls its handlers only while no one holds them off,
    // and waits without waking until then.
    _unix_bg_man->disable_interrupts();
    // Setting the mode left the driver's pointer in its relative mode for a
    // number of event reads (a quarter of a second at its thread's pace, more
    // at a frame's), in which a move shifts it from where it was rather than
    // placing it. The program never asks for relative motion: the pointer
    // follows the display's from the first frame.
    XLOCK();
    _xwin.mouse_warped = 0;
    XUNLOCK();
#endif
}

void free_library_thread()
{
#ifdef STARHOP_X11_EVENTS
    _unix_bg_man->enable_interrupts();
#endif
}

} // namespace

events_read_by_frames::events_read_by_frames() : holding_(frames_can_read())
{
    if (!holding_) return;
    hold_library_thread();
    frames_read = true;
}

events_read_by_frames::~events_read_by_frames()
{
    if (holding_ && frames_read) free_library_thread();   // the library's shutdown waits for that thread
    frames_read = false;
}

void events_read_by_frames::read() const
{
    if (!holding_ || !frames_read) return;
#ifdef STARHOP_X11_EVENTS
    // The driver takes at most 50 events a call: a burst (a fast pointer
    // sends hundreds a second) takes a few calls, so that none wait a frame.
    for (int calls = 0; calls < 8; ++calls) {
        _xwin_handle_input();
        XLOCK();
        const int waiting = _xwin.display ? XEventsQueued(_xwin.display, QueuedAlready) : 0;
        XUNLOCK();
        if (waiting == 0) break;
    }
#endif
}

mode_change::mode_change() : handed_back_(frames_read)
{
    if (!handed_back_) return;
    free_library_thread();
    frames_read = false;
}

mode_change::~mode_change()
{
    if (!handed_back_) return;
    hold_library_thread();
    frames_read = true;
}
