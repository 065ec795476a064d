// The viewer application's start: the entry function in main.cpp hands the
// command line to starhop_main, which answers it, or runs the viewer, or
// draws the first frame into a picture for --picture. Here too is the
// display with its F11 switch; the frames are paced by the frame clock.
#ifndef STARHOP_APP_H
#define STARHOP_APP_H

#include "engine/lens.h"

#include <iosfwd>
#include <memory>
#include <string>

struct command_line;
class notices;
class star_type;
class star_groups;

// The screen asked for on the command line: a window of a size, or the
// desktop's resolution in full screen (F11 switches between the two).
struct screen_choice {
    int width = screen_width, height = screen_height;  // the window
    bool fullscreen = false;
};

const char* program_version();
void write_usage(std::ostream& out);
// The usage, the options, the controls (from the controls table) and the
// catalog format.
void write_help(std::ostream& out);

// Answers a command line that does not ask to run: help or version on `out`
// (status 0), a mistake and the usage on `err` (status 2). Returns -1 when
// the viewer is to run.
int answer_command_line(const command_line& line, std::ostream& out, std::ostream& err);

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

// The folder the build installs its catalog in (the configured data folder),
// read when no catalog is named and the working directory holds no
// stars.txt; empty for a build that names none. The catalog file in it.
const char* installed_catalog_folder();
std::string installed_catalog();
// Why a catalog named on the command line cannot be read at all (it cannot be
// opened, or it is a directory), naming it; empty when it can be.
std::string named_catalog_problem(const std::string& file);
// Why the catalog `file`, read through, gave no star: binary data, an empty
// file, or lines none of which reads as a star (also said of a pipe, which
// cannot be read twice); the loader's lines tell more.
std::string no_star_reason(const std::string& file);

// Starts the library, loads the catalog, opens the window (or the full
// screen) the command line asks for and runs the frame loop from its start
// (--at, --names) until Esc or the window's close button. Returns the process
// exit status: 0 after a normal end, 1 when the graphics could not be started
// or a catalog named gave no star (before any window opens).
int run_viewer(const command_line& line);
// --picture: loads the catalog, draws the viewer's first frame into a memory
// bitmap of the window's size and writes it to the picture file, without a
// display. Returns the exit status: 0 when written, 1 when not, and when the
// catalog gave no star to draw.
int draw_picture(const command_line& line);

// The whole program behind the entry function.
int starhop_main(int argc, char** argv);

#endif
