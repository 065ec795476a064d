// The camera and its flight controls, driven through the library's key and
// mouse state without a display.
#include "allegro_env.h"
#include "test_support.h"
#include "viewer.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <thread>

static auto* env = register_allegro_env();

static double dot(vector a, vector b) { return (double)a.x * b.x + (double)a.y * b.y + (double)a.z * b.z; }

// Angle between two unit directions, radians.
static double angle_between(vector a, vector b)
{
    const double c = dot(a, b) / ((double)a.length() * b.length());
    return std::acos(c > 1 ? 1 : c < -1 ? -1 : c);
}

// Every case starts with no key and no button down and the pointer at the top left.
class CameraControls : public ::testing::Test {
protected:
    void SetUp() override { release_all(); }
    void TearDown() override { release_all(); }
    static void release_all()
    {
        for (int i = 0; i < KEY_MAX; ++i) key[i] = 0;
        mouse_b = 0;
        mouse_x = 0;
        mouse_y = 0;
        mouse_z = 0;
    }
    static void frames(camera& c, int n)
    {
        for (int i = 0; i < n; ++i) update_camera(c);
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
    EXPECT_EQ(c.homing + c.show_names + c.done, 0);
    frames(c, 5);                                        // nothing held: nothing changes
    EXPECT_TRUE(same_vector(c.camera_position, vector(0, 0, 0), 0));
    EXPECT_TRUE(same_vector(c.forward, vector(0, 1, 0), 0));
    EXPECT_EQ(c.homing + c.show_names + c.done, 0);
}

TEST_F(CameraControls, SpaceThrustSeriesApproachesHalfALightYearPerFrame)
{
    camera c;
    key[KEY_SPACE] = 1;
    const float want[4] = {0.0f, 0.1f, 0.18f, 0.244f};
    for (float w : want) {                               // the step made in each frame
        const vector before = c.camera_position;
        update_camera(c);
        const vector step = c.camera_position - before;
        EXPECT_NEAR(step.y, w, 1e-6f);
        EXPECT_EQ(step.x, 0.0f);                         // straight along forward
        EXPECT_EQ(step.z, 0.0f);
    }
    float last = 0.244f;
    for (int i = 0; i < 200; ++i) {
        const float before = c.camera_position.y;
        update_camera(c);
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
        key[KEY_SPACE] = 1;
        frames(c, held);
        key[KEY_SPACE] = 0;
        const float v = c.velocity.length();
        const vector from = c.camera_position;
        const float first = c.camera_position.y;
        update_camera(c);
        EXPECT_NEAR(c.camera_position.y - first, v, 1e-6f) << "held " << held;  // the whole last velocity
        frames(c, 300);
        EXPECT_NEAR((c.camera_position - from).length(), 5 * v, 5e-6f * held) << "held " << held;
    }
}

TEST_F(CameraControls, ThrustSourcesCombine)
{
    camera space, both, opposed, twobuttons;
    for (int i = 0; i < 6; ++i) {
        key[KEY_SPACE] = 1; mouse_b = 0; update_camera(space);
        key[KEY_SPACE] = 1; mouse_b = 2; update_camera(both);      // Space and right: once
        key[KEY_SPACE] = 1; key[KEY_B] = 1; mouse_b = 0; update_camera(opposed);
        key[KEY_SPACE] = 0; key[KEY_B] = 0; mouse_b = 3; update_camera(twobuttons);
        key[KEY_B] = 0;
        EXPECT_TRUE(same_vector(both.velocity, space.velocity, 0)) << "frame " << i;
        EXPECT_TRUE(same_vector(both.camera_position, space.camera_position, 0));
        EXPECT_TRUE(same_vector(opposed.velocity, vector(0, 0, 0), 1e-7f));
        EXPECT_TRUE(same_vector(twobuttons.velocity, vector(0, 0, 0), 0));
    }
    EXPECT_NEAR(space.velocity.y, 0.1f * (1 - std::pow(0.8f, 6.0f)) / 0.2f, 1e-6f);

    // B alone thrusts backward as much as Space forward.
    camera back;
    key[KEY_B] = 1;
    frames(back, 6);
    EXPECT_TRUE(same_vector(back.camera_position, -space.camera_position, 0));
}

TEST_F(CameraControls, RightButtonTurnsAndThrustsBothButtonsOnlyTurn)
{
    camera right, both;
    mouse_b = 2; mouse_x = 100; mouse_y = 100;
    update_camera(right);
    mouse_b = 3;
    update_camera(both);
    mouse_x = 300;                                       // 200 pixels to the right
    mouse_b = 2; update_camera(right);
    mouse_b = 3; update_camera(both);
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
    mouse_b = 1; mouse_x = 50; mouse_y = 400;           // held in the very first frame
    update_camera(c);
    EXPECT_TRUE(same_vector(c.forward, vector(0, 1, 0), 0));
    EXPECT_EQ(c.last_mouse_x, 50);
    EXPECT_EQ(c.last_mouse_y, 400);

    mouse_b = 0; mouse_x = 600; mouse_y = 10;            // release: the anchor goes
    update_camera(c);
    EXPECT_EQ(c.last_mouse_x, -1);
    EXPECT_EQ(c.last_mouse_y, 400);                      // y is left as it was
    EXPECT_TRUE(same_vector(c.forward, vector(0, 1, 0), 0));

    mouse_b = 4; mouse_x = 200; mouse_y = 200;           // a new press far from the old one
    update_camera(c);
    EXPECT_TRUE(same_vector(c.forward, vector(0, 1, 0), 0));
    EXPECT_TRUE(same_vector(c.down, vector(0, 0, -1), 0));

    update_camera(c);                                    // held, not moved: turns by 0
    EXPECT_TRUE(same_vector(c.forward, vector(0, 1, 0), 0));
    mouse_x = 210;                                       // held and moved: now it turns
    update_camera(c);
    EXPECT_NEAR(angle_between(c.forward, vector(0, 1, 0)), 10 / 200.0, 1e-6);
}

TEST_F(CameraControls, DragTurnsTheViewAgainstThePointer)
{
    camera c;                                            // 200 pixels right: 1 radian left
    mouse_b = 1; mouse_x = 100; mouse_y = 240;
    update_camera(c);
    mouse_x = 300;
    update_camera(c);
    EXPECT_NEAR(angle_between(c.forward, vector(0, 1, 0)), 1.0, 1e-6);
    EXPECT_TRUE(same_vector(c.forward, vector(-std::sin(1.0f), std::cos(1.0f), 0), 1e-6f));
    EXPECT_TRUE(same_vector(c.down, vector(0, 0, -1), 1e-6f));

    camera u;                                            // 100 pixels down: half a radian up
    mouse_x = 100; mouse_y = 240;
    update_camera(u);
    mouse_y = 340;
    update_camera(u);
    EXPECT_NEAR(angle_between(u.forward, vector(0, 1, 0)), 0.5, 1e-6);
    EXPECT_TRUE(same_vector(u.forward, vector(0, std::cos(0.5f), std::sin(0.5f)), 1e-6f));
    EXPECT_TRUE(same_vector(u.right, vector(1, 0, 0), 1e-6f));

    camera g;                                            // both at once: up first, then left
    mouse_x = 100; mouse_y = 240;                        // about the down that the first turn left
    update_camera(g);
    mouse_x = 300; mouse_y = 340;
    update_camera(g);
    const float c1 = std::cos(1.0f), s1 = std::sin(1.0f), ch = std::cos(0.5f), sh = std::sin(0.5f);
    EXPECT_TRUE(same_vector(g.forward, vector(-s1, c1 * ch, c1 * sh), 1e-6f));
    EXPECT_TRUE(same_vector(g.right, vector(c1, s1 * ch, s1 * sh), 1e-6f));

    camera l;                                            // and the opposite ways
    mouse_x = 300; mouse_y = 240;
    update_camera(l);
    mouse_x = 200; mouse_y = 140;
    update_camera(l);
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
        key[k.code] = 1;
        frames(c, 10);
        key[k.code] = 0;
        EXPECT_NEAR(angle_between(c.forward, f0), 1.0, 1e-5) << "key " << k.code;
        EXPECT_TRUE(same_vector(c.forward, k.want, 1e-5f)) << "key " << k.code;
    }

    camera c;                                            // a pitch leaves right alone
    key[KEY_UP] = 1;
    frames(c, 3);
    EXPECT_TRUE(same_vector(c.right, right0, 0));
    key[KEY_UP] = 0; key[KEY_LEFT] = 1;                  // a yaw leaves down alone
    const vector d = c.down;
    frames(c, 3);
    EXPECT_TRUE(same_vector(c.down, d, 0));

    camera both;                                         // opposite arrows cancel
    key[KEY_LEFT] = 1; key[KEY_RIGHT] = 1;
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
    const float tol = 1e-6f;
    for (int frame = 0; frame < 20000; ++frame) {
        const std::uint32_t r = rng();
        key[KEY_UP]    = (r >> 0) & 1;
        key[KEY_DOWN]  = (r >> 1) & 1 && (r >> 5) & 1;   // now and then both, cancelling
        key[KEY_LEFT]  = (r >> 2) & 1;
        key[KEY_RIGHT] = (r >> 3) & 1 && (r >> 6) & 1;
        mouse_b = (r >> 4) & 1 ? 1 + (r >> 7) % 3 : 0;
        mouse_x = (int)(rng() % 640);
        mouse_y = (int)(rng() % 480);
        key[KEY_SPACE] = 0;
        update_camera(c);
        const double errs[] = {
            std::fabs(c.forward.length() - 1.0), std::fabs(c.down.length() - 1.0),
            std::fabs(c.right.length() - 1.0),   std::fabs(dot(c.forward, c.down)),
            std::fabs(dot(c.forward, c.right)),  std::fabs(dot(c.down, c.right)),
        };
        for (double e : errs) ASSERT_LE(e, tol) << "frame " << frame;
        ASSERT_TRUE(same_vector(c.right, c.down & c.forward, tol)) << "frame " << frame;
    }
    EXPECT_GT(angle_between(c.forward, vector(0, 1, 0)), 0.0);   // it did turn
}

TEST_F(CameraControls, ReturnsHomeFromAThousandLightYears)
{
    camera c;
    c.camera_position = vector(600, 0, -800);
    const vector away = c.camera_position * 0.001f;
    key[KEY_E] = 1;
    update_camera(c);                                    // E is seen after this frame's move
    key[KEY_E] = 0;
    EXPECT_EQ(c.homing, 1);
    EXPECT_TRUE(same_vector(c.camera_position, vector(600, 0, -800), 0));

    int fast = 0, slow = 0, frame = 0;
    while (c.homing) {
        ASSERT_LT(++frame, 1000);
        const vector before = c.camera_position;
        const double d = before.length();
        update_camera(c);
        const double step = (c.camera_position - before).length();
        if (d > 50) {
            EXPECT_NEAR(step, 5.0, 1e-3) << "at " << d;
            ++fast;
        } else {
            EXPECT_NEAR(step, d / 10, 1e-5 * d) << "at " << d;
            ++slow;
        }
        EXPECT_GT(dot(c.camera_position, away), 0) << "passed Earth at " << d;
        EXPECT_EQ(c.homing, d < 0.1 ? 0 : 1) << "at " << d;
    }
    EXPECT_EQ(fast, 190);                                // 950 light years at 5 a frame
    EXPECT_GT(slow, 50);

    // What velocity is left dies away short of Earth.
    double last = c.camera_position.length();
    for (int i = 0; i < 200; ++i) {
        update_camera(c);
        const double d = c.camera_position.length();
        EXPECT_LE(d, last);
        EXPECT_GT(dot(c.camera_position, away), 0);
        last = d;
    }
    EXPECT_GT(last, 0.0);
    EXPECT_LT(last, 0.1);
    EXPECT_EQ(c.homing, 0);
}

TEST_F(CameraControls, ThrustIsIgnoredWhileHomingButTurnsStillWork)
{
    camera plain, busy;
    plain.camera_position = busy.camera_position = vector(0, 300, 40);
    plain.homing = busy.homing = 1;
    while (plain.homing) {
        key[KEY_SPACE] = 0; key[KEY_B] = 0; key[KEY_UP] = 0;
        update_camera(plain);
        key[KEY_SPACE] = 1; key[KEY_UP] = 1;
        update_camera(busy);
        EXPECT_TRUE(same_vector(busy.camera_position, plain.camera_position, 0));
        EXPECT_EQ(busy.homing, plain.homing);
    }
    EXPECT_GT(angle_between(busy.forward, plain.forward), 0.05);
    key[KEY_SPACE] = 0; key[KEY_UP] = 0;
    update_camera(plain);                                // homing is off: the last thrust counts now
    update_camera(busy);
    EXPECT_GT((busy.camera_position - plain.camera_position).length(), 0.05f);
}

TEST_F(CameraControls, HomingNearEarthEndsAtOnceWithOneLastPull)
{
    camera c;
    c.camera_position = vector(0.05f, 0, 0);
    key[KEY_E] = 1;
    update_camera(c);
    key[KEY_E] = 0;
    EXPECT_EQ(c.homing, 1);
    update_camera(c);
    EXPECT_EQ(c.homing, 0);
    EXPECT_NEAR(c.camera_position.x, 0.045f, 1e-8f);     // a tenth of the distance, toward Earth
    EXPECT_NEAR(c.velocity.x, -0.004f, 1e-8f);
    frames(c, 200);
    EXPECT_NEAR(c.camera_position.x, 0.025f, 1e-7f);     // coasting four times 0.005 further
    EXPECT_EQ(c.homing, 0);
}

TEST_F(CameraControls, EscEndsForGood)
{
    camera c;
    frames(c, 2);
    EXPECT_EQ(c.done, 0);
    key[KEY_ESC] = 1;
    update_camera(c);
    EXPECT_EQ(c.done, 1);
    key[KEY_ESC] = 0;
    frames(c, 2);
    EXPECT_EQ(c.done, 1);
    EXPECT_EQ(c.homing, 0);                              // and changes nothing else
}

// Tab flips the names and then holds the frame until the key comes up. A
// second thread plays the user: it notes that it is about to let go, then does.
TEST_F(CameraControls, TabFlipsOncePerPressAndWaitsForRelease)
{
    camera c;
    for (int press = 1; press <= 3; ++press) {
        std::atomic<bool> released{false};
        key[KEY_TAB] = 1;
        std::thread user([&released] {
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            released = true;
            key[KEY_TAB] = 0;
        });
        update_camera(c);
        const bool returned_after_release = released;
        user.join();
        EXPECT_TRUE(returned_after_release) << "press " << press;
        EXPECT_EQ(c.show_names, press % 2) << "press " << press;
        frames(c, 3);                                    // up again: no further flips
        EXPECT_EQ(c.show_names, press % 2) << "press " << press;
    }
}

TEST_F(CameraControls, ViewMatrixCarriesPointsIntoTheCameraFrame)
{
    camera c;
    build_view(c);                                       // at Earth: x right, -z down, y ahead
    EXPECT_TRUE(same_vector(c.view * vector(1, 2, 3), vector(1, -3, 2), 0));

    key[KEY_UP] = 1; key[KEY_LEFT] = 1;
    frames(c, 7);
    key[KEY_UP] = 0; key[KEY_LEFT] = 0;
    c.camera_position = vector(3, -7, 12);
    build_view(c);
    const vector e = c.camera_position;
    const vector points[] = {{0, 0, 0}, {3, -7, 12}, {100, -40, 25}, {-60, 80, -90}, {0.5f, 0.25f, -1}};
    for (vector p : points) {
        const vector q = p - e;
        const vector want((float)dot(c.right, q), (float)dot(c.down, q), (float)dot(c.forward, q));
        EXPECT_TRUE(same_vector(c.view * p, want, 1e-4f)) << p.x << ' ' << p.y << ' ' << p.z;
    }
    // A point straight ahead sits on the view axis at its distance.
    const vector ahead = e + c.forward * 10;
    EXPECT_TRUE(same_vector(c.view * ahead, vector(0, 0, 10), 1e-5f));
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
        mouse_b = 1; mouse_x = 100; mouse_y = 100;
        update_camera(drag);
        mouse_x = 137;                                   // 37 pixels right: a turn left
        update_camera(drag);
        mouse_b = 0;
        const double drag_turn = 37 * 2.0 / f, arrow_turn = 40.0 / f;      // sideways shares: the sines
        EXPECT_NEAR(-drag.forward.x, std::sin(drag_turn), 1e-5 * drag_turn);
        key[KEY_LEFT] = 1;
        update_camera(arrow);
        key[KEY_LEFT] = 0;
        EXPECT_NEAR(std::fabs(arrow.forward.x), std::sin(arrow_turn), 1e-5 * arrow_turn);
        if (f != 400) continue;
        // At the start, exactly the turns of old: the same rotation, float for float.
        camera old_drag, old_arrow;
        old_drag.view = 1.0f;
        old_drag.view.rotate((float)(-37 / 200.0), old_drag.down);
        vector forward = old_drag.view * old_drag.forward;
        forward.normalize();
        EXPECT_TRUE(same_vector(drag.forward, forward, 0));
        old_arrow.view = 1.0f;
        old_arrow.view.rotate(-0.1f, old_arrow.down);
        forward = old_arrow.view * old_arrow.forward;
        forward.normalize();
        EXPECT_TRUE(same_vector(arrow.forward, forward, 0));
    }
}

// Zoom by the wheel, = and - and the keypad's + and -; exposure by ] and [:
// one step per press or notch, held to their limits, and the keys not at all
// while the prompt has them, nor a key that was pressed then and is still held.
TEST_F(CameraControls, ZoomAndExposureStepOncePerPress)
{
    camera c;
    auto press = [&](int code, int keys = 1) {
        key[code] = 1;
        for (int f = 0; f < 3; ++f) update_camera(c, keys);   // held for three frames: one step
        key[code] = 0;
        update_camera(c, keys);
    };
    struct { int code; int zoom, exposure_steps; } steps[] = {
        {KEY_EQUALS, 1, 0}, {KEY_PLUS_PAD, 2, 0}, {KEY_MINUS, 1, 0}, {KEY_MINUS_PAD, 0, 0},
        {KEY_CLOSEBRACE, 0, 1}, {KEY_CLOSEBRACE, 0, 2}, {KEY_OPENBRACE, 0, 1},
    };
    for (const auto& k : steps) {
        press(k.code);
        EXPECT_EQ(c.optics.zoom_step(), k.zoom) << k.code;
        EXPECT_EQ(c.optics.exposure_steps(), k.exposure_steps) << k.code;
    }
    press(KEY_EQUALS, 0);                                  // typed into the prompt
    press(KEY_CLOSEBRACE, 0);
    EXPECT_EQ(c.optics.zoom_step(), 0);
    EXPECT_EQ(c.optics.exposure_steps(), 1);
    key[KEY_EQUALS] = 1;
    update_camera(c, 0);                                   // pressed while the prompt is open ...
    update_camera(c, 1);                                   // ... and still held when it closes
    key[KEY_EQUALS] = 0;
    EXPECT_EQ(c.optics.zoom_step(), 0);
    for (int i = 0; i < 50; ++i) press(KEY_EQUALS);
    EXPECT_EQ(c.optics.zoom_step(), 40);
    for (int i = 0; i < 50; ++i) press(KEY_OPENBRACE);
    EXPECT_EQ(c.optics.exposure(), -4.0f);

    camera w;                                              // the wheel: notches since the last frame
    mouse_z = 7;
    update_camera(w);                                      // the first frame only learns where it is
    EXPECT_EQ(w.optics.zoom_step(), 0);
    mouse_z = 10;
    update_camera(w);
    EXPECT_EQ(w.optics.zoom_step(), 3);                    // up: in
    update_camera(w, 0);                                   // no notch, no step; the prompt does not stop it
    mouse_z = 8;
    update_camera(w, 0);
    EXPECT_EQ(w.optics.zoom_step(), 1);
    mouse_z = -100;
    update_camera(w);
    EXPECT_EQ(w.optics.zoom_step(), -4);
    mouse_z = 0;
}
