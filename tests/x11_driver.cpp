// The window tests' driver: processes, an X server of their own, and a
// connection that finds windows, reads them back and sends input.
#include "test_support.h"          // first: X11's None macro would break the test framework's headers
#include "x11_driver.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace x11_driver {

void pause(double seconds)
{
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

bool wait_for(double seconds, const std::function<bool()>& done)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
        if (done()) return true;
        if (std::chrono::steady_clock::now() >= end) return false;
        pause(0.02);
    }
}

// ---- child process ----

process::process(const std::string& binary, const temp_dir& dir, bool with_display, const char* display_name)
    : dir_(dir)
{
    std::vector<char*> env;                              // ours, without DISPLAY or with another if asked
    const bool own_display = with_display && !display_name;
    for (char** e = environ; *e; ++e)
        if (own_display || std::strncmp(*e, "DISPLAY=", 8) != 0) env.push_back(*e);
    std::string other = with_display && display_name ? std::string("DISPLAY=") + display_name : std::string();
    if (!other.empty()) env.push_back(other.data());
    env.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, dir.path.c_str());
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, dir.file("stdout.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, dir.file("stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    char* argv[] = {const_cast<char*>(binary.c_str()), nullptr};
    const int failed = posix_spawn(&pid_, binary.c_str(), &actions, nullptr, argv, env.data());
    posix_spawn_file_actions_destroy(&actions);
    if (failed) throw std::runtime_error("cannot start " + binary + ": " + std::strerror(failed));
}

process::~process()
{
    kill_now();
}

std::string process::out() const { return dir_.read("stdout.txt"); }
std::string process::err() const { return dir_.read("stderr.txt"); }

bool process::running()
{
    if (reaped_) return false;
    if (waitpid(pid_, &status_, WNOHANG) == pid_) reaped_ = true;
    return !reaped_;
}

bool process::wait_exit(double seconds)
{
    return wait_for(seconds, [this] { return !running(); });
}

void process::kill_now()
{
    if (reaped_ || pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    if (waitpid(pid_, &status_, 0) == pid_) reaped_ = true;
}

bool process::exited() const { return reaped_ && WIFEXITED(status_); }
int process::exit_code() const { return exited() ? WEXITSTATUS(status_) : -1; }
int process::term_signal() const { return reaped_ && WIFSIGNALED(status_) ? WTERMSIG(status_) : 0; }

// ---- a server of the test's own ----

own_server::own_server()
{
    int ready[2];                                        // Xvfb writes its display number here once it listens
    if (pipe(ready) != 0) return;
    const std::string fd = std::to_string(ready[1]);
    const char* argv[] = {"Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "800x600x24", "-nolisten", "tcp",
                          "-noreset", nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, ready[0]);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const int failed = posix_spawnp(&pid_, "Xvfb", &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(ready[1]);
    if (failed) {
        pid_ = -1;
        close(ready[0]);
        return;
    }
    std::string number;
    const int flags = fcntl(ready[0], F_GETFL);
    fcntl(ready[0], F_SETFL, flags | O_NONBLOCK);
    wait_for(10, [&] {
        char c;
        for (ssize_t got; (got = ::read(ready[0], &c, 1)) != 0;) {
            if (got < 0) return false;                   // nothing yet
            if (c == '\n') return true;
            number += c;
        }
        return true;                                     // the server ended first
    });
    close(ready[0]);
    if (!number.empty() && number.find_first_not_of("0123456789") == std::string::npos) name_ = ":" + number;
    else end();
}

own_server::~own_server() { end(); }

void own_server::end()
{
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

// ---- X server ----

// Windows come and go while we look at them; a request on a vanished window
// must fail that request, not end the test program as Xlib's default would.
static int ignore_error(Display*, XErrorEvent*) { return 0; }

display::display(const char* name)
{
    XSetErrorHandler(ignore_error);
    dpy_ = XOpenDisplay(name);
}

display::~display()
{
    if (dpy_) XCloseDisplay(dpy_);
}

std::string display::title(unsigned long window)
{
    Atom net_name = XInternAtom(dpy_, "_NET_WM_NAME", False);
    Atom utf8 = XInternAtom(dpy_, "UTF8_STRING", False);
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    std::string result;
    if (XGetWindowProperty(dpy_, window, net_name, 0, 1024, False, utf8, &type, &format, &count, &after, &data) == Success
        && data && type == utf8)
        result.assign(reinterpret_cast<char*>(data), count);
    if (data) XFree(data);
    if (!result.empty()) return result;
    char* name = nullptr;
    if (XFetchName(dpy_, window, &name) && name) {
        result = name;
        XFree(name);
    }
    return result;
}

// The first mapped window under `parent` (and under its children, down to
// `depth_left` levels, as under a frame window) that `wanted` accepts.
unsigned long display::search(unsigned long parent, const window_test& wanted, int depth_left)
{
    Window root, up, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(dpy_, parent, &root, &up, &children, &count)) return 0;
    unsigned long found = 0;
    for (unsigned int i = 0; i < count && !found; ++i) {
        XWindowAttributes attributes;
        if (!XGetWindowAttributes(dpy_, children[i], &attributes) || attributes.map_state != IsViewable) continue;
        if (wanted(children[i], attributes.width, attributes.height)) found = children[i];
        else if (depth_left > 0) found = search(children[i], wanted, depth_left - 1);
    }
    if (children) XFree(children);
    return found;
}

unsigned long display::find(const window_test& wanted, double seconds)
{
    unsigned long found = 0;
    wait_for(seconds, [&] {
        found = search(DefaultRootWindow(dpy_), wanted, 2);
        return found != 0;
    });
    return found;
}

unsigned long display::find_window(const std::string& prefix, double seconds)
{
    return find([&](unsigned long w, int, int) { return title(w).compare(0, prefix.size(), prefix) == 0; }, seconds);
}

unsigned long display::find_sized_window(const std::string& name, int width, int height, double seconds)
{
    return find([&](unsigned long w, int w_width, int w_height) {
        if (w_width != width || w_height != height) return false;
        const std::vector<std::string> names = class_hint(w);
        return names.size() == 2 && names[1] == name;
    }, seconds);
}

void display::screen_size(int* width, int* height)
{
    *width = DisplayWidth(dpy_, DefaultScreen(dpy_));
    *height = DisplayHeight(dpy_, DefaultScreen(dpy_));
}

int display::depth(unsigned long window)
{
    XWindowAttributes attributes;
    return XGetWindowAttributes(dpy_, window, &attributes) ? attributes.depth : 0;
}

// Where a mask's lowest set bit is, so that its field can be shifted down.
static int shift_of(unsigned long mask)
{
    int shift = 0;
    while (mask && !(mask & 1)) { mask >>= 1; ++shift; }
    return shift;
}

image display::grab(unsigned long window)
{
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(dpy_, window, &attributes)) return image();
    return grab_area(window, attributes.width, attributes.height);
}

image display::grab_area(unsigned long drawable, int width, int height)
{
    image result;
    XImage* shot = XGetImage(dpy_, drawable, 0, 0, width, height, AllPlanes, ZPixmap);
    if (!shot) return result;
    const Visual* visual = DefaultVisual(dpy_, DefaultScreen(dpy_));   // a pixmap's image has no masks of its own
    const bool own = shot->red_mask != 0;
    const unsigned long masks[3] = {own ? shot->red_mask : visual->red_mask, own ? shot->green_mask : visual->green_mask,
                                    own ? shot->blue_mask : visual->blue_mask};
    int shifts[3], maxima[3];
    for (int i = 0; i < 3; ++i) {
        shifts[i] = shift_of(masks[i]);
        maxima[i] = (int)(masks[i] >> shifts[i]);
    }
    result.width = width;
    result.height = height;
    result.pixels.resize((size_t)result.width * result.height);
    for (int y = 0; y < result.height; ++y)
        for (int x = 0; x < result.width; ++x) {
            const unsigned long p = XGetPixel(shot, x, y);
            uint32_t rgb = 0;
            for (int i = 0; i < 3; ++i) {                      // each field scaled to 0..255
                const unsigned long v = (p & masks[i]) >> shifts[i];
                rgb = rgb << 8 | (uint32_t)(maxima[i] ? v * 255 / maxima[i] : 0);
            }
            result.pixels[(size_t)y * result.width + x] = rgb;
        }
    XDestroyImage(shot);
    return result;
}

std::vector<std::string> display::class_hint(unsigned long window)
{
    XClassHint hint;
    if (!XGetClassHint(dpy_, window, &hint)) return {};
    std::vector<std::string> names = {hint.res_name ? hint.res_name : "", hint.res_class ? hint.res_class : ""};
    XFree(hint.res_name);
    XFree(hint.res_class);
    return names;
}

image display::icon(unsigned long window)
{
    XWMHints* hints = XGetWMHints(dpy_, window);
    if (!hints) return image();
    const Pixmap picture = hints->flags & IconPixmapHint ? hints->icon_pixmap : None;
    const Pixmap mask = hints->flags & IconMaskHint ? hints->icon_mask : None;
    XFree(hints);
    Window root;
    int x, y;
    unsigned width, height, border, depth;
    if (picture == None || !XGetGeometry(dpy_, picture, &root, &x, &y, &width, &height, &border, &depth))
        return image();
    image result = grab_area(picture, (int)width, (int)height);
    if (result.empty() || mask == None) return result;
    XImage* bits = XGetImage(dpy_, mask, 0, 0, width, height, 1, XYPixmap);
    if (!bits) return image();
    for (int row = 0; row < result.height; ++row)
        for (int col = 0; col < result.width; ++col)
            if (!XGetPixel(bits, col, row)) result.pixels[(size_t)row * result.width + col] = transparent;
    XDestroyImage(bits);
    return result;
}

void display::focus(unsigned long window)
{
    XSetInputFocus(dpy_, window, RevertToPointerRoot, CurrentTime);
    XSync(dpy_, False);
}

static void send_key(Display* dpy, const char* key, bool down)
{
    const KeyCode code = XKeysymToKeycode(dpy, XStringToKeysym(key));
    if (!code) throw std::runtime_error(std::string("no key code for ") + key);
    XTestFakeKeyEvent(dpy, code, down, CurrentTime);
    XSync(dpy, False);
}

void display::key_down(const char* key) { send_key(dpy_, key, true); }
void display::key_up(const char* key) { send_key(dpy_, key, false); }

void display::hold_key(const char* key, double seconds)
{
    key_down(key);
    pause(seconds);
    key_up(key);
}

void display::move_pointer(unsigned long window, int x, int y)
{
    int root_x, root_y;
    Window child;
    XTranslateCoordinates(dpy_, window, DefaultRootWindow(dpy_), x, y, &root_x, &root_y, &child);
    XTestFakeMotionEvent(dpy_, DefaultScreen(dpy_), root_x, root_y, CurrentTime);
    XSync(dpy_, False);
}

void display::hold_button(int button, double seconds)
{
    XTestFakeButtonEvent(dpy_, button, True, CurrentTime);
    XSync(dpy_, False);
    pause(seconds);
    XTestFakeButtonEvent(dpy_, button, False, CurrentTime);
    XSync(dpy_, False);
}

void display::request_close(unsigned long window)
{
    XEvent event;
    std::memset(&event, 0, sizeof event);
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(dpy_, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = (long)XInternAtom(dpy_, "WM_DELETE_WINDOW", False);
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(dpy_, window, False, NoEventMask, &event);
    XSync(dpy_, False);
}

}  // namespace x11_driver
