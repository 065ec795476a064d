// Drives a real program through an X server, the way a user would: starts it
// in a scratch directory, finds its window by title, holds keys and buttons,
// moves the pointer, asks the window to close and reads its pixels back.
// Every wait is bounded, so a program that hangs fails a test instead of the run.
#ifndef STARHOP_TESTS_X11_DRIVER_H
#define STARHOP_TESTS_X11_DRIVER_H

#include <cstdint>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

struct _XDisplay;
struct temp_dir;                                  // test_support.h

namespace x11_driver {

// Tries `done` every 20 ms until it holds or `seconds` have passed.
bool wait_for(double seconds, const std::function<bool()>& done);
void pause(double seconds);

// A program run as a child process in `dir`, its standard output and error
// going to the files stdout.txt and stderr.txt there. A child still running at
// the end of the scope is killed and reaped.
class process {
public:
    // `display_name` is the DISPLAY it gets; null for the test's own.
    process(const std::string& binary, const temp_dir& dir, bool with_display = true,
            const char* display_name = nullptr);
    ~process();
    process(const process&) = delete;
    process& operator=(const process&) = delete;
    pid_t pid() const { return pid_; }
    bool running();
    // Waits up to `seconds` for the child to end; false when it is still running.
    bool wait_exit(double seconds);
    void kill_now();
    bool exited() const;            // ended through exit, with exit_code() valid
    int exit_code() const;
    int term_signal() const;        // the signal that ended it, 0 if none
    std::string out() const;
    std::string err() const;
private:
    const temp_dir& dir_;
    pid_t pid_ = -1;
    int status_ = 0;
    bool reaped_ = false;
};

// An X server of the test's own (Xvfb, on a display number it finds free),
// for a test that takes the display away under a program. Check ok() first.
class own_server {
public:
    own_server();
    ~own_server();
    own_server(const own_server&) = delete;
    own_server& operator=(const own_server&) = delete;
    bool ok() const { return !name_.empty(); }
    const std::string& name() const { return name_; }   // ":N", for DISPLAY
    // Ends the server at once, as a crash or the end of a session would.
    void end();
private:
    pid_t pid_ = -1;
    std::string name_;
};

// A window's pixels, each 0xRRGGBB; `transparent` where an icon's mask
// leaves a pixel out.
constexpr uint32_t transparent = 0xFF000000u;
struct image {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
    uint32_t at(int x, int y) const { return pixels[(size_t)y * width + x]; }
    bool empty() const { return pixels.empty(); }
};

// A connection to an X server. Errors from windows that went
// away are recorded, never fatal.
class display {
public:
    // The server named by `name`, or by DISPLAY when null; check ok() before use.
    explicit display(const char* name = nullptr);
    ~display();
    display(const display&) = delete;
    display& operator=(const display&) = delete;
    bool ok() const { return dpy_ != nullptr; }

    // The first window whose title starts with `prefix`, waiting up to
    // `seconds` for it to appear and be mapped; 0 when none did.
    unsigned long find_window(const std::string& prefix, double seconds);
    // The first mapped window of class `name` (WM_CLASS) that is `width` by
    // `height` pixels, waiting up to `seconds`; 0 when none was.
    unsigned long find_sized_window(const std::string& name, int width, int height, double seconds);
    void screen_size(int* width, int* height);     // the root window's
    std::string title(unsigned long window);
    int depth(unsigned long window);
    image grab(unsigned long window);               // empty on failure
    // The window's name and class as the window manager reads them (WM_CLASS);
    // empty when it has none.
    std::vector<std::string> class_hint(unsigned long window);
    // The icon the window offers the window manager (WM_HINTS), masked; empty
    // when it offers none.
    image icon(unsigned long window);

    void focus(unsigned long window);
    // Key names are X keysym names: "Tab", "space", "Escape", "e".
    void key_down(const char* key);
    void key_up(const char* key);
    void hold_key(const char* key, double seconds);
    void move_pointer(unsigned long window, int x, int y);   // window coordinates
    void hold_button(int button, double seconds);
    // What the window manager sends when the user clicks the close button.
    void request_close(unsigned long window);
private:
    image grab_area(unsigned long drawable, int width, int height);
    using window_test = std::function<bool(unsigned long window, int width, int height)>;
    unsigned long search(unsigned long parent, const window_test& wanted, int depth_left);
    unsigned long find(const window_test& wanted, double seconds);
    _XDisplay* dpy_ = nullptr;
};

}  // namespace x11_driver

#endif
