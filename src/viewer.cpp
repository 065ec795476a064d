#include "viewer.h"

#include "catalog.h"
#include "command_line.h"
#include "location.h"
#include "notices.h"
#include "picture.h"
#include "star_groups.h"
#include "stars.h"
#include "travel.h"

#include <allegro.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <thread>

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
    c.velocity = c.velocity * 0.8f;                            // damping

    if (keys && key[KEY_E]) c.homing = 1;
    if (keys && key[KEY_ESC]) c.done = 1;
    if ((keys && key[KEY_SPACE]) || mouse_b == 2) c.velocity += c.forward * 0.1f;   // one thrust for both
    if (keys && key[KEY_B]) c.velocity -= c.forward * 0.1f;
    if (keys && key[KEY_TAB]) {                                // once per press
        c.show_names = !c.show_names;
        while (key[KEY_TAB]) wait_a_moment();
    }

    if (mouse_b == 0) {
        c.last_mouse_x = -1;
    } else {
        if (c.last_mouse_x != -1) {                            // 200 pixels turn one radian
            turn(c, (float)((c.last_mouse_y - mouse_y) / 200.0), -c.right, pitch);
            turn(c, (float)((c.last_mouse_x - mouse_x) / 200.0), c.down, yaw);
        }
        c.last_mouse_x = mouse_x;
        c.last_mouse_y = mouse_y;
    }

    if (!keys) return;
    if (key[KEY_UP])    turn(c, -0.1f, c.right, pitch);
    if (key[KEY_DOWN])  turn(c, +0.1f, c.right, pitch);
    if (key[KEY_LEFT])  turn(c, -0.1f, c.down, yaw);
    if (key[KEY_RIGHT]) turn(c, +0.1f, c.down, yaw);
}

void build_view(camera& c)
{
    c.view.set(c.right.x,   c.right.y,   c.right.z,   0,
               c.down.x,    c.down.y,    c.down.z,    0,
               c.forward.x, c.forward.y, c.forward.z, 0);
    c.view.translate(-c.camera_position);
}

void draw_frame(const camera& c, star_type* first_star, int star_count, BITMAP* buffer,
                const traveller* travel, star_groups* groups, const notices* notes)
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
    textprintf_ex(buffer, font, 10, 10, white, _textmode,
                  "You are %f light years from Earth.  %d stars in database.",
                  (double)c.camera_position.length(), star_count);
    textprintf_ex(buffer, font, 10, 20, white, _textmode,
                  "Press [tab] to name stars, drag left mouse button to change view");
    textprintf_ex(buffer, font, 10, 30, white, _textmode,
                  "right mouse button to move forward, press E to return home.");
    if (travel) travel->draw(buffer, c);
    if (notes) notes->draw(buffer, c.optics.height() - 18);   // the bottom line of text
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

// ---- keeping and sharing the view: P saves a picture, L prints the location ----

namespace {
constexpr unsigned saved_seconds = 3, location_seconds = 5;   // how long their lines stay

// Shows `text` on as many lines as it takes to fit the screen, broken at spaces.
void show_fitted(notices& notes, const std::string& text, unsigned seconds, int screen_width_pixels)
{
    const std::size_t fits = (std::size_t)std::max(20, (screen_width_pixels - 20) / 8);   // 8-pixel glyphs, margins of 10
    std::string line;
    std::size_t from = 0;
    while (from < text.size()) {
        std::size_t space = text.find(' ', from);
        if (space == std::string::npos) space = text.size();
        const std::string word = text.substr(from, space - from);
        if (!line.empty() && line.size() + 1 + word.size() > fits) {
            notes.show(line, seconds);
            line.clear();
        }
        line += (line.empty() ? "" : " ") + word;
        from = space + 1;
    }
    if (!line.empty()) notes.show(line, seconds);
}

class view_keeper {
public:
    // After the camera's update: L prints the location and shows it. The
    // right axis is derived first as --at derives it, so that the frames
    // from here on are the ones the line gives.
    void after_camera(camera& c, int keys, notices& notes)
    {
        const bool l_down = keys && key[KEY_L];
        if (l_down && !l_held) {
            c.right = right_axis(c.down, c.forward);
            const std::string line = format_location(location_of(c));
            std::printf("%s\n", line.c_str());
            std::fflush(stdout);
            show_fitted(notes, line, location_seconds, c.optics.width());
        }
        l_held = l_down;
        p_wanted = keys && key[KEY_P] && !p_held;
        p_held = keys && key[KEY_P];
    }
    // After the frame is drawn: P saves it, without the pointer.
    void after_draw(BITMAP* buffer, notices& notes)
    {
        if (!p_wanted) return;
        show_mouse(nullptr);
        show_fitted(notes, save_picture(buffer, pictures_folder(), std::time(nullptr)), saved_seconds, buffer->w);
        show_mouse(buffer);
    }

private:
    bool l_held = false, p_held = false, p_wanted = false;
};
} // namespace

void run_frames(star_type* first_star, int star_count, BITMAP* buffer, star_groups* groups, const camera* start)
{
    std::unique_ptr<star_groups> own;
    if (!groups) groups = (own = std::make_unique<star_groups>(first_star)).get();
    camera c;
    if (start) c = *start;
    frame_rate rate;
    traveller travel(first_star, star_count);   // indexes the names once
    notices notes;
    view_keeper keeper;
    unsigned last_tick = ticks;
    while (!c.done) {
        const int keys = travel.before_camera(c);
        update_camera(c, keys);
        travel.after_camera(c, ticks);
        keeper.after_camera(c, keys, notes);
        if (close_requested) c.done = 1;        // the close button ends as Esc does
        build_view(c);
        draw_frame(c, first_star, star_count, buffer, &travel, groups, &notes);
        keeper.after_draw(buffer, notes);
        while (!countready) wait_a_moment();    // at most one frame per tick
        const unsigned tick = ticks;            // before the flag is taken, so a tick that
        countready = 0;                         // lands in between is counted, not shown
        notes.pass(tick - last_tick, false);
        last_tick = tick;
        blit(buffer, screen, 0, 0, 0, 0, screen_width, screen_height);
        framecounter = framecounter + 1;
        rate.frame_shown(tick);
    }
}

int run_viewer(const command_line& line)
{
    const char* catalog_name = line.catalog.c_str();
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
    camera start;
    start_camera(start, line);
    run_frames(first_star, star_count, buffer, &groups, &start);
    return 0;
}
