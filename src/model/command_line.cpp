#include "model/command_line.h"

#include <cctype>
#include <cstring>
#include <string>
#include <iostream>

#ifndef STARHOP_VERSION
#define STARHOP_VERSION "unknown"
#endif

// A window size: digits, 'x', digits, within the sizes accepted; false and
// nothing written otherwise.
static bool read_size(const char* text, int* width, int* height)
{
    long v[2] = {0, 0};
    const char* p = text;
    for (int i = 0; i < 2; ++i) {
        if (!std::isdigit((unsigned char)*p)) return false;
        for (; std::isdigit((unsigned char)*p); ++p) {
            v[i] = v[i] * 10 + (*p - '0');
            if (v[i] > 100000) return false;                    // far past any size, and no overflow
        }
        if (i == 0 && *p++ != 'x') return false;
    }
    if (*p != '\0') return false;
    if (v[0] < narrowest_window || v[0] > widest_window || v[1] < lowest_window || v[1] > highest_window) return false;
    *width = (int)v[0];
    *height = (int)v[1];
    return true;
}

command_line parse_command_line(int argc, const char* const* argv)
{
    command_line line;
    bool options = true, named = false;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (options && std::strcmp(a, "--") == 0) { options = false; continue; }
        if (options && a[0] == '-' && a[1] != '\0') {          // a lone "-" is a file name
            if (std::strcmp(a, "--help") == 0 || std::strcmp(a, "-h") == 0) {
                line.action = command_line::help;
                return line;
            }
            if (std::strcmp(a, "--version") == 0) {
                line.action = command_line::version;
                return line;
            }
            if (std::strcmp(a, "--fullscreen") == 0) {
                line.fullscreen = true;
                continue;
            }
            if (std::strcmp(a, "--window") == 0 || std::strncmp(a, "--window=", 9) == 0) {
                const char* size = a[8] == '=' ? a + 9 : i + 1 < argc ? argv[++i] : nullptr;
                if (!size) {
                    line.action = command_line::mistake;
                    line.problem = "--window needs a size, such as --window 1920x1080";
                    return line;
                }
                if (!read_size(size, &line.width, &line.height)) {
                    line.action = command_line::mistake;
                    line.problem = std::string("the window size '") + size + "' is not WxH with W from " +
                                   std::to_string(narrowest_window) + " to " + std::to_string(widest_window) +
                                   " and H from " + std::to_string(lowest_window) + " to " +
                                   std::to_string(highest_window);
                    return line;
                }
                continue;
            }
            if (std::strcmp(a, "--names") == 0) { line.names = true; continue; }
            if (std::strcmp(a, "--at") == 0 || std::strcmp(a, "--picture") == 0) {
                if (i + 1 == argc) {
                    line.action = command_line::mistake;
                    line.problem = std::string(a) + " needs a value";
                    return line;
                }
                const char* value = argv[++i];
                std::string problem;
                if (std::strcmp(a, "--picture") == 0) {
                    if (value[0] != '\0') { line.picture = value; continue; }
                    problem = "--picture needs a file name";
                } else {
                    if (parse_location(value, line.at, problem)) { line.at_given = true; continue; }
                    problem = "--at: " + problem;
                }
                line.action = command_line::mistake;
                line.problem = problem;
                return line;
            }
            line.action = command_line::mistake;
            line.problem = std::string("unknown option '") + a + "'";
            return line;
        }
        if (named) {
            line.action = command_line::mistake;
            line.problem = std::string("only one catalog can be given, '") + a + "' is a second";
            return line;
        }
        line.catalog = a;
        named = true;
    }
    return line;
}

void start_camera(camera& c, const command_line& line)
{
    if (line.at_given) place_camera(c, line.at);
    c.show_names = line.names;
}

const char* program_version() { return STARHOP_VERSION; }

void write_usage(std::ostream& out)
{
    out << "Usage: starhop [--window WxH | --fullscreen] [--at LINE] [--names] [--picture FILE] [catalog]\n"
           "       starhop --help | --version\n";
}

void write_help(std::ostream& out)
{
    write_usage(out);
    out << "\n"
           "Fly among the stars of a catalog in three dimensions. The catalog is the\n"
           "file named on the command line, or stars.txt in the working directory.\n"
           "\n"
           "Options:\n"
           "  --window WxH   open a window of W by H pixels (W 320 to 7680, H 240 to\n"
           "                 4320); without it, 640 by 480\n"
           "  --fullscreen   fill the screen at the desktop's resolution\n"
           "  -h, --help     show this text and exit\n"
           "  --version      show the version and exit\n"
           "  --at LINE      start at a location printed by L, at rest, with or without\n"
           "                 its first word: starhop-at:1 X,Y,Z F1,F2,F3 D1,D2,D3\n"
           "                 zoom=K exposure=E speed=S\n"
           "  --names        start with the names of the bright stars on\n"
           "  --picture FILE draw the first frame into the PNG file FILE and exit,\n"
           "                 without a window or a display\n"
           "\n"
           "Controls:\n"
           "  drag with a mouse button held     turn the view\n"
           "  arrow keys                        turn the view (0.1 radian a frame at the\n"
           "                                    start; less when zoomed in)\n"
           "  mouse wheel, = and -, keypad + -  zoom in and out, one step a notch or press\n"
           "                                    (from half to 1024 times the start)\n"
           "  ] and [                           exposure up and down by half a magnitude\n"
           "                                    (-4 to +6): fainter stars come out or go\n"
           "  F11                               switch between the window and full screen\n"
           "  Space, or the right mouse button  thrust forward\n"
           "  B                                 thrust backward\n"
           "  PgUp, PgDn                        speed level up or down (-4 to +4): ten\n"
           "                                    times the thrust a step\n"
           "  Tab                               names of the bright stars on or off\n"
           "  E                                 fly home to Earth, from anywhere within\n"
           "                                    a few seconds; ends a trip and clears its\n"
           "                                    target line\n"
           "  F1, or ?                          show or hide the list of controls\n"
           "  P                                 save the screen as a PNG picture in the\n"
           "                                    pictures folder\n"
           "  L                                 print the location as one line, for --at\n"
           "  F                                 fly to a star: type its name, or its first\n"
           "                                    letters, and press Enter; Backspace edits,\n"
           "                                    Esc closes the prompt. When names are\n"
           "                                    listed, Up and Down choose one, Enter flies\n"
           "                                    to it and typing on narrows the list. Any\n"
           "                                    flight control or E ends the trip.\n"
           "  click a star (left button)        mark it and show its name, class, distance\n"
           "                                    and magnitudes at the top right; a click on\n"
           "                                    no star clears it\n"
           "  G                                 fly to the star clicked, as F and its name\n"
           "                                    would\n"
           "  Esc, or the close button          quit\n"
           "\n"
           "Catalog format:\n"
           "  Plain text, one star per line, no header. Eleven columns separated by\n"
           "  single tabs; columns 2, 4, 6, 8 and 10 are not read:\n"
           "   1  name, at most 24 characters\n"
           "   3  apparent magnitude seen from Earth, such as -1.44\n"
           "   5  distance from Earth in light years\n"
           "   7  spectral class; its first letter (O B A F G K M W) colours bright stars\n"
           "   9  right ascension: hours minutes seconds, such as 06 45 08.92\n"
           "  11  declination: signed degrees arcminutes arcseconds, such as -16 42 58.0\n"
           "  Blank lines are passed over; reading stops at the first line that cannot\n"
           "  be read whole.\n"
           "  Also read as they come, told by their content: HYG database tables (CSV\n"
           "  naming ra, dec, dist, mag) and Gaia archive tables (CSV or ECSV naming ra,\n"
           "  dec, parallax, phot_g_mean_mag), and any of these compressed with gzip.\n";
}

int answer_command_line(const command_line& line, std::ostream& out, std::ostream& err)
{
    switch (line.action) {
    case command_line::run:
        return -1;
    case command_line::help:
        write_help(out);
        return 0;
    case command_line::version:
        out << "starhop " << program_version() << "\n";
        return 0;
    case command_line::mistake:
        break;
    }
    err << "starhop: " << line.problem << "\n";
    write_usage(err);
    err << "Try 'starhop --help' for the controls and the catalog format.\n";
    return 2;
}
