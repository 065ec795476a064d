// One frame of the viewer: from the frame's input to the picture in the back
// buffer, and what a picture depends on, so an unchanged frame is not drawn
// again.
#ifndef STARHOP_FRAME_H
#define STARHOP_FRAME_H

#include "model/camera.h"
#include "base/input.h"
#include "model/selection.h"
#include "model/travel.h"
#include "base/vector.h"

#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

struct BITMAP;
struct command_line;
class notices;
class star_type;
class star_groups;

// What a frame shows besides the camera's view: the star names, the help.
struct toggles {
    bool names = false;
    bool help = false;
};

// The camera of the first frame, at the --at location, and the toggles it
// starts with: names as --names says.
toggles start_camera(camera& c, const command_line& line);

// Draws one frame into `buffer`, through the camera's lens and `view`: every
// star in list order, then the status text; star names and help as `on` says.
// With `travel`, also its target line and prompt. With `groups` (made from the
// same list), only the stars that can show are visited, with the same pixels.
// With `shown`, its lines at the bottom of the screen, above an open prompt.
// With `picked`, a click waiting there is answered from the stars drawn, and
// the star picked is marked and described.
void draw_frame(const camera& c, const matrix& view, const toggles& on, star_type* first_star, int star_count,
                BITMAP* buffer,
                const traveller* travel = nullptr, star_groups* groups = nullptr,
                const notices* shown = nullptr, selection* picked = nullptr);

// What a frame's picture depends on besides the catalog. A frame with no new
// input whose state equals that of the last picture drawn would draw the same
// picture again, and is not drawn.
struct frame_state {
    vector position, forward, down, right;
    int width = 0, height = 0, zoom = 0, exposure = 0, speed_level = 0;
    toggles on;
    int pointer_x = 0, pointer_y = 0;           // the pointer is drawn into the picture
    const star_type* target = nullptr;
    bool prompt_open = false;
    std::string prompt_text;
    std::vector<std::string> prompt_notes;
    std::vector<std::string> notices_shown;     // the lines at the bottom
    const star_type* selected = nullptr;        // marked, and described at the top right
    bool click_waiting = false;                 // the next picture answers a click

    bool operator==(const frame_state& o) const;
    bool operator!=(const frame_state& o) const { return !(*this == o); }
};

// How long the lines L and P show stay on the screen.
constexpr unsigned location_seconds = 5, saved_seconds = 3;

// The frame loop without its waits and the screen: one frame from its input
// to the picture in the back buffer.
class frame_loop {
public:
    // Without `groups`, makes them from the list, unless `make_groups` is
    // false (they did not fit): then every frame walks the list. `shown`,
    // when given, is drawn at the bottom of every picture, and L and P say
    // there what they did.
    frame_loop(star_type* first_star, int star_count, BITMAP* buffer, star_groups* groups = nullptr,
               notices* shown = nullptr, bool make_groups = true);
    ~frame_loop();
    // The first frame as the command line asks: where it starts, names on or off.
    void start(const command_line& line) { on = start_camera(c, line); }
    // One frame on `in`, with `tick` timer ticks counted so far: the prompt,
    // the camera, the toggles, the trip, the view and, when something
    // changed since the last picture drawn, a new picture. The keyboard acts
    // as the controls table says. L prints the location on `locations`; P
    // saves the picture in `pictures` (the user's pictures folder when
    // empty). Returns whether it drew one; never while `hidden`.
    bool step(const frame_input& in, unsigned tick);
    // Quit was asked for: the program ends after this frame. The quit key
    // with the help or the prompt open closes that instead.
    bool done() const { return quit; }
    // A new back buffer (the screen mode changed): the lens takes its size,
    // and the next frame is drawn whatever else changed.
    void use_buffer(BITMAP* buffer);

    camera c;
    toggles on;
    bool quit = false;                          // set by the quit key, and by the window's close button
    traveller travel;
    selection picked;
    std::ostream* locations;                    // where L prints the line: standard output
    std::string pictures;                       // where P saves: empty for the user's folder
    bool hidden = false;                        // the window cannot be seen: frames go on, nothing is drawn

private:
    star_type* first_star_;
    int star_count_;
    BITMAP* buffer_;
    std::unique_ptr<star_groups> own_groups_;
    star_groups* groups_;
    notices* shown_;
    bool quit_held_back_ = false;                // the quit key closed the help and is still down
    bool drawn_ = false;                        // a picture is in the buffer
    frame_state drawn_state_;                   // what it was drawn from
};

#endif
