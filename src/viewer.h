// The viewer application: start-up, the frame loop and what a frame draws.
// The entry function in main.cpp hands the command line to starhop_main
// (command_line.h), which calls run_viewer.
#ifndef STARHOP_VIEWER_H
#define STARHOP_VIEWER_H

#include "camera.h"
#include "input.h"
#include "lens.h"
#include "travel.h"
#include "vector.h"

#include <memory>
#include <string>
#include <vector>

struct BITMAP;
class star_type;
class star_groups;

// Text lines from the top: the four status lines 10 pixels apart, then the
// fly-to target line, and the help a line below that.
constexpr int text_line_height = 10;
constexpr int status_top_row   = 10;
constexpr int status_lines     = 4;
constexpr int target_row       = status_top_row + status_lines * text_line_height;
constexpr int help_top_row     = target_row + 2 * text_line_height;

// Set to 1 by the timer every 20 ms; the frame loop waits for it before it
// shows a frame, then sets it back to 0.
extern volatile int countready;
extern volatile int framecounter;               // frames shown so far
extern volatile int fps;                        // frames shown in the last second
void timerfunc();

// Draws one frame into `buffer`, through the camera's lens: every star in list
// order, then the status text.
// With `travel`, also its target line and prompt. With `groups` (made from the
// same list), only the stars that can show are visited, with the same pixels.
void draw_frame(const camera& c, star_type* first_star, int star_count, BITMAP* buffer,
                const traveller* travel = nullptr, star_groups* groups = nullptr);
// The help that F1 and ? show, a control a line.
extern const std::vector<std::string> help_lines;

// What a frame's picture depends on besides the catalog. A frame with no new
// input whose state equals that of the last picture drawn would draw the same
// picture again, and is not drawn.
struct frame_state {
    vector position, forward, down, right;
    int width = 0, height = 0, zoom = 0, exposure = 0, speed_level = 0;
    int show_names = 0, show_help = 0;
    int pointer_x = 0, pointer_y = 0;           // the pointer is drawn into the picture
    const star_type* target = nullptr;
    bool prompt_open = false;
    std::string prompt_text;
    std::vector<std::string> prompt_notes;

    bool operator==(const frame_state& o) const;
    bool operator!=(const frame_state& o) const { return !(*this == o); }
};
frame_state state_of(const camera& c, const frame_input& in, const traveller& travel);

// The frame loop without its waits and the screen: one frame from its input
// to the picture in the back buffer.
class frame_loop {
public:
    // Without `groups`, makes them from the list.
    frame_loop(star_type* first_star, int star_count, BITMAP* buffer, star_groups* groups = nullptr);
    ~frame_loop();
    // One frame on `in`, with `tick` timer ticks counted so far: the prompt,
    // the camera, the trip, the view and, when something changed since the
    // last picture drawn, a new picture. Returns whether it drew one.
    bool step(const frame_input& in, unsigned tick);
    bool done() const { return c.done != 0; }

    camera c;
    traveller travel;

private:
    star_type* first_star_;
    int star_count_;
    BITMAP* buffer_;
    std::unique_ptr<star_groups> own_groups_;
    star_groups* groups_;
    bool drawn_ = false;                        // a picture is in the buffer
    frame_state drawn_state_;                   // what it was drawn from
};

// Runs frames until Esc or the window's close button; without `groups`, makes
// them from the list first.
void run_frames(star_type* first_star, int star_count, BITMAP* buffer, star_groups* groups = nullptr);

// Starts the library, loads the catalog, opens the window and runs the frame
// loop. Returns the process exit status: 0 after a normal end, 1 when the
// graphics could not be started.
int run_viewer(const char* catalog_name);

#endif
