#include "viewer.h"

#include "catalog.h"
#include "star_groups.h"
#include "stars.h"
#include "travel.h"

#include <allegro.h>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

volatile int countready = 0;
volatile int framecounter = 0;
volatile int fps = 0;
static volatile int close_requested = 0;
static volatile unsigned ticks = 0;             // timer calls so far
constexpr unsigned ticks_per_second = 50;       // one call every 20 ms

static std::mutex tick_lock;
static std::condition_variable tick_signal;     // rung by the timer at each tick

void timerfunc()
{
    ticks = ticks + 1;                          // counted before the flag is raised
    countready = 1;
    tick_signal.notify_one();
}
static void close_button() { close_requested = 1; }

// Sleeps until the timer's next tick, so a frame at rest costs one wake-up.
// A ring that comes between the flag's test and the wait is not lost for
// long: the wait gives up after a few milliseconds.
static void wait_for_tick()
{
    if (keyboard_needs_poll()) poll_keyboard();
    std::unique_lock<std::mutex> hold(tick_lock);
    tick_signal.wait_for(hold, std::chrono::milliseconds(4), [] { return countready != 0; });
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
    "  F1 or ?                       this help",
    "  Esc                           quit",
};

void draw_frame(const camera& c, star_type* first_star, int star_count, BITMAP* buffer,
                const traveller* travel, star_groups* groups)
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
    const std::string fourth = lens_line + speed_text(c.speed_level);
    textout_ex(buffer, font, fourth.c_str(), 10, row + 3 * step, white, _textmode);
    if (c.show_help)
        for (std::size_t i = 0; i < help_lines.size(); ++i)
            textout_ex(buffer, font, help_lines[i].c_str(), 10, help_top_row + step * (int)i, white, _textmode);
    if (travel) travel->draw(buffer, c);
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

bool frame_state::operator==(const frame_state& o) const
{
    const auto same = [](vector a, vector b) { return a.x == b.x && a.y == b.y && a.z == b.z; };
    return same(position, o.position) && same(forward, o.forward) && same(down, o.down) && same(right, o.right) &&
           width == o.width && height == o.height && zoom == o.zoom && exposure == o.exposure &&
           speed_level == o.speed_level && show_names == o.show_names && show_help == o.show_help &&
           pointer_x == o.pointer_x && pointer_y == o.pointer_y && target == o.target &&
           prompt_open == o.prompt_open && prompt_text == o.prompt_text && prompt_notes == o.prompt_notes;
}

frame_state state_of(const camera& c, const frame_input& in, const traveller& travel)
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
    return s;
}

frame_loop::frame_loop(star_type* first_star, int star_count, BITMAP* buffer, star_groups* groups)
    : travel(first_star, (std::size_t)std::max(star_count, 0)),   // indexes the names once
      first_star_(first_star), star_count_(star_count), buffer_(buffer), groups_(groups)
{
    c.optics.resize(buffer->w, buffer->h);
    if (!groups_) groups_ = (own_groups_ = std::make_unique<star_groups>(first_star)).get();
}

frame_loop::~frame_loop() = default;

bool frame_loop::step(const frame_input& in, unsigned tick)
{
    const int keys = travel.before_camera(c, in);
    update_camera(c, in, keys);
    travel.after_camera(c, tick);
    build_view(c);
    const frame_state now = state_of(c, in, travel);
    if (drawn_ && in.quiet() && now == drawn_state_) return false;   // the same picture again
    draw_frame(c, first_star_, star_count_, buffer_, &travel, groups_);
    drawn_ = true;
    drawn_state_ = now;
    return true;
}

void run_frames(star_type* first_star, int star_count, BITMAP* buffer, star_groups* groups)
{
    frame_loop loop(first_star, star_count, buffer, groups);
    frame_rate rate;
    frame_input in;
    while (!loop.done()) {
        read_input(in);
        const bool drawn = loop.step(in, ticks);
        if (close_requested) loop.c.done = 1;   // the close button ends as Esc does
        while (!countready) wait_for_tick();       // at most one frame per tick
        const unsigned tick = ticks;            // before the flag is taken, so a tick that
        countready = 0;                         // lands in between is counted, not shown
        if (drawn) blit(buffer, screen, 0, 0, 0, 0, buffer->w, buffer->h);
        framecounter = framecounter + 1;        // paced frames, drawn or not
        rate.frame_shown(tick);
    }
}

int run_viewer(const char* catalog_name)
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
    watch_pointer_buttons();
    const int depth = desktop_color_depth();
    set_color_depth(depth != 0 ? depth : 32);                  // 0 means unknown

    star_type* first_star = new star_type;
    const int star_count = load_catalog(catalog_name, first_star, 6.0f);
    star_groups groups(first_star, true, std::max(star_count, 0) + 1);   // the list is complete: index it once

    if (set_gfx_mode(GFX_AUTODETECT_WINDOWED, screen_width, screen_height, 0, 0) != 0) {
        allegro_message("Couldn't create graphics viewport.\n");
        return 1;
    }
    BITMAP* buffer = create_bitmap(screen_width, screen_height);
    show_mouse(buffer);
    if (!buffer) {
        allegro_message("Couldn't create output bitmap. (Not enough memory?)\n");
        return 1;
    }
    set_window_title("starhop");
    set_close_button_callback(close_button);
    run_frames(first_star, star_count, buffer, &groups);
    return 0;
}
