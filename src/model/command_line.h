// The command line: an optional catalog file, or a request for the help text
// or the version, read into one value. Read before the graphics library
// starts, so a mistake ends the program before any window opens.
#ifndef STARHOP_COMMAND_LINE_H
#define STARHOP_COMMAND_LINE_H

#include "engine/lens.h"
#include "model/location.h"

#include <string>

struct command_line {
    enum action_type { run, help, version, mistake };
    action_type action = run;
    std::string catalog = "stars.txt";          // looked up in the working directory
    bool catalog_named = false;                 // the catalog was named, not the default
    std::string problem;                        // mistake: what was wrong
    int width = screen_width, height = screen_height;   // --window, or the default window
    bool fullscreen = false;                    // --fullscreen
    bool at_given = false;                      // --at: start at `at`
    location at;
    bool names = false;                         // --names: star names on from the start
    std::string picture;                        // --picture: draw the first frame here and end
};

// Sizes --window accepts.
constexpr int narrowest_window = 320, widest_window = 7680;
constexpr int lowest_window = 240, highest_window = 4320;

// starhop [--window WxH] [--fullscreen] [--at LINE] [--names] [--picture FILE]
// [catalog] | --help | -h | --version; "--" ends the options, so a catalog
// whose name starts with "-" can still be given. The size also reads as
// --window=WxH. A location that cannot be read is a mistake.
command_line parse_command_line(int argc, const char* const* argv);

#endif
