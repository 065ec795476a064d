// The viewer application: start-up, the frame loop and what a frame draws.
// The entry function in main.cpp hands the command line to starhop_main
// (command_line.h), which calls run_viewer, or draw_picture for --picture.
#ifndef STARHOP_VIEWER_H
#define STARHOP_VIEWER_H

#include "model/camera.h"
#include "base/input.h"
#include "engine/lens.h"
#include "model/selection.h"
#include "model/travel.h"
#include "base/vector.h"

#include <atomic>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

struct BITMAP;
struct command_line;
class notices;
class star_type;
class star_groups;

// Text lines from the top: the four status lines 10 pixels apart, then the
// fly-to target line, and the help a line below that.
constexpr int text_line_height = 10;
constexpr int status_top_row   = 10;
constexpr int status_lines     = 4;
constexpr int target_row       = status_top_row + status_lines * text_line_height;
constexpr int help_top_row     = target_row + 2 * text_line_height;

// The prompt keeps its place above the bottom.
int prompt_row_of(const BITMAP* buffer);

// The screen asked for on the command line: a window of a size, or the
// desktop's resolution in full screen (F11 switches between the two).
struct screen_choice {
    int width = screen_width, height = screen_height;  // the window
    bool fullscreen = false;
};
class selection;

// Set to 1 by the timer every 20 ms; the frame loop waits for it before it
// shows a frame, then sets it back to 0. The timer runs on the library's
// timer thread: the values it shares with the frame loop are lock-free atomics.
extern std::atomic<int> countready;
extern std::atomic<int> framecounter;           // frames shown so far
extern std::atomic<int> fps;                    // frames shown in the last second
void timerfunc();

// Draws one frame into `buffer`, through the camera's lens: every star in list
// order, then the status text.
// With `travel`, also its target line and prompt. With `groups` (made from the
// same list), only the stars that can show are visited, with the same pixels.
// With `shown`, its lines at the bottom of the screen, above an open prompt.
// With `picked`, a click waiting there is answered from the stars drawn, and
// the star picked is marked and described.
void draw_frame(const camera& c, star_type* first_star, int star_count, BITMAP* buffer,
                const traveller* travel = nullptr, star_groups* groups = nullptr,
                const notices* shown = nullptr, selection* picked = nullptr);
// Star groups for the whole list, or null when memory runs out while they
// are made: then `errors` is told so, and so is `shown`.
std::unique_ptr<star_groups> make_star_groups(star_type* first_star, int star_count, std::ostream& errors,
                                              notices* shown);
// What the program says when the groups cannot be made.
extern const char* const no_groups_message;
// How long what the load said stays on the screen after the first frame.
constexpr unsigned load_message_seconds = 10;
// Each line of `said` shown on the screen: for load_message_seconds, or
// until the first key press when no star was loaded.
void show_load_messages(const std::string& said, int star_count, notices& shown);
// `text` cut at spaces into lines that fit a screen `width` pixels wide
// beside its margin; a word longer than a line is cut where the line ends.
std::vector<std::string> screen_lines(const std::string& text, int width = screen_width);
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
    std::vector<std::string> notices_shown;     // the lines at the bottom
    const star_type* selected = nullptr;        // marked, and described at the top right
    bool click_waiting = false;                 // the next picture answers a click

    bool operator==(const frame_state& o) const;
    bool operator!=(const frame_state& o) const { return !(*this == o); }
};
frame_state state_of(const camera& c, const frame_input& in, const traveller& travel, const notices* shown,
                     const selection& picked);

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
    // One frame on `in`, with `tick` timer ticks counted so far: the prompt,
    // the camera, the trip, the view and, when something changed since the
    // last picture drawn, a new picture. L prints the location on
    // `locations`; P saves the picture in `pictures` (the user's pictures
    // folder when empty). Returns whether it drew one; never while `hidden`.
    bool step(const frame_input& in, unsigned tick);
    bool done() const { return c.done != 0; }
    // A new back buffer (the screen mode changed): the lens takes its size,
    // and the next frame is drawn whatever else changed.
    void use_buffer(BITMAP* buffer);

    camera c;
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
    bool drawn_ = false;                        // a picture is in the buffer
    frame_state drawn_state_;                   // what it was drawn from
};


// How long the lines L and P show stay on the screen.
constexpr unsigned location_seconds = 5, saved_seconds = 3;

// Starts the library, loads the catalog, opens the window (or the full
// screen) the command line asks for and runs the frame loop from its start
// (--at, --names) until Esc or the window's close button. Returns the process
// exit status: 0 after a normal end, 1 when the graphics could not be started.
int run_viewer(const command_line& line);
// --picture: loads the catalog, draws the viewer's first frame into a memory
// bitmap of the window's size and writes it to the picture file, without a
// display. Returns the exit status: 0 when written, 1 when not.
int draw_picture(const command_line& line);

#endif
