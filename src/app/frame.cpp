// One frame: the prompt, the camera, the trip and the view from the frame's
// input, and a picture of stars and text when anything it shows changed.
#include "app/frame.h"

#include "app/controls.h"
#include "app/overlay.h"
#include "model/command_line.h"
#include "model/location.h"
#include "model/notices.h"
#include "base/picture.h"
#include "engine/star_groups.h"
#include "engine/stars.h"

#include <allegro.h>
#include <algorithm>
#include <ctime>
#include <iostream>
#include <string>

toggles start_camera(camera& c, const command_line& line)
{
    if (line.at_given) place_camera(c, line.at);
    toggles on;
    on.names = line.names;
    return on;
}

void draw_frame(const camera& c, const matrix& view, const toggles& on, star_type* first_star, int star_count,
                BITMAP* buffer, const traveller* travel, star_groups* groups, const notices* shown, selection* picked)
{
    acquire_bitmap(buffer);
    clear_bitmap(buffer);
    draw_context frame(buffer, c.optics, on.names);
    if (picked) frame.pick = picked->pick();   // null but on the frame after a click
    if (groups) {
        groups->draw(view, frame);
    } else {
        for (star_type* s = first_star; s; s = s->next) {
            s->transform_star(view);
            s->draw(frame);
        }
    }
    if (picked) picked->frame_drawn();
    overlay o{c, view, star_count};
    o.help = on.help;
    o.travel = travel;
    o.picked = picked;
    o.shown = shown;
    draw_overlay(buffer, o);
    release_bitmap(buffer);
}

bool frame_state::operator==(const frame_state& o) const
{
    const auto same = [](vector a, vector b) { return a.x == b.x && a.y == b.y && a.z == b.z; };
    return same(position, o.position) && same(forward, o.forward) && same(down, o.down) && same(right, o.right) &&
           width == o.width && height == o.height && zoom == o.zoom && exposure == o.exposure &&
           speed_level == o.speed_level && on.names == o.on.names && on.help == o.on.help &&
           pointer_x == o.pointer_x && pointer_y == o.pointer_y && target == o.target &&
           prompt_open == o.prompt_open && prompt_text == o.prompt_text && prompt_notes == o.prompt_notes &&
           notices_shown == o.notices_shown && selected == o.selected && click_waiting == o.click_waiting;
}

// What the picture of this frame would be drawn from.
static frame_state state_of(const camera& c, const toggles& on, const frame_input& in, const traveller& travel,
                            const notices* shown, const selection& picked)
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
    s.on = on;
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
    : travel(first_star),                       // its names indexed only when asked
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
    const bool keys = travel.before_camera(c, travel_keys_of(in), picked.star());
    const flight_controls flight = flight_of(in, keys);
    travel.yield_to(c, flight);
    update_camera(c, flight);
    // Esc with the help open closes the help alone, and ends nothing until it
    // is let go and pressed again (the open prompt takes it as its own key).
    const bool quit_key = acts(in, act::quit, true);
    if (!quit_key) quit_held_back_ = false;
    if (keys && quit_key && !quit_held_back_) {
        if (on.help) {
            on.help = false;
            quit_held_back_ = true;
        } else {
            quit = true;
        }
    }
    if (acts(in, act::names, keys)) on.names = !on.names;
    if (acts(in, act::help, keys)) on.help = !on.help;
    travel.after_camera(c, tick);
    if (acts(in, act::pick, keys)) picked.click(in.down_x, in.down_y);
    if (acts(in, act::location, keys)) {
        // The right axis derived as --at derives it, so the frames from here
        // on are the ones the line gives.
        c.right = right_axis(c.down, c.forward);
        const std::string line = format_location(location_of(c));
        if (locations) *locations << line << std::endl;
        if (shown_)
            for (const std::string& part : screen_lines(line, c.optics.width())) shown_->show(part, location_seconds);
    }
    const matrix view = build_view(c);
    const frame_state now = state_of(c, on, in, travel, shown_, picked);
    const bool same = drawn_ && in.quiet() && now == drawn_state_;   // the same picture again
    const bool draw = !same && !hidden;
    if (draw) {
        draw_frame(c, view, on, first_star_, star_count_, buffer_, &travel, groups_, shown_, &picked);
        drawn_ = true;
        drawn_state_ = now;
    }
    if (acts(in, act::picture, keys)) {            // the picture on the screen, without the pointer
        const std::string said =
            save_picture(buffer_, pictures.empty() ? pictures_folder() : pictures, std::time(nullptr));
        if (shown_)
            for (const std::string& part : screen_lines(said, c.optics.width())) shown_->show(part, saved_seconds);
    }
    return draw;
}
