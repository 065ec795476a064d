// The camera's update once a frame, its turns, the speed levels and the way home.
#include "model/camera.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float damping = 0.8f;                 // of the velocity, each frame

// The thrust of each level, each decimal rounded once to a float.
constexpr float thrusts[] = {1e-5f, 1e-4f, 1e-3f, 1e-2f, 0.1f, 1.0f, 10.0f, 100.0f, 1000.0f};
static_assert(sizeof thrusts / sizeof thrusts[0] == fastest_speed - slowest_speed + 1, "one thrust a level");

// The longest approach home, and how its length grows with the distance:
// with the plain pull's last 50 light years, home is reached within four seconds.
constexpr int longest_approach = 125;

enum turn_kind { pitch, yaw };

// Turns forward by `angle` about `axis` and derives the third axis from the
// other two, so the frame stays orthonormal.
void turn(camera& c, float angle, vector axis, turn_kind kind)
{
    matrix rotation;                            // the identity
    rotation.rotate(angle, axis);
    c.forward = rotation * c.forward;
    c.forward.normalize();
    if (kind == pitch) {
        c.down = c.forward & c.right;
        c.down.normalize();
    } else {
        c.right = c.down & c.forward;
        c.right.normalize();
    }
}

void start_approach(camera& c)
{
    home_approach& a = c.approach;
    a.on = true;
    a.frame = 0;
    a.from = (double)c.camera_position.length();
    a.line = c.camera_position * (float)(1 / a.from);
    const double frames = 25 + 25 * std::log10(a.from / (double)home_pull_reach);
    a.frames = frames < longest_approach ? (int)frames : longest_approach;   // also for an infinite distance
}

// One frame of the approach; its last leaves the camera at the pull's reach,
// where the plain pull takes over.
void step_approach(camera& c)
{
    home_approach& a = c.approach;
    ++a.frame;
    const double d = geometric_distance(a.from, (double)home_pull_reach, eased((double)a.frame / a.frames));
    c.camera_position = a.line * (float)d;
    c.velocity = vector(0, 0, 0);
    if (a.frame < a.frames) return;
    a.on = false;
    c.homing = true;
}

} // namespace

double eased(double t) { return t * t * (3 - 2 * t); }

double geometric_distance(double from, double to, double t) { return from * std::pow(to / from, t); }

float thrust_at(int level)
{
    return thrusts[std::min(std::max(level, slowest_speed), fastest_speed) - slowest_speed];
}

double settled_speed(int level) { return (double)thrust_at(level) / (1 - (double)damping); }

void keep_within_reach(camera& c)
{
    const dvector p = c.camera_position;
    const double distance = length(p);
    if (!(distance > farthest_from_earth)) return;
    // Each component rounds to a float by at most 2^-24 of itself, so a point
    // a ten-millionth inside the limit is still inside once stored.
    c.camera_position = p * (farthest_from_earth * (1 - 1e-7) / distance);
    c.velocity = vector(0, 0, 0);
}

void stop_homing(camera& c)
{
    c.homing = false;
    c.approach.on = false;
}

bool steering_held(const camera& c, const flight_controls& f)
{
    if (f.forward || f.backward || f.turn_up || f.turn_down || f.turn_left || f.turn_right) return true;
    return f.buttons != 0 && c.last_mouse_x != -1 &&           // a drag that turns the view
           (f.pointer_x != c.last_mouse_x || f.pointer_y != c.last_mouse_y);
}

bool flight_control_held(const camera& c, const flight_controls& f) { return steering_held(c, f) || f.home; }

void update_camera(camera& c, const flight_controls& f)
{
    if (c.approach.on && steering_held(c, f)) c.approach.on = false;   // the traveller takes over
    if (c.approach.on) step_approach(c);
    if (c.homing) {                                            // return home
        c.velocity = c.camera_position * -0.1f;
        const float speed = c.velocity.length();
        if (speed > 5.0f) c.velocity = c.velocity * (float)(5.0 / (double)speed);   // at most 5 ly a frame
        if ((double)c.camera_position.length() < 0.1) c.homing = false;
    }
    c.camera_position += c.velocity;
    keep_within_reach(c);                                      // thrust goes no farther than the limit
    c.velocity = c.velocity * damping;

    if (f.home && !c.approach.on) {
        if (c.homing || !(c.camera_position.length() > home_pull_reach)) c.homing = true;
        else start_approach(c);
    }
    const float thrust = thrust_at(c.speed_level);
    if (f.forward) c.velocity += c.forward * thrust;           // one thrust for the key and the button
    if (f.backward) c.velocity -= c.forward * thrust;
    if (f.faster) c.speed_level = std::min(c.speed_level + 1, fastest_speed);
    if (f.slower) c.speed_level = std::max(c.speed_level - 1, slowest_speed);

    const double focal = (double)c.optics.focal();
    if (f.buttons == 0) {
        c.last_mouse_x = -1;
    } else {
        if (c.last_mouse_x != -1) {                            // f / 2 pixels turn one radian
            turn(c, (float)((c.last_mouse_y - f.pointer_y) * 2.0 / focal), -c.right, pitch);
            turn(c, (float)((c.last_mouse_x - f.pointer_x) * 2.0 / focal), c.down, yaw);
        }
        c.last_mouse_x = f.pointer_x;
        c.last_mouse_y = f.pointer_y;
    }

    c.optics.zoom_by(f.wheel);                                 // a notch up zooms in
    const float arrow = (float)(focal_at_480 / 10 / focal);   // a tenth of a radian at the start
    if (f.turn_up)    turn(c, -arrow, c.right, pitch);
    if (f.turn_down)  turn(c, +arrow, c.right, pitch);
    if (f.turn_left)  turn(c, -arrow, c.down, yaw);
    if (f.turn_right) turn(c, +arrow, c.down, yaw);
    for (int i = 0; i < f.zoom_in; ++i) c.optics.zoom_by(+1);  // the steps in, then out
    for (int i = 0; i < f.zoom_out; ++i) c.optics.zoom_by(-1);
    for (int i = 0; i < f.exposure_up; ++i) c.optics.expose_by(+1);
    for (int i = 0; i < f.exposure_down; ++i) c.optics.expose_by(-1);
}

matrix build_view(const camera& c)
{
    matrix view;
    view.set(c.right.x,   c.right.y,   c.right.z,   0,
             c.down.x,    c.down.y,    c.down.z,    0,
             c.forward.x, c.forward.y, c.forward.z, 0);
    view.translate(-c.camera_position);
    return view;
}
