// The viewer application: start-up, the camera and its flight controls, and
// the frame loop. The entry function in main.cpp hands the command line to
// starhop_main (command_line.h), which calls run_viewer.
#ifndef STARHOP_VIEWER_H
#define STARHOP_VIEWER_H

#include "lens.h"
#include "vector.h"

#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

struct BITMAP;
class notices;
class star_type;
class star_groups;
class traveller;

// Text lines from the top: the four status lines 10 pixels apart, then the
// fly-to target line. The prompt keeps its place above the bottom.
constexpr int text_line_height = 10;
constexpr int status_top_row   = 10;
constexpr int status_lines     = 4;
constexpr int target_row       = status_top_row + status_lines * text_line_height;
int prompt_row_of(const BITMAP* buffer);

// The screen asked for on the command line: a window of a size, or the
// desktop's resolution in full screen (F11 switches between the two).
struct screen_choice {
    int width = screen_width, height = screen_height;  // the window
    bool fullscreen = false;
};

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
    int last_mouse_z = 0;                       // wheel position in the last frame
    bool wheel_seen = false;                    // last_mouse_z holds one
    int steps_held = 0;                         // zoom and exposure keys down in the last frame
    int show_names = 0;
    int done = 0;
    lens optics;                                // screen, zoom and exposure
};

// One frame's update from the library's keyboard and mouse state: return home,
// move, damp, then E, Esc, thrust, Tab (waits for its release), drag, arrows,
// then the zoom (wheel, = and -, keypad + and -) and the exposure (] and [),
// one step per press or notch. Turns scale with the focal length, so a drag
// or an arrow moves the stars by as many pixels at every size and zoom.
// With `keys` 0 the keyboard controls do not act (the prompt has the keys);
// the mouse still does.
void update_camera(camera& c, int keys = 1);
// Leaves in c.view the matrix that carries a catalog point into view space.
void build_view(camera& c);
// Draws one frame into `buffer`, through the camera's lens: every star in list
// order, then the status text.
// With `travel`, also its target line and prompt. With `groups` (made from the
// same list), only the stars that can show are visited, with the same pixels.
// With `shown`, its lines at the bottom of the screen, above an open prompt.
void draw_frame(const camera& c, star_type* first_star, int star_count, BITMAP* buffer,
                const traveller* travel = nullptr, star_groups* groups = nullptr,
                const notices* shown = nullptr);
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
// `text` cut at spaces into lines that fit the screen beside its margin; a
// word longer than a line is cut where the line ends.
std::vector<std::string> screen_lines(const std::string& text);

// Starts the library, loads the catalog, opens the window (or the full
// screen) and runs the frame loop until Esc or the window's close button.
// Returns the process exit status: 0 after a normal end, 1 when the graphics
// could not be started.
int run_viewer(const char* catalog_name, const screen_choice& choice = screen_choice());

#endif
