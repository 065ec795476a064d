// The traveller's camera: where they are, how they move and where they look,
// the flight controls that act on it once a frame, the speed levels, the
// return home, and the view matrix it gives the drawing.
#ifndef STARHOP_CAMERA_H
#define STARHOP_CAMERA_H

#include "base/input.h"
#include "engine/lens.h"
#include "base/vector.h"

#include <string>

// The frame timer's rate: the camera moves once a frame.
constexpr int frames_per_second = 50;

// Eases in and out: 0 at 0, 1 at 1, flat at both ends.
double eased(double t);
// Light years left at eased share `t` of a flight whose distance falls
// geometrically from `from` to `to`, so a far goal and a near one take the
// same time.
double geometric_distance(double from, double to, double t);

// Speed levels: full thrust adds 0.1 * 10^s light years a frame.
constexpr int slowest_speed = -4, fastest_speed = +4;
// Light years a frame that thrust adds at speed level s (0.1f at 0).
float thrust_at(int level);
// What the status line says of a speed level: ", speed +2 (2,500 ly/s)", the
// speed full thrust settles at, in light years a second at 50 frames a second.
std::string speed_text(int level);
// A speed in light years a second to three significant digits, with
// thousands separators, or in scientific notation beyond a million.
std::string rate_text(double light_years_a_second);

// Within this many light years of Earth, E flies home by the plain pull; from
// farther, a geometric approach brings the camera to it first.
constexpr float home_pull_reach = 50.0f;

// The flight home from beyond home_pull_reach: the distance falls
// geometrically along the line to Earth, the view keeping its direction.
struct home_approach {
    bool on = false;
    int frame = 0, frames = 0;                  // frames done, frames it takes
    double from = 0;                            // light years from Earth at the start
    vector line{0, 0, 0};                       // unit direction from Earth to the camera
};

// The traveller. The axes form a right-handed orthonormal frame: right = down & forward.
struct camera {
    vector camera_position{0, 0, 0};            // light years from Earth
    vector velocity{0, 0, 0};                   // light years per frame
    vector forward{0, 1, 0};                    // towards right ascension 6 h
    vector down{0, 0, -1};                      // south celestial pole
    vector right = down & forward;              // right ascension 0 h
    matrix view;                                // scratch of the turns, then the view matrix
    int homing = 0;                             // the plain pull back to Earth
    home_approach approach;                     // the flight to within reach of it
    int speed_level = 0;                        // slowest_speed .. fastest_speed
    int last_mouse_x = -1, last_mouse_y = 0;    // drag anchor; x of -1: none
    int show_names = 0;
    int show_help = 0;
    int done = 0;
    lens optics;                                // screen, zoom and exposure
};

// One frame's update from `in`: the return home or the approach, move, damp,
// then E, Esc, thrust, Tab, help, speed, drag, arrows, zoom and exposure.
// Tab, F1, ?, PgUp, PgDn and the zoom and exposure keys act once per press.
// Turns scale with the focal length, so a drag or an arrow moves the stars by
// as many pixels at every size and zoom. With `keys` 0 the keyboard controls
// do not act (the prompt has the keys), but for F1; the mouse still does.
void update_camera(camera& c, const frame_input& in, int keys = 1);
// Leaves in c.view the matrix that carries a catalog point into view space.
void build_view(camera& c);
// Ends the return home, the approach included (a trip takes over).
void stop_homing(camera& c);

// Whether a control that steers or thrusts acts this frame: Space, B or an
// arrow (when `keys` is set), the right button alone, or a drag that moves
// the pointer. These end a trip, and the approach home.
bool steering_held(const camera& c, const frame_input& in, int keys);
// Steering, or E.
bool flight_control_held(const camera& c, const frame_input& in, int keys);

#endif
