#include "app/viewer.h"

#include "base/text.h"

#include "engine/catalog.h"
#include "model/command_line.h"
#include "model/location.h"
#include "model/notices.h"
#include "base/picture.h"
#include "model/selection.h"
#include "engine/star_groups.h"
#include "engine/stars.h"
#include "model/travel.h"
#include "base/window_identity.h"

#include <allegro.h>
#include <algorithm>
#include <condition_variable>
#include <signal.h>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <malloc.h>
#include <memory>
#include <new>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <mutex>
#include <string>

volatile int countready = 0;
volatile int framecounter = 0;
volatile int fps = 0;
static volatile sig_atomic_t close_requested = 0;
static volatile unsigned ticks = 0;             // timer calls so far
constexpr unsigned ticks_per_second = frames_per_second;

static std::mutex tick_lock;
static std::condition_variable tick_signal;     // rung by the timer at each tick

void timerfunc()
{
    {
        // Under the lock, so the ring cannot fall between a waiter's test and its wait.
        std::lock_guard<std::mutex> hold(tick_lock);
        ticks = ticks + 1;                      // counted before the flag is raised
        countready = 1;
    }
    tick_signal.notify_one();
}
static void close_button() { close_requested = 1; }
// A request to end from outside (kill, the end of the session, Ctrl+C in a
// terminal) ends as the close button does. The library's own handler shuts
// down inside the signal and can hang there on the display's lock.
static void end_requested(int) { close_requested = 1; }

// Sleeps until the timer's next tick, so a frame at rest costs one wake-up.
static void wait_for_tick()
{
    if (keyboard_needs_poll()) poll_keyboard();
    std::unique_lock<std::mutex> hold(tick_lock);
    tick_signal.wait(hold, [] { return countready != 0; });
}

const std::vector<std::string> help_lines = {
    "Controls (F1 or ? again to hide them):",
    "  Space, right mouse button     thrust forward",
    "  B                             thrust backward",
    "  PgUp, PgDn                    faster or slower, ten times a step",
    "  drag with a mouse button      turn the view",
    "  arrow keys                    turn the view",
    "  mouse wheel, = and -          zoom in and out (also keypad + and -)",
    "  ] and [                       more or less exposure",
    "  E                             fly back to Earth",
    "  Tab                           star names on or off",
    "  F                             fly to a star by name",
    "  P                             save the screen as a PNG picture",
    "  L                             print the location, for --at",
    "  F1 or ?                       this help",
    "  Esc                           quit",
};

int prompt_row_of(const BITMAP* buffer) { return buffer->h - 18; }    // the bottom line of text

void draw_frame(const camera& c, star_type* first_star, int star_count, BITMAP* buffer,
                const traveller* travel, star_groups* groups, const notices* shown, selection* picked)
{
    acquire_bitmap(buffer);
    show_mouse(nullptr);                       // the pointer comes off before we draw
    clear_bitmap(buffer);
    draw_context frame(buffer, c.optics, c.show_names);
    if (picked) frame.pick = picked->pick();   // null but on the frame after a click
    if (groups) {
        groups->draw(c.view, frame);
    } else {
        for (star_type* s = first_star; s; s = s->next) {
            s->transform_star(c.view);
            s->draw(frame);
        }
    }
    if (picked) picked->frame_drawn();
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
    const std::string fourth = lens_line + speed_text(c.speed_level);
    textout_ex(buffer, font, fourth.c_str(), 10, row + 3 * step, white, _textmode);
    if (c.show_help)
        for (std::size_t i = 0; i < help_lines.size(); ++i)
            textout_ex(buffer, font, help_lines[i].c_str(), 10, help_top_row + step * (int)i, white, _textmode);
    if (travel) travel->draw(buffer, c);
    if (picked) picked->draw(buffer, c);
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

bool frame_state::operator==(const frame_state& o) const
{
    const auto same = [](vector a, vector b) { return a.x == b.x && a.y == b.y && a.z == b.z; };
    return same(position, o.position) && same(forward, o.forward) && same(down, o.down) && same(right, o.right) &&
           width == o.width && height == o.height && zoom == o.zoom && exposure == o.exposure &&
           speed_level == o.speed_level && show_names == o.show_names && show_help == o.show_help &&
           pointer_x == o.pointer_x && pointer_y == o.pointer_y && target == o.target &&
           prompt_open == o.prompt_open && prompt_text == o.prompt_text && prompt_notes == o.prompt_notes &&
           notices_shown == o.notices_shown && selected == o.selected && click_waiting == o.click_waiting;
}

frame_state state_of(const camera& c, const frame_input& in, const traveller& travel, const notices* shown,
                     const selection& picked)
{
    frame_state s;
    s.position = c.camera_position;
    s.forward = c.forward;
    s.down = c.down;
    s.right = c.right;
    s.width = c.optics.width();
    s.height = c.optics.height();
    s.zoom = c.optics.zoom_step();
    s.exposure = c.optics.exposure_steps();
    s.speed_level = c.speed_level;
    s.show_names = c.show_names;
    s.show_help = c.show_help;
    s.pointer_x = in.pointer_x;
    s.pointer_y = in.pointer_y;
    s.target = travel.journey.target();
    s.prompt_open = travel.prompt.is_open();
    if (s.prompt_open) {                        // a closed prompt shows nothing of its own
        s.prompt_text = travel.prompt.text();
        s.prompt_notes = travel.prompt.notes();
    }
    if (shown) s.notices_shown = shown->texts();
    s.selected = picked.star();
    s.click_waiting = picked.click_waiting();
    return s;
}

frame_loop::frame_loop(star_type* first_star, int star_count, BITMAP* buffer, star_groups* groups,
                       notices* shown, bool make_groups)
    : travel(first_star, (std::size_t)std::max(star_count, 0)),   // indexes the names once
      locations(&std::cout),
      first_star_(first_star), star_count_(star_count), buffer_(buffer), groups_(groups), shown_(shown)
{
    c.optics.resize(buffer->w, buffer->h);
    if (!groups_ && make_groups) groups_ = (own_groups_ = std::make_unique<star_groups>(first_star)).get();
}

void frame_loop::use_buffer(BITMAP* buffer)
{
    buffer_ = buffer;
    c.optics.resize(buffer->w, buffer->h);
    drawn_ = false;
}

frame_loop::~frame_loop() = default;

bool frame_loop::step(const frame_input& in, unsigned tick)
{
    const int keys = travel.before_camera(c, in, picked.star());
    update_camera(c, in, keys);
    travel.after_camera(c, tick);
    if (in.clicked()) picked.click(in.down_x, in.down_y);
    if (keys && in.pressed(KEY_L)) {
        // The right axis derived as --at derives it, so the frames from here
        // on are the ones the line gives.
        c.right = right_axis(c.down, c.forward);
        const std::string line = format_location(location_of(c));
        if (locations) *locations << line << std::endl;
        if (shown_)
            for (const std::string& part : screen_lines(line, c.optics.width())) shown_->show(part, location_seconds);
    }
    build_view(c);
    const frame_state now = state_of(c, in, travel, shown_, picked);
    const bool same = drawn_ && in.quiet() && now == drawn_state_;   // the same picture again
    const bool draw = !same && !hidden;
    if (draw) {
        draw_frame(c, first_star_, star_count_, buffer_, &travel, groups_, shown_, &picked);
        drawn_ = true;
        drawn_state_ = now;
    }
    if (keys && in.pressed(KEY_P)) {            // the picture on the screen, without the pointer
        show_mouse(nullptr);
        const std::string said =
            save_picture(buffer_, pictures.empty() ? pictures_folder() : pictures, std::time(nullptr));
        show_mouse(buffer_);
        if (shown_)
            for (const std::string& part : screen_lines(said, c.optics.width())) shown_->show(part, saved_seconds);
    }
    return draw;
}

// Runs frames until Esc or the window's close button. Returns false when a
// switch of the screen mode left no screen to draw on.
static bool run_frames(star_type* first_star, int star_count, display& screen_of, star_groups* groups,
                       notices& said, const command_line& line)
{
    frame_loop loop(first_star, star_count, screen_of.buffer(), groups, &said, false);
    start_camera(loop.c, line);
    frame_rate rate;
    frame_input in;
    unsigned ticks_then = ticks;
    constexpr unsigned visibility_ticks = ticks_per_second / 5;
    unsigned checked_at = ~0u;
    std::optional<events_read_by_frames> events(std::in_place);
    while (!loop.done()) {
        events->read();
        read_input(in);
        if (in.pressed(KEY_F11)) {              // once per press, the prompt open or not
            events.reset();                     // the switch waits on the library's own reading
            const bool switched = screen_of.toggle(said);
            events.emplace();
            if (!switched) return false;
            loop.use_buffer(screen_of.buffer());
        }
        const unsigned now = ticks;
        said.pass(now - ticks_then, in.press_count > 0);
        ticks_then = now;
        if (now / visibility_ticks != checked_at) {   // a few times a second: one round trip to the display
            checked_at = now / visibility_ticks;
            loop.hidden = !window_shown();
        }
        const bool drawn = loop.step(in, now);
        if (close_requested) loop.c.done = 1;   // the close button ends as Esc does
        while (!countready) wait_for_tick();    // at most one frame per tick
        const unsigned tick = ticks;            // before the flag is taken, so a tick that
        countready = 0;                         // lands in between is counted, not shown
        BITMAP* const buffer = screen_of.buffer();
        if (drawn) blit(buffer, screen, 0, 0, 0, 0, buffer->w, buffer->h);
        framecounter = framecounter + 1;        // paced frames, drawn or not
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

std::vector<std::string> screen_lines(const std::string& text, int width)
{
    const std::size_t longest = (std::size_t)std::max(1, (width - 2 * 10) / 8);   // the font's 8-pixel cells within the margins
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

// Loads the catalog into the list after `first_star`. What the load explains
// goes to standard error and, for a user started from the desktop with no
// terminal, onto the screen as well.
static int load_shown(const char* catalog_name, star_type* first_star, notices& shown)
{
    copying_buffer said(std::cerr);
    std::ostream errors(&said);
    load_notes notes;
    notes.source_name = catalog_name;
    notes.errors = &errors;
    if (isatty(STDERR_FILENO)) notes.progress = &std::cerr;
    const int star_count = load_catalog(catalog_name, first_star, std::cout, notes);
    errors.flush();
    show_load_messages(said.text, star_count, shown);
    return star_count;
}

int draw_picture(const command_line& line)
{
    if (install_allegro(SYSTEM_NONE, &errno, atexit) != 0) {
        std::fprintf(stderr, "starhop: cannot start the graphics library: %s\n", allegro_error);
        return 1;
    }
    set_color_depth(32);
    BITMAP* buffer = create_bitmap(line.width, line.height);
    if (!buffer) {
        std::fprintf(stderr, "starhop: not enough memory for a picture of %d by %d pixels\n", line.width, line.height);
        return 1;
    }
    notices shown;
    star_list stars;                                            // every record given back when it goes
    star_type* const first_star = stars.first();
    const int star_count = load_shown(line.catalog.c_str(), first_star, shown);
    const std::unique_ptr<star_groups> groups = make_star_groups(first_star, star_count, std::cerr, &shown);
    {
        // The viewer's first frame: no key, no button, the pointer nowhere drawn.
        frame_loop loop(first_star, star_count, buffer, groups.get(), &shown, false);
        start_camera(loop.c, line);
        loop.step(frame_input(), 0);
    }
    std::string problem;
    const bool written = write_png(buffer, line.picture, problem);
    destroy_bitmap(buffer);
    if (written) return 0;
    std::fprintf(stderr, "starhop: cannot write the picture %s: %s\n", printable(line.picture).c_str(),
                 problem.c_str());
    return 1;
}

int run_viewer(const command_line& line)
{
    const char* catalog_name = line.catalog.c_str();
    screen_choice choice;
    choice.width = line.width;
    choice.height = line.height;
    choice.fullscreen = line.fullscreen;
    if (allegro_init() != 0) {
        std::fprintf(stderr, "starhop: cannot start the graphics library, no display could be opened%s%s\n",
                     allegro_error[0] ? ": " : "", allegro_error);
        return 1;
    }
    end_when_display_lost();
    struct sigaction ending = {};
    ending.sa_handler = end_requested;
    sigemptyset(&ending.sa_mask);
    for (int signal_number : {SIGTERM, SIGINT, SIGHUP}) sigaction(signal_number, &ending, nullptr);
    install_keyboard();
    install_timer();
    install_int(timerfunc, 1000 / frames_per_second);
    install_mouse();
    watch_input_events();
    const int depth = desktop_color_depth();
    set_color_depth(depth != 0 ? depth : 32);                  // 0 means unknown

    notices shown;
    star_list stars;                                            // every record given back when it goes
    star_type* const first_star = stars.first();
    const int star_count = load_shown(catalog_name, first_star, shown);
    const std::unique_ptr<star_groups> groups = make_star_groups(first_star, star_count, std::cerr, &shown);
    malloc_trim(0);                                             // what the load and the groups freed goes back

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
    if (!run_frames(first_star, star_count, screen_of, groups.get(), shown, line)) {
        std::fprintf(stderr, "starhop: the screen mode could not be set again after a switch was refused\n");
        return 1;
    }
    return 0;
}
