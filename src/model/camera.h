// The traveller's camera: where they are, how they move and where they look,
// the flight controls that act on it once a frame, the speed levels, the
// return home, and the view matrix it gives the drawing.
#ifndef STARHOP_CAMERA_H
#define STARHOP_CAMERA_H

#include "engine/lens.h"
#include "base/vector.h"

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
// Light years a frame that full thrust settles at, at speed level s: where
// the damping takes away as much as the thrust adds.
double settled_speed(int level);

// Within this many light years of Earth, E flies home by the plain pull; from
// farther, a geometric approach brings the camera to it first.
constexpr float home_pull_reach = 50.0f;

// The farthest the camera goes from Earth, light years: ten thousand times
// the reach of any star catalog (the galaxy is some 10^5 light years across,
// the nearest large galaxy 2.5 * 10^6 away), and well inside a float. The
// squares a length takes stay near 10^18, far below the float's 3.4 * 10^38,
// and floats out there lie 64 light years apart, so the fastest flight (5,000
// light years a frame) still moves; at 10^12 they lie 65,536 apart and it
// would stand still. A location line farther out is refused.
constexpr double farthest_from_earth = 1e9;

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
    bool homing = false;                        // the plain pull back to Earth
    home_approach approach;                     // the flight to within reach of it
    int speed_level = 0;                        // slowest_speed .. fastest_speed
    int last_mouse_x = -1, last_mouse_y = 0;    // drag anchor; x of -1: none
    lens optics;                                // screen, zoom and exposure
};

// What one frame asks of the flight: the keys as the controls table maps
// them (none while the prompt has the keyboard), and the mouse.
struct flight_controls {
    bool forward = false, backward = false;     // thrust, while held (a key or a button)
    bool turn_up = false, turn_down = false, turn_left = false, turn_right = false;
    bool home = false;                          // fly home, while held
    bool faster = false, slower = false;        // a speed level up or down
    int zoom_in = 0, zoom_out = 0;              // key presses, a step each
    int exposure_up = 0, exposure_down = 0;
    int pointer_x = 0, pointer_y = 0;           // screen pixels
    int wheel = 0;                              // notches, up (zoom in) positive
    int buttons = 0;                            // bit 0 left, bit 1 right, bit 2 middle: any of them drags
};

// One frame's update from `f`: the return home or the approach, move, damp,
// then home, thrust, speed, drag, turns, zoom and exposure.
// Turns scale with the focal length, so a drag or an arrow moves the stars by
// as many pixels at every size and zoom.
void update_camera(camera& c, const flight_controls& f);
// The matrix that carries a catalog point into view space.
matrix build_view(const camera& c);
// A camera beyond farthest_from_earth stops there: it is put back on its line
// from Earth just inside the limit, at rest. Every move that may carry it out
// ends with this.
void keep_within_reach(camera& c);
// Ends the return home, the approach included (a trip takes over).
void stop_homing(camera& c);

// Whether a control that steers or thrusts acts this frame: thrust, a turn,
// or a drag that moves the pointer. These end a trip, and the approach home.
bool steering_held(const camera& c, const flight_controls& f);
// Steering, or home.
bool flight_control_held(const camera& c, const flight_controls& f);

#endif
