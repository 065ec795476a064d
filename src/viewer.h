// The viewer application: start-up, the camera and its flight controls, and
// the frame loop. The entry function in main.cpp hands the command line to
// starhop_main (command_line.h), which calls run_viewer.
#ifndef STARHOP_VIEWER_H
#define STARHOP_VIEWER_H

#include "lens.h"
#include "vector.h"

struct BITMAP;
struct command_line;
class notices;
class star_type;
class star_groups;
class traveller;

// Set to 1 by the timer every 20 ms; the frame loop waits for it before it
// shows a frame, then sets it back to 0.
extern volatile int countready;
extern volatile int framecounter;               // frames shown so far
extern volatile int fps;                        // frames shown in the last second
void timerfunc();

// The traveller: where they are, how they move and where they look. The axes
// form a right-handed orthonormal frame: right = down & forward.
struct camera {
    vector camera_position{0, 0, 0};            // light years from Earth
    vector velocity{0, 0, 0};                   // light years per frame
    vector forward{0, 1, 0};                    // towards right ascension 6 h
    vector down{0, 0, -1};                      // south celestial pole
    vector right = down & forward;              // right ascension 0 h
    matrix view;                                // scratch of the turns, then the view matrix
    int homing = 0;                             // flying back to Earth
    int last_mouse_x = -1, last_mouse_y = 0;    // drag anchor; x of -1: none
    int show_names = 0;
    int done = 0;
    lens optics;                                // screen, zoom and exposure
    int speed_level = 0;
    static constexpr int slowest_speed = -4, fastest_speed = +4;   // speed levels
};

// One frame's update from the library's keyboard and mouse state: return home,
// move, damp, then E, Esc, thrust, Tab (waits for its release), drag, arrows.
// With `keys` 0 the keyboard controls do not act (the prompt has the keys);
// the mouse still does.
void update_camera(camera& c, int keys = 1);
// Leaves in c.view the matrix that carries a catalog point into view space.
void build_view(camera& c);
// Draws one frame into `buffer`, through the camera's lens: every star in list
// order, then the status text.
// With `travel`, also its target line and prompt. With `groups` (made from the
// same list), only the stars that can show are visited, with the same pixels.
// With `notes`, its lines at the bottom.
void draw_frame(const camera& c, star_type* first_star, int star_count, BITMAP* buffer,
                const traveller* travel = nullptr, star_groups* groups = nullptr,
                const notices* notes = nullptr);
// Runs frames until Esc or the window's close button, from the camera `start`
// (the default one when null); without `groups`, makes them from the list first.
void run_frames(star_type* first_star, int star_count, BITMAP* buffer, star_groups* groups = nullptr,
                const camera* start = nullptr);

// Starts the library, loads the catalog, opens the window and runs the frame
// loop from the command line's start. Returns the process exit status: 0
// after a normal end, 1 when the graphics could not be started.
int run_viewer(const command_line& line);

#endif
