#include "command_line.h"

#include "picture.h"
#include "viewer.h"

#include <cstring>
#include <iostream>

#ifndef STARHOP_VERSION
#define STARHOP_VERSION "unknown"
#endif

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
            if (std::strcmp(a, "--names") == 0) { line.names = true; continue; }
            if (std::strcmp(a, "--at") == 0 || std::strcmp(a, "--picture") == 0) {
                if (i + 1 == argc) {
                    line.action = command_line::mistake;
                    line.problem = std::string(a) + " needs a value";
                    return line;
                }
                const char* value = argv[++i];
                if (a[2] == 'p' && value[0] == '\0') {
                    line.action = command_line::mistake;
                    line.problem = "--picture needs a file name";
                    return line;
                }
                if (a[2] == 'p') { line.picture = value; continue; }
                std::string problem;
                if (!parse_location(value, line.at, problem)) {
                    line.action = command_line::mistake;
                    line.problem = "--at: " + problem;
                    return line;
                }
                line.at_given = true;
                continue;
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
    out << "Usage: starhop [--at LINE] [--names] [--picture FILE] [catalog]\n"
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
           "  arrow keys                        turn the view, 0.1 radian a frame\n"
           "  Space, or the right mouse button  thrust forward\n"
           "  B                                 thrust backward\n"
           "  Tab                               names of the bright stars on or off\n"
           "  E                                 fly home to Earth\n"
           "  P                                 save the screen as a PNG picture in the\n"
           "                                    pictures folder\n"
           "  L                                 print the location as one line, for --at\n"
           "  F                                 fly to a star: type its name, or its first\n"
           "                                    letters, and press Enter; Backspace edits,\n"
           "                                    Esc closes the prompt. Any flight control\n"
           "                                    or E takes over from the trip.\n"
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
           "  Reading stops at the first line that cannot be read whole.\n";
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

int starhop_main(int argc, char** argv)
{
    const command_line line = parse_command_line(argc, argv);
    const int status = answer_command_line(line, std::cout, std::cerr);
    if (status >= 0) return status;
    if (!line.picture.empty()) return draw_picture(line);
    return run_viewer(line);
}
