// The camera and its flight controls, driven through the library's key and
// mouse state without a display.
#include "allegro_env.h"
#include "test_support.h"
#include "app/controls.h"
#include "model/camera.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <thread>

static auto* env = register_allegro_env();

// One frame of the camera on `in`, the keys as the controls table maps them;
// without `keys` the prompt has the keyboard.
static void fly(camera& c, const frame_input& in, bool keys = true) { update_camera(c, flight_of(in, keys)); }

// Every case starts with no key and no button down and the pointer at the top left.
class CameraControls : public ::testing::Test {
protected:
    frame_input in;                                      // what each frame reads
    void frames(camera& c, int n)
    {
        for (int i = 0; i < n; ++i) fly(c, in);
    }
};

TEST_F(CameraControls, StartsAtEarthLookingAlongPlusYWithNorthUp)
{
    camera c;
    EXPECT_TRUE(same_vector(c.camera_position, vector(0, 0, 0), 0));
    EXPECT_TRUE(same_vector(c.forward, vector(0, 1, 0), 0));
    EXPECT_TRUE(same_vector(c.down,    vector(0, 0, -1), 0));
    EXPECT_TRUE(same_vector(c.right,   vector(1, 0, 0), 0));
    EXPECT_EQ(c.last_mouse_x, -1);
    EXPECT_FALSE(c.homing);
    frames(c, 5);                                        // nothing held: nothing changes
    EXPECT_TRUE(same_vector(c.camera_position, vector(0, 0, 0), 0));
    EXPECT_TRUE(same_vector(c.forward, vector(0, 1, 0), 0));
    EXPECT_FALSE(c.homing);
}

TEST_F(CameraControls, SpaceThrustSeriesApproachesHalfALightYearPerFrame)
{
    camera c;
    in.held[KEY_SPACE] = 1;
    const float want[4] = {0.0f, 0.1f, 0.18f, 0.244f};
    for (float w : want) {                               // the step made in each frame
        const vector before = c.camera_position;
        fly(c, in);
        const vector step = c.camera_position - before;
        EXPECT_NEAR(step.y, w, 1e-6f);
        EXPECT_EQ(step.x, 0.0f);                         // straight along forward
        EXPECT_EQ(step.z, 0.0f);
    }
    float last = 0.244f;
    for (int i = 0; i < 200; ++i) {
        const float before = c.camera_position.y;
        fly(c, in);
        const float step = c.camera_position.y - before;
        EXPECT_GE(step, last - 1e-4f);                   // never slows down while held
        EXPECT_LT(step, 0.5f + 1e-4f);
        last = step;
    }
    EXPECT_NEAR(last, 0.5f, 1e-4f);
}

TEST_F(CameraControls, CoastsFiveTimesTheLastVelocityAfterThrustStops)
{
    for (int held : {1, 3, 20}) {
        camera c;
        in.held[KEY_SPACE] = 1;
        frames(c, held);
        in.held[KEY_SPACE] = 0;
        const float v = c.velocity.length();
        const vector from = c.camera_position;
        const float first = c.camera_position.y;
        fly(c, in);
        EXPECT_NEAR(c.camera_position.y - first, v, 1e-6f) << "held " << held;  // the whole last velocity
        frames(c, 300);
        EXPECT_NEAR((c.camera_position - from).length(), 5 * v, 5e-6f * held) << "held " << held;
    }
}

TEST_F(CameraControls, ThrustSourcesCombine)
{
    camera space, both, opposed, twobuttons;
    for (int i = 0; i < 6; ++i) {
        in.held[KEY_SPACE] = 1; in.buttons = 0; fly(space, in);
        in.held[KEY_SPACE] = 1; in.buttons = 2; fly(both, in);      // Space and right: once
        in.held[KEY_SPACE] = 1; in.held[KEY_B] = 1; in.buttons = 0; fly(opposed, in);
        in.held[KEY_SPACE] = 0; in.held[KEY_B] = 0; in.buttons = 3; fly(twobuttons, in);
        in.held[KEY_B] = 0;
        EXPECT_TRUE(same_vector(both.velocity, space.velocity, 0)) << "frame " << i;
        EXPECT_TRUE(same_vector(both.camera_position, space.camera_position, 0));
        EXPECT_TRUE(same_vector(opposed.velocity, vector(0, 0, 0), 1e-7f));
        EXPECT_TRUE(same_vector(twobuttons.velocity, vector(0, 0, 0), 0));
    }
    EXPECT_NEAR(space.velocity.y, 0.1f * (1 - std::pow(0.8f, 6.0f)) / 0.2f, 1e-6f);

    // B alone thrusts backward as much as Space forward.
    camera back;
    in.held[KEY_B] = 1;
    frames(back, 6);
    EXPECT_TRUE(same_vector(back.camera_position, -space.camera_position, 0));
}

TEST_F(CameraControls, RightButtonTurnsAndThrustsBothButtonsOnlyTurn)
{
    camera right, both;
    in.buttons = 2; in.pointer_x = 100; in.pointer_y = 100;
    fly(right, in);
    in.buttons = 3;
    fly(both, in);
    in.pointer_x = 300;                                       // 200 pixels to the right
    in.buttons = 2; fly(right, in);
    in.buttons = 3; fly(both, in);
    const vector turned(-std::sin(1.0f), std::cos(1.0f), 0);
    EXPECT_TRUE(same_vector(right.forward, turned, 1e-6f));
    EXPECT_TRUE(same_vector(both.forward, turned, 1e-6f));
    EXPECT_GT(right.velocity.length(), 0.1f);            // two thrusts
    EXPECT_EQ(both.velocity.length(), 0.0f);
    EXPECT_EQ(both.camera_position.length(), 0.0f);
}

TEST_F(CameraControls, FirstFrameOfAPressOnlyAnchors)
{
    camera c;
    in.buttons = 1; in.pointer_x = 50; in.pointer_y = 400;           // held in the very first frame
    fly(c, in);
    EXPECT_TRUE(same_vector(c.forward, vector(0, 1, 0), 0));
    EXPECT_EQ(c.last_mouse_x, 50);
    EXPECT_EQ(c.last_mouse_y, 400);

    in.buttons = 0; in.pointer_x = 600; in.pointer_y = 10;            // release: the anchor goes
    fly(c, in);
    EXPECT_EQ(c.last_mouse_x, -1);
    EXPECT_EQ(c.last_mouse_y, 400);                      // y is left as it was
    EXPECT_TRUE(same_vector(c.forward, vector(0, 1, 0), 0));

    in.buttons = 4; in.pointer_x = 200; in.pointer_y = 200;           // a new press far from the old one
    fly(c, in);
    EXPECT_TRUE(same_vector(c.forward, vector(0, 1, 0), 0));
    EXPECT_TRUE(same_vector(c.down, vector(0, 0, -1), 0));

    fly(c, in);                                    // held, not moved: turns by 0
    EXPECT_TRUE(same_vector(c.forward, vector(0, 1, 0), 0));
    in.pointer_x = 210;                                       // held and moved: now it turns
    fly(c, in);
    EXPECT_NEAR(angle_between(c.forward, vector(0, 1, 0)), 10 / 200.0, 1e-6);
}

TEST_F(CameraControls, DragTurnsTheViewAgainstThePointer)
{
    camera c;                                            // 200 pixels right: 1 radian left
    in.buttons = 1; in.pointer_x = 100; in.pointer_y = 240;
    fly(c, in);
    in.pointer_x = 300;
    fly(c, in);
    EXPECT_NEAR(angle_between(c.forward, vector(0, 1, 0)), 1.0, 1e-6);
    EXPECT_TRUE(same_vector(c.forward, vector(-std::sin(1.0f), std::cos(1.0f), 0), 1e-6f));
    EXPECT_TRUE(same_vector(c.down, vector(0, 0, -1), 1e-6f));

    camera u;                                            // 100 pixels down: half a radian up
    in.pointer_x = 100; in.pointer_y = 240;
    fly(u, in);
    in.pointer_y = 340;
    fly(u, in);
    EXPECT_NEAR(angle_between(u.forward, vector(0, 1, 0)), 0.5, 1e-6);
    EXPECT_TRUE(same_vector(u.forward, vector(0, std::cos(0.5f), std::sin(0.5f)), 1e-6f));
    EXPECT_TRUE(same_vector(u.right, vector(1, 0, 0), 1e-6f));

    camera g;                                            // both at once: up first, then left
    in.pointer_x = 100; in.pointer_y = 240;                        // about the down that the first turn left
    fly(g, in);
    in.pointer_x = 300; in.pointer_y = 340;
    fly(g, in);
    const float c1 = std::cos(1.0f), s1 = std::sin(1.0f), ch = std::cos(0.5f), sh = std::sin(0.5f);
    EXPECT_TRUE(same_vector(g.forward, vector(-s1, c1 * ch, c1 * sh), 1e-6f));
    EXPECT_TRUE(same_vector(g.right, vector(c1, s1 * ch, s1 * sh), 1e-6f));

    camera l;                                            // and the opposite ways
    in.pointer_x = 300; in.pointer_y = 240;
    fly(l, in);
    in.pointer_x = 200; in.pointer_y = 140;
    fly(l, in);
    EXPECT_GT(l.forward.x, 0.4f);                        // to the right ...
    EXPECT_LT(l.forward.z, -0.4f);                       // ... and down
}

TEST_F(CameraControls, ArrowKeysTurnATenthOfARadianPerFrame)
{
    const vector f0(0, 1, 0), down0(0, 0, -1), right0(1, 0, 0);
    const float c1 = std::cos(1.0f), s1 = std::sin(1.0f);
    struct { int code; vector want; } cases[] = {
        {KEY_UP,    f0 * c1 + down0 * s1},               // the view turns downward
        {KEY_DOWN,  f0 * c1 - down0 * s1},
        {KEY_LEFT,  f0 * c1 - right0 * s1},
        {KEY_RIGHT, f0 * c1 + right0 * s1},
    };
    for (const auto& k : cases) {
        camera c;
        in.held[k.code] = 1;
        frames(c, 10);
        in.held[k.code] = 0;
        EXPECT_NEAR(angle_between(c.forward, f0), 1.0, 1e-5) << "key " << k.code;
        EXPECT_TRUE(same_vector(c.forward, k.want, 1e-5f)) << "key " << k.code;
    }

    camera c;                                            // a pitch leaves right alone
    in.held[KEY_UP] = 1;
    frames(c, 3);
    EXPECT_TRUE(same_vector(c.right, right0, 0));
    in.held[KEY_UP] = 0; in.held[KEY_LEFT] = 1;                  // a yaw leaves down alone
    const vector d = c.down;
    frames(c, 3);
    EXPECT_TRUE(same_vector(c.down, d, 0));

    camera both;                                         // opposite arrows cancel
    in.held[KEY_LEFT] = 1; in.held[KEY_RIGHT] = 1;
    frames(both, 10);
    EXPECT_NEAR(angle_between(both.forward, f0), 0.0, 1e-3);
}

// Mixed arrows and drags from a fixed seed. Each turn normalises the axis it
// rotates and the one it derives, so rounding cannot pile up: the axes must stay
// within 1e-6 (about eight float steps at 1) of unit length, perpendicularity and
// right = down & forward after thousands of frames.
TEST_F(CameraControls, AxesStayOrthonormalAfterManyTurns)
{
    camera c;
    std::mt19937 rng(20240531);
    const double tol = 1e-6;
    for (int frame = 0; frame < 20000; ++frame) {
        const std::uint32_t r = rng();
        in.held[KEY_UP]    = (r >> 0) & 1;
        in.held[KEY_DOWN]  = (r >> 1) & 1 && (r >> 5) & 1;   // now and then both, cancelling
        in.held[KEY_LEFT]  = (r >> 2) & 1;
        in.held[KEY_RIGHT] = (r >> 3) & 1 && (r >> 6) & 1;
        in.buttons = (r >> 4) & 1 ? 1 + (r >> 7) % 3 : 0;
        in.pointer_x = (int)(rng() % 640);
        in.pointer_y = (int)(rng() % 480);
        in.held[KEY_SPACE] = 0;
        fly(c, in);
        ASSERT_TRUE(orthonormal_right_handed(c.forward, c.down, c.right, tol)) << "frame " << frame;
    }
    EXPECT_GT(angle_between(c.forward, vector(0, 1, 0)), 0.0);   // it did turn
}

TEST_F(CameraControls, ReturnsHomeFromFiftyLightYearsByTheTenthOfTheDistance)
{
    camera c;
    c.camera_position = vector(30, 0, -40);
    const vector away = c.camera_position * 0.02f;
    in.held[KEY_E] = 1;
    fly(c, in);                                // E is seen after this frame's move
    in.held[KEY_E] = 0;
    EXPECT_TRUE(c.homing);
    EXPECT_FALSE(c.approach.on);                         // at the pull's reach: no approach
    EXPECT_TRUE(same_vector(c.camera_position, vector(30, 0, -40), 0));

    int frame = 0;
    while (c.homing) {
        ASSERT_LT(++frame, 1000);
        const vector before = c.camera_position;
        const double d = before.length();
        fly(c, in);
        const double step = (c.camera_position - before).length();
        EXPECT_NEAR(step, d / 10, 1e-5 * d) << "at " << d;
        EXPECT_GT(dot(c.camera_position, away), 0) << "passed Earth at " << d;
        EXPECT_EQ(c.homing, !(d < 0.1)) << "at " << d;
    }
    EXPECT_GT(frame, 50);

    // What velocity is left dies away short of Earth.
    double last = c.camera_position.length();
    for (int i = 0; i < 200; ++i) {
        fly(c, in);
        const double d = c.camera_position.length();
        EXPECT_LE(d, last);
        EXPECT_GT(dot(c.camera_position, away), 0);
        last = d;
    }
    EXPECT_GT(last, 0.0);
    EXPECT_LT(last, 0.1);
    EXPECT_FALSE(c.homing);
}

// E from near and far: home within a tenth of a light year in four seconds
// of frames, the view keeping its direction; within reach, exactly the pull.
TEST_F(CameraControls, ReturnsHomeFromAnyDistanceWithinFourSeconds)
{
    for (float distance : {10.0f, 50.0f, 100.0f, 10000.0f, 1e7f}) {
        SCOPED_TRACE(distance);
        const vector from = vector(0.6f, -0.8f, 0) * distance;
        camera c, pulled;
        c.camera_position = pulled.camera_position = from;
        c.forward = vector(0, 0, 1);                     // looking away from the way home
        c.down = vector(0, 1, 0);
        c.right = c.down & c.forward;
        pulled.homing = true;                              // the plain pull, for comparison
        in.held[KEY_E] = 1;
        fly(c, in);
        in.held[KEY_E] = 0;
        EXPECT_EQ(c.approach.on, distance > 50) ;
        int frame = 1, within_reach = -1;
        for (; c.camera_position.length() >= 0.1f && frame < 400; ++frame) {
            const float before = c.camera_position.length();
            fly(c, in);
            if (distance <= 50) {
                fly(pulled, in);
                ASSERT_TRUE(same_vector(c.camera_position, pulled.camera_position, 0)) << "frame " << frame;
            }
            ASSERT_LE(c.camera_position.length(), before * 1.000001f) << "frame " << frame;
            ASSERT_GT(dot(c.camera_position, from), 0) << "passed Earth at frame " << frame;
            if (within_reach < 0 && c.camera_position.length() <= 50.001f) within_reach = frame;
        }
        EXPECT_LE(frame, 200) << "not home in four seconds";
        EXPECT_LE(within_reach, 150) << "not within 50 light years in three seconds";
        EXPECT_TRUE(same_vector(c.forward, vector(0, 0, 1), 0));   // no turn
    }
}

// From the farthest the camera goes, at the fastest speed: thrust outward
// stops at the limit and stays there, thrust inward and turns still fly from
// it, and E brings the camera home within four seconds. At no frame is the
// position or the velocity not finite, the position beyond the limit, or the
// frame of axes broken.
TEST_F(CameraControls, FliesFromTheLimitWithoutPassingItAndEBringsItHome)
{
    const float limit = (float)farthest_from_earth;
    struct { vector at; bool outward; } cases[] = {
        {vector(0, limit, 0), true},                     // looking away from Earth
        {vector(0, 0.6f * limit, 0.8f * limit), true},   // away at an angle
        {vector(limit, 0, 0), true},                     // along the limit, which bends away from the line
        {vector(-0.48f, 0.6f, -0.64f) * limit, true},
        {vector(0, -limit, 0), false},                   // looking at Earth
        {vector(0, -0.6f * limit, 0.8f * limit), false},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(std::to_string(k.at.x) + "," + std::to_string(k.at.y) + "," + std::to_string(k.at.z));
        camera c;
        c.camera_position = k.at;
        c.speed_level = fastest_speed;
        in = frame_input();
        in.hold(KEY_SPACE);
        for (int frame = 0; frame < 3000; ++frame) {
            in.held[KEY_LEFT] = frame >= 1000 && frame < 1100;   // turned about while thrusting
            in.held[KEY_UP] = frame >= 2000 && frame < 2040;
            fly(c, in);
            ASSERT_TRUE(sound_flight(c)) << "frame " << frame;
            if (frame != 500) continue;
            const double away = length(dvector(c.camera_position));
            if (k.outward) EXPECT_GE(away, farthest_from_earth * (1 - 1e-6)) << "stopped short of the limit";
            else           EXPECT_LT(away, farthest_from_earth - 1e6) << "thrust inward did not fly";
        }
        in = frame_input();
        in.hold(KEY_E);
        fly(c, in);
        ASSERT_TRUE(sound_flight(c));
        in = frame_input();
        int frame = 1;
        for (; c.camera_position.length() >= 0.1f && frame < 400; ++frame) {
            fly(c, in);
            ASSERT_TRUE(sound_flight(c)) << "frame " << frame << " home";
        }
        EXPECT_LE(frame, 200) << "not home in four seconds";
    }
}

TEST_F(CameraControls, AnyFlightControlEndsTheApproachButNotThePull)
{
    const int flight_keys[] = {KEY_SPACE, KEY_B, KEY_UP, KEY_LEFT};
    for (int code : flight_keys) {
        camera c;
        c.camera_position = vector(0, 5000, 0);
        in = frame_input();
        in.held[KEY_E] = 1;
        fly(c, in);
        in.held[KEY_E] = 0;
        for (int f = 0; f < 20; ++f) fly(c, in);
        ASSERT_TRUE(c.approach.on);
        const float there = c.camera_position.length();
        in.hold(code);
        fly(c, in);
        in.hold(code, false);
        EXPECT_FALSE(c.approach.on) << code;
        EXPECT_FALSE(c.homing) << code;
        frames(c, 50);
        EXPECT_GT(c.camera_position.length(), there - 10) << code;   // it stopped where it was
    }
    camera c;                                            // the right button thrusts: it ends it too
    c.camera_position = vector(0, 5000, 0);
    in = frame_input();
    in.held[KEY_E] = 1;
    fly(c, in);
    in = frame_input();
    in.buttons = 2;
    fly(c, in);
    EXPECT_FALSE(c.approach.on);
    in = frame_input();
    in.held[KEY_E] = 1;                                  // a new E starts it again
    fly(c, in);
    EXPECT_TRUE(c.approach.on);
    stop_homing(c);                                      // as a trip does when it starts
    EXPECT_FALSE(c.approach.on);
}

// Thrust is 0.1 * 10^s light years a frame, full thrust settles at five
// times that; PgUp and PgDn step once per press, held to -4 .. +4.
TEST_F(CameraControls, SpeedLevelsScaleTheThrustTenfoldAStep)
{
    EXPECT_EQ(thrust_at(0), 0.1f);                       // level 0 is today's thrust, bit for bit
    for (int s = slowest_speed; s <= fastest_speed; ++s) {
        SCOPED_TRACE(s);
        EXPECT_NEAR(thrust_at(s), 0.1 * std::pow(10.0, s), 1e-6 * std::pow(10.0, s));
        camera c;
        c.speed_level = s;
        in = frame_input();
        in.hold(KEY_SPACE);
        frames(c, 1);
        EXPECT_EQ(c.velocity.y, thrust_at(s));
        frames(c, 200);
        const float before = c.camera_position.y;
        frames(c, 1);
        EXPECT_NEAR(c.camera_position.y - before, 0.5 * std::pow(10.0, s), 1e-4 * std::pow(10.0, s));
    }

    camera c;
    in = frame_input();
    const int ups[] = {1, 2, 3, 4, 4, 4};
    for (int want : ups) {
        press(in, KEY_PGUP);
        in.hold(KEY_PGUP);
        fly(c, in);
        EXPECT_EQ(c.speed_level, want);
        in = frame_input();
        in.hold(KEY_PGUP);                               // held: no further step
        fly(c, in);
        EXPECT_EQ(c.speed_level, want);
        in = frame_input();
    }
    for (int i = 0; i < 12; ++i) {
        press(in, KEY_PGDN);
        fly(c, in);
        in = frame_input();
    }
    EXPECT_EQ(c.speed_level, slowest_speed);
    press(in, KEY_PGUP);
    fly(c, in, false);                             // the prompt has the keys
    EXPECT_EQ(c.speed_level, slowest_speed);
}

// The zoom and exposure move one step per press or notch, the keys only
// while the prompt is closed; arrows turn less the longer the focal length.
TEST_F(CameraControls, ZoomAndExposureStepOncePerPress)
{
    camera c;
    press(in, KEY_EQUALS);
    fly(c, in);
    EXPECT_EQ(c.optics.zoom_step(), 1);
    in = frame_input();
    in.hold(KEY_EQUALS);
    fly(c, in);
    EXPECT_EQ(c.optics.zoom_step(), 1);
    in = frame_input();
    in.wheel = 3;
    fly(c, in, false);                             // the wheel works with the prompt open
    EXPECT_EQ(c.optics.zoom_step(), 4);
    in = frame_input();
    press(in, KEY_MINUS_PAD);
    press(in, KEY_CLOSEBRACE);
    press(in, KEY_CLOSEBRACE);                            // a repeat: went down once
    fly(c, in);
    EXPECT_EQ(c.optics.zoom_step(), 3);
    EXPECT_EQ(c.optics.exposure_steps(), 1);
    in = frame_input();
    press(in, KEY_OPENBRACE);
    fly(c, in, false);
    EXPECT_EQ(c.optics.exposure_steps(), 1);

    camera z;                                            // zoom step 4: twice the focal length
    z.optics.zoom_by(4);
    in = frame_input();
    in.hold(KEY_RIGHT);
    frames(z, 10);
    EXPECT_NEAR(angle_between(z.forward, vector(0, 1, 0)), 0.5, 1e-5);
}

TEST_F(CameraControls, ThrustIsIgnoredWhileHomingButTurnsStillWork)
{
    camera plain, busy;
    plain.camera_position = busy.camera_position = vector(0, 300, 40);
    plain.homing = busy.homing = true;
    while (plain.homing) {
        in.held[KEY_SPACE] = 0; in.held[KEY_B] = 0; in.held[KEY_UP] = 0;
        fly(plain, in);
        in.held[KEY_SPACE] = 1; in.held[KEY_UP] = 1;
        fly(busy, in);
        EXPECT_TRUE(same_vector(busy.camera_position, plain.camera_position, 0));
        EXPECT_EQ(busy.homing, plain.homing);
    }
    EXPECT_GT(angle_between(busy.forward, plain.forward), 0.05);
    in.held[KEY_SPACE] = 0; in.held[KEY_UP] = 0;
    fly(plain, in);                                // homing is off: the last thrust counts now
    fly(busy, in);
    EXPECT_GT((busy.camera_position - plain.camera_position).length(), 0.05f);
}

TEST_F(CameraControls, HomingNearEarthEndsAtOnceWithOneLastPull)
{
    camera c;
    c.camera_position = vector(0.05f, 0, 0);
    in.held[KEY_E] = 1;
    fly(c, in);
    in.held[KEY_E] = 0;
    EXPECT_TRUE(c.homing);
    fly(c, in);
    EXPECT_FALSE(c.homing);
    EXPECT_NEAR(c.camera_position.x, 0.045f, 1e-8f);     // a tenth of the distance, toward Earth
    EXPECT_NEAR(c.velocity.x, -0.004f, 1e-8f);
    frames(c, 200);
    EXPECT_NEAR(c.camera_position.x, 0.025f, 1e-7f);     // coasting four times 0.005 further
    EXPECT_FALSE(c.homing);
}

TEST_F(CameraControls, ViewMatrixCarriesPointsIntoTheCameraFrame)
{
    camera c;
    EXPECT_TRUE(same_vector(build_view(c) * vector(1, 2, 3), vector(1, -3, 2), 0));   // at Earth: x right, -z down, y ahead

    in.held[KEY_UP] = 1; in.held[KEY_LEFT] = 1;
    frames(c, 7);
    in.held[KEY_UP] = 0; in.held[KEY_LEFT] = 0;
    c.camera_position = vector(3, -7, 12);
    const matrix view = build_view(c);
    const vector e = c.camera_position;
    const vector points[] = {{0, 0, 0}, {3, -7, 12}, {100, -40, 25}, {-60, 80, -90}, {0.5f, 0.25f, -1}};
    for (vector p : points) {
        const vector q = p - e;
        const vector want((float)dot(c.right, q), (float)dot(c.down, q), (float)dot(c.forward, q));
        EXPECT_TRUE(same_vector(view * p, want, 1e-4f)) << p.x << ' ' << p.y << ' ' << p.z;
    }
    // A point straight ahead sits on the view axis at its distance.
    const vector ahead = e + c.forward * 10;
    EXPECT_TRUE(same_vector(view * ahead, vector(0, 0, 10), 1e-5f));
}

// The turn of a drag and of an arrow, against the focal length: at f = 400
// bit for bit what the program always did (d / 200 and 0.1 radians); at every
// size and zoom, 2 d / f and 40 / f, so the stars move as many pixels.
TEST_F(CameraControls, TurnsScaleWithTheFocalLength)
{
    struct { int w, h, zoom; } lenses[] = {{640, 480, 0}, {1920, 1080, 0}, {640, 480, 8}, {1280, 960, -4}, {320, 4320, 40}};
    for (const auto& k : lenses) {
        SCOPED_TRACE(std::to_string(k.w) + "x" + std::to_string(k.h) + " zoom " + std::to_string(k.zoom));
        camera drag;
        drag.optics.resize(k.w, k.h);
        drag.optics.zoom_by(k.zoom);
        const double f = drag.optics.focal();
        camera arrow = drag;
        in = frame_input();
        in.buttons = 1; in.pointer_x = 100; in.pointer_y = 100;
        fly(drag, in);
        in.pointer_x = 137;                                   // 37 pixels right: a turn left
        fly(drag, in);
        in = frame_input();
        const double drag_turn = 37 * 2.0 / f, arrow_turn = 40.0 / f;      // sideways shares: the sines
        EXPECT_NEAR(-drag.forward.x, std::sin(drag_turn), 1e-5 * drag_turn);
        in.hold(KEY_LEFT);
        fly(arrow, in);
        in = frame_input();
        EXPECT_NEAR(std::fabs(arrow.forward.x), std::sin(arrow_turn), 1e-5 * arrow_turn);
        if (f != 400) continue;
        // At the start, exactly the turns of old: the same rotation, float for float.
        const camera start;
        matrix old_drag, old_arrow;
        old_drag.rotate((float)(-37 / 200.0), start.down);
        vector forward = old_drag * start.forward;
        forward.normalize();
        EXPECT_TRUE(same_vector(drag.forward, forward, 0));
        old_arrow.rotate(-0.1f, start.down);
        forward = old_arrow * start.forward;
        forward.normalize();
        EXPECT_TRUE(same_vector(arrow.forward, forward, 0));
    }
}

// ---- reading the library into a frame's input ----

static int no_key() { return 0; }

// The library's key state and buffer, and its pointer, as read_input takes
// them: a press counts once however long it is held and however often the
// buffer repeats it; a click is told from a drag.
TEST(FrameInputReading, PressesOncePerPressRepeatsForTypingClicksAndDrags)
{
    install_keyboard_hooks(no_key, no_key);              // the buffer works once the library has a keyboard
    clear_keybuf();
    frame_input in;
    key[KEY_TAB] = 1;
    simulate_ukeypress('\t', KEY_TAB);
    read_input(in);
    EXPECT_TRUE(in.is_held(KEY_TAB));
    EXPECT_TRUE(in.pressed(KEY_TAB));
    ASSERT_EQ(in.press_count, 1);
    EXPECT_EQ(in.presses[0].scancode, KEY_TAB);
    EXPECT_EQ(in.presses[0].ascii, '\t');
    EXPECT_FALSE(keypressed());                          // the buffer is emptied

    simulate_ukeypress('\t', KEY_TAB);                   // the library repeats the held key
    simulate_ukeypress('\t', KEY_TAB);
    read_input(in);
    EXPECT_FALSE(in.pressed(KEY_TAB));
    EXPECT_EQ(in.press_count, 2);                        // the prompt still gets them
    EXPECT_FALSE(in.quiet());

    key[KEY_TAB] = 0;
    read_input(in);
    EXPECT_TRUE(in.quiet());
    simulate_ukeypress('g', KEY_G);                      // down and up again between two frames
    read_input(in);
    EXPECT_TRUE(in.pressed(KEY_G));
    EXPECT_FALSE(in.is_held(KEY_G));

    for (int i = 0; i < frame_input::most_presses + 5; ++i) simulate_ukeypress('a', KEY_A);
    read_input(in);
    EXPECT_EQ(in.press_count, frame_input::most_presses);
    read_input(in);
    EXPECT_EQ(in.press_count, 5);                        // the rest wait for the next frame

    struct { int x, y, buttons; bool down, up, click; } steps[] = {
        {100, 100, 1, true,  false, false},              // a press ...
        {101, 102, 1, false, false, false},              // ... held within two pixels ...
        {101, 101, 0, false, true,  true},               // ... and let go: a click
        {200, 200, 1, true,  false, false},
        {205, 200, 1, false, false, false},              // strays five pixels ...
        {200, 200, 0, false, true,  false},              // ... and back: a drag
        {50, 60, 2, false, false, false},                // the right button is no click
        {50, 60, 0, false, false, false},
    };
    int last_x = in.pointer_x;
    for (const auto& s : steps) {
        mouse_x = s.x;
        mouse_y = s.y;
        mouse_b = s.buttons;
        read_input(in);
        SCOPED_TRACE(testing::Message() << s.x << ", " << s.y << " buttons " << s.buttons);
        EXPECT_EQ(in.left_went_down, s.down);
        EXPECT_EQ(in.left_came_up, s.up);
        EXPECT_EQ(in.clicked(), s.click);
        EXPECT_EQ(in.moved_x, s.x - last_x);
        last_x = s.x;
    }
    EXPECT_EQ(in.down_x, 200);                           // where the last press began
    EXPECT_EQ(in.up_x, 200);
    mouse_x = mouse_y = mouse_b = 0;
}
