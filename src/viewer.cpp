#include "viewer.h"

#include "catalog.h"
#include "notices.h"
#include "star_groups.h"
#include "stars.h"
#include "travel.h"
#include "window_identity.h"

#include <allegro.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>
#include <new>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>

volatile int countready = 0;
volatile int framecounter = 0;
volatile int fps = 0;
static volatile int close_requested = 0;
static volatile unsigned ticks = 0;             // timer calls so far
constexpr unsigned ticks_per_second = 50;       // one call every 20 ms

void timerfunc()
{
    ticks = ticks + 1;                          // counted before the flag is raised
    countready = 1;
}
static void close_button() { close_requested = 1; }

// Gives the processor back while a wait lasts; the library keeps the key
// state up to date in the background.
static void wait_a_moment()
{
    if (keyboard_needs_poll()) poll_keyboard();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

constexpr float damping = 0.8f;                 // of the velocity, each frame

enum turn_kind { pitch, yaw };

// Turns forward by `angle` about `axis` and derives the third axis from the
// other two, so the frame stays orthonormal.
static void turn(camera& c, float angle, vector axis, turn_kind kind)
{
    c.view = 1.0f;
    c.view.rotate(angle, axis);
    c.forward = c.view * c.forward;
    c.forward.normalize();
    if (kind == pitch) {
        c.down = c.forward & c.right;
        c.down.normalize();
    } else {
        c.right = c.down & c.forward;
        c.right.normalize();
    }
}

void update_camera(camera& c, int keys)
{
    if (c.homing) {                                            // return home
        c.velocity = c.camera_position * -0.1f;
        const float speed = c.velocity.length();
        if (speed > 5.0f) c.velocity = c.velocity * (float)(5.0 / speed);   // at most 5 ly a frame
        if (c.camera_position.length() < 0.1) c.homing = 0;
    }
    c.camera_position += c.velocity;
    c.velocity = c.velocity * damping;

    if (keys && key[KEY_E]) c.homing = 1;
    if (keys && key[KEY_ESC]) c.done = 1;
    if ((keys && key[KEY_SPACE]) || mouse_b == 2) c.velocity += c.forward * 0.1f;   // one thrust for both
    if (keys && key[KEY_B]) c.velocity -= c.forward * 0.1f;
    if (keys && key[KEY_TAB]) {                                // once per press
        c.show_names = !c.show_names;
        while (key[KEY_TAB]) wait_a_moment();
    }

    const double focal = (double)c.optics.focal();
    if (mouse_b == 0) {
        c.last_mouse_x = -1;
    } else {
        if (c.last_mouse_x != -1) {                            // f / 2 pixels turn one radian
            turn(c, (float)((c.last_mouse_y - mouse_y) * 2.0 / focal), -c.right, pitch);
            turn(c, (float)((c.last_mouse_x - mouse_x) * 2.0 / focal), c.down, yaw);
        }
        c.last_mouse_x = mouse_x;
        c.last_mouse_y = mouse_y;
    }

    // A notch of the wheel, up to zoom in; the first frame only learns where it stands.
    if (c.wheel_seen) c.optics.zoom_by(mouse_z - c.last_mouse_z);
    c.last_mouse_z = mouse_z;
    c.wheel_seen = true;

    // The step keys act once per press: down now, up in the last frame. They
    // are watched while the prompt has the keys too, so that a key typed
    // there and still held when it closes does not step.
    struct step_key { int code, zoom, exposure; };
    static const step_key step_keys[] = {
        {KEY_EQUALS, +1, 0}, {KEY_PLUS_PAD, +1, 0}, {KEY_MINUS, -1, 0}, {KEY_MINUS_PAD, -1, 0},
        {KEY_CLOSEBRACE, 0, +1}, {KEY_OPENBRACE, 0, -1},
    };
    int held = 0;
    for (int i = 0; i < (int)(sizeof step_keys / sizeof step_keys[0]); ++i) {
        if (!key[step_keys[i].code]) continue;
        held |= 1 << i;
        if (!keys || (c.steps_held >> i & 1)) continue;        // the prompt's, or still the same press
        c.optics.zoom_by(step_keys[i].zoom);
        c.optics.expose_by(step_keys[i].exposure);
    }
    c.steps_held = held;

    if (!keys) return;
    const float arrow = (float)(40.0 / focal);                 // a tenth of a radian at f = 400
    if (key[KEY_UP])    turn(c, -arrow, c.right, pitch);
    if (key[KEY_DOWN])  turn(c, +arrow, c.right, pitch);
    if (key[KEY_LEFT])  turn(c, -arrow, c.down, yaw);
    if (key[KEY_RIGHT]) turn(c, +arrow, c.down, yaw);
}

void build_view(camera& c)
{
    c.view.set(c.right.x,   c.right.y,   c.right.z,   0,
               c.down.x,    c.down.y,    c.down.z,    0,
               c.forward.x, c.forward.y, c.forward.z, 0);
    c.view.translate(-c.camera_position);
}

int prompt_row_of(const BITMAP* buffer) { return buffer->h - 18; }    // the bottom line of text

void draw_frame(const camera& c, star_type* first_star, int star_count, BITMAP* buffer,
                const traveller* travel, star_groups* groups, const notices* shown)
{
    acquire_bitmap(buffer);
    show_mouse(nullptr);                       // the pointer comes off before we draw
    clear_bitmap(buffer);
    const draw_context frame(buffer, c.optics, c.show_names);
    if (groups) {
        groups->draw(c.view, frame);
    } else {
        for (star_type* s = first_star; s; s = s->next) {
            s->transform_star(c.view);
            s->draw(frame);
        }
    }
    const int white = makecol(255, 255, 255);
    const int row = status_top_row, step = text_line_height;
    textprintf_ex(buffer, font, 10, row, white, _textmode,
                  "You are %f light years from Earth.  %d stars in database.",
                  (double)c.camera_position.length(), star_count);
    textprintf_ex(buffer, font, 10, row + step, white, _textmode,
                  "Press [tab] to name stars, drag left mouse button to change view");
    textprintf_ex(buffer, font, 10, row + 2 * step, white, _textmode,
                  "right mouse button to move forward, press E to return home.");
    char lens_line[80];
    std::snprintf(lens_line, sizeof lens_line, "Field of view %.1f degrees, exposure %+.1f",
                  c.optics.field_of_view(), (double)c.optics.exposure());
    textout_ex(buffer, font, lens_line, 10, row + 3 * step, white, _textmode);
    if (travel) travel->draw(buffer, c);
    if (shown && !shown->empty()) {
        int bottom = prompt_row_of(buffer);
        if (travel && travel->prompt.is_open())               // above the prompt and its notes
            bottom -= text_line_height * (int)(travel->prompt.notes().size() + 1);
        shown->draw(buffer, bottom);
    }
    show_mouse(buffer);
    release_bitmap(buffer);
}

// Shows the frame rate in the window title about once a second. The second
// is measured in timer ticks, read when a frame takes the flag: each frame
// needs a tick of its own, so the figure never exceeds the timer's rate, and a
// late frame cannot squeeze an extra tick into a window of wall-clock time.
class frame_rate {
public:
    void frame_shown(unsigned tick)
    {
        if (!started_) {
            started_ = true;
            frames_then_ = framecounter;
            ticks_then_ = tick;
            return;
        }
        const unsigned elapsed = tick - ticks_then_;
        if (elapsed < ticks_per_second) return;
        fps = (int)((unsigned)(framecounter - frames_then_) * ticks_per_second / elapsed);
        frames_then_ = framecounter;
        ticks_then_ = tick;
        char title[64];
        std::snprintf(title, sizeof title, "starhop - %d fps", (int)fps);
        set_window_title(title);
    }

private:
    bool started_ = false;
    int frames_then_ = 0;
    unsigned ticks_then_ = 0;
};

namespace {

// The screen, its back buffer of the same size, and the two modes F11
// switches between: the window asked for and the desktop's full screen.
class display {
public:
    explicit display(const screen_choice& choice) : window_w_(choice.width), window_h_(choice.height) {}
    ~display()
    {
        show_mouse(nullptr);
        if (buffer_) destroy_bitmap(buffer_);
    }
    display(const display&) = delete;
    display& operator=(const display&) = delete;

    // Opens the mode asked for; a refused full screen falls back to the
    // window, with a line in `said`. False when no mode opened at all.
    bool open(bool fullscreen, notices& said)
    {
        if (fullscreen && enter(true, said)) return true;
        return enter(false, said);
    }
    // The other mode; where it is refused, back to this one and a line in `said`.
    // False only when neither could be set again.
    bool toggle(notices& said)
    {
        const bool was_full = full_;
        if (enter(!was_full, said)) return true;
        return enter(was_full, said);
    }
    BITMAP* buffer() const { return buffer_; }

private:
    int window_w_, window_h_;
    bool full_ = false;
    BITMAP* buffer_ = nullptr;

    bool enter(bool fullscreen, notices& said)
    {
        int w = window_w_, h = window_h_;
        if (fullscreen && get_desktop_resolution(&w, &h) != 0) {
            said.show("Full screen is not available: the desktop's size is not known.", refusal_seconds);
            return false;
        }
        show_mouse(nullptr);
        if (set_gfx_mode(fullscreen ? GFX_AUTODETECT_FULLSCREEN : GFX_AUTODETECT_WINDOWED, w, h, 0, 0) != 0) {
            char line[200];
            std::snprintf(line, sizeof line, "The %s of %dx%d was refused%s%s", fullscreen ? "full screen" : "window",
                          w, h, allegro_error[0] ? ": " : ".", allegro_error);
            said.show(line, refusal_seconds);
            return false;
        }
        full_ = fullscreen;
        if (!buffer_ || buffer_->w != SCREEN_W || buffer_->h != SCREEN_H) {
            if (buffer_) destroy_bitmap(buffer_);
            buffer_ = create_bitmap(SCREEN_W, SCREEN_H);
            if (!buffer_) return false;
        }
        set_window_title("starhop");
        set_close_button_callback(close_button);
        return true;
    }
    static constexpr unsigned refusal_seconds = 5;
};

} // namespace

// Runs frames until Esc or the window's close button. Returns false when a
// switch of the screen mode left no screen to draw on.
static bool run_frames(star_type* first_star, int star_count, display& screen_of, star_groups* groups,
                       notices& said)
{
    camera c;
    c.optics.resize(screen_of.buffer()->w, screen_of.buffer()->h);
    frame_rate rate;
    traveller travel(first_star, star_count);   // indexes the names once
    bool f11_held = false;
    unsigned ticks_then = ticks;
    while (!c.done) {
        const bool key_pressed = keypressed();  // before the prompt takes the keys
        const int keys = travel.before_camera(c);
        update_camera(c, keys);
        travel.after_camera(c, ticks);
        if (close_requested) c.done = 1;        // the close button ends as Esc does
        if (key[KEY_F11] && !f11_held) {        // once per press, the prompt open or not
            if (!screen_of.toggle(said)) return false;
            c.optics.resize(screen_of.buffer()->w, screen_of.buffer()->h);
        }
        f11_held = key[KEY_F11];
        const unsigned now = ticks;
        said.pass(now - ticks_then, key_pressed);
        ticks_then = now;
        build_view(c);
        BITMAP* const buffer = screen_of.buffer();
        draw_frame(c, first_star, star_count, buffer, &travel, groups, &said);
        while (!countready) wait_a_moment();    // at most one frame per tick
        const unsigned tick = ticks;            // before the flag is taken, so a tick that
        countready = 0;                         // lands in between is counted, not shown
        blit(buffer, screen, 0, 0, 0, 0, buffer->w, buffer->h);
        framecounter = framecounter + 1;
        rate.frame_shown(tick);
    }
    return true;
}

const char* const no_groups_message =
    "starhop: not enough memory to group the stars; every frame walks the whole list (the same picture, slower)";

std::unique_ptr<star_groups> make_star_groups(star_type* first_star, int star_count, std::ostream& errors,
                                              notices* shown)
{
    try {
        // The list is complete: index it once.
        return std::make_unique<star_groups>(first_star, true, (std::size_t)std::max(star_count, 0) + 1);
    } catch (const std::bad_alloc&) {
        errors << no_groups_message << std::endl;
        if (shown)
            for (const std::string& line : screen_lines(no_groups_message)) shown->show(line, load_message_seconds);
        return nullptr;
    }
}

void show_load_messages(const std::string& said, int star_count, notices& shown)
{
    try {
        std::istringstream lines(said);
        for (std::string line; std::getline(lines, line);)
            for (const std::string& part : screen_lines(line)) shown.show(part, star_count > 0 ? load_message_seconds : 0);
    } catch (const std::bad_alloc&) {}                          // at the very edge of memory: standard error only
}

std::vector<std::string> screen_lines(const std::string& text)
{
    constexpr std::size_t longest = (screen_width - 2 * 10) / 8;   // the font's 8-pixel cells within the margins
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        while (at < text.size() && text[at] == ' ') ++at;           // no line starts with a space
        if (at == text.size()) break;
        std::size_t end = text.size();
        if (end - at > longest) {
            const std::size_t space = text.rfind(' ', at + longest);
            end = space != std::string::npos && space > at ? space : at + longest;
            while (end > at + 1 && text[end - 1] == ' ') --end;   // nor ends with one
        }
        lines.push_back(text.substr(at, end - at));
        at = end;
    }
    return lines;
}

namespace {

// Passes what is written on to another stream and keeps a copy, as much as
// memory allows: the copy is cut short before the stream misses a word.
class copying_buffer : public std::streambuf {
public:
    explicit copying_buffer(std::ostream& to) : to_(to) { text.reserve(4096); }
    std::string text;

protected:
    int overflow(int ch) override
    {
        if (ch == traits_type::eof()) return traits_type::not_eof(ch);
        const char c = (char)ch;
        xsputn(&c, 1);
        return ch;
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override
    {
        to_.write(s, n);
        try {
            text.append(s, (std::size_t)n);
        } catch (const std::bad_alloc&) {}                      // standard error has it all the same
        return n;
    }
    int sync() override { return to_.flush() ? 0 : -1; }

private:
    std::ostream& to_;
};

} // namespace

int run_viewer(const char* catalog_name, const screen_choice& choice)
{
    if (allegro_init() != 0) {
        std::fprintf(stderr, "starhop: cannot start the graphics library, no display could be opened%s%s\n",
                     allegro_error[0] ? ": " : "", allegro_error);
        return 1;
    }
    install_keyboard();
    install_timer();
    install_int(timerfunc, 20);
    install_mouse();
    const int depth = desktop_color_depth();
    set_color_depth(depth != 0 ? depth : 32);                  // 0 means unknown

    // What the load explains goes to standard error and, for a user started
    // from the desktop with no terminal, onto the screen as well.
    notices shown;
    star_type* first_star = new star_type;
    copying_buffer said(std::cerr);
    std::ostream errors(&said);
    load_notes notes;
    notes.source_name = catalog_name;
    notes.errors = &errors;
    if (isatty(STDERR_FILENO)) notes.progress = &std::cerr;
    const int star_count = load_catalog(catalog_name, first_star, std::cout, notes);
    errors.flush();
    show_load_messages(said.text, star_count, shown);
    const std::unique_ptr<star_groups> groups = make_star_groups(first_star, star_count, std::cerr, &shown);

    claim_window();                                             // class and icon, before the window is made
    display screen_of(choice);
    if (!screen_of.open(choice.fullscreen, shown)) {
        allegro_message("Couldn't create graphics viewport.\n");
        return 1;
    }
    if (!screen_of.buffer()) {
        allegro_message("Couldn't create output bitmap. (Not enough memory?)\n");
        return 1;
    }
    show_mouse(screen_of.buffer());
    if (!run_frames(first_star, star_count, screen_of, groups.get(), shown)) {
        std::fprintf(stderr, "starhop: the screen mode could not be set again after a switch was refused\n");
        return 1;
    }
    return 0;
}
