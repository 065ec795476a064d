#include "model/command_line.h"

#include <cctype>
#include <cstring>
#include <string>

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

// Whether a file name ends in ".png", in any case.
static bool png_name(const char* name)
{
    const std::size_t n = std::strlen(name);
    if (n < 4) return false;
    const char* end = name + n - 4;
    return end[0] == '.' && std::tolower((unsigned char)end[1]) == 'p' && std::tolower((unsigned char)end[2]) == 'n' &&
           std::tolower((unsigned char)end[3]) == 'g';
}

command_line parse_command_line(int argc, const char* const* argv)
{
    command_line line;
    bool options = true;
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
                    if (value[0] == '\0')
                        problem = "--picture needs a file name";
                    else if (!png_name(value))                 // a PNG it would be, whatever the name says
                        problem = std::string("--picture writes a PNG file: its name must end in .png, not '") +
                                  value + "'";
                    else {
                        line.picture = value;
                        continue;
                    }
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
        if (line.catalog_named) {
            line.action = command_line::mistake;
            line.problem = std::string("only one catalog can be given, '") + a + "' is a second";
            return line;
        }
        line.catalog = a;
        line.catalog_named = true;
    }
    if (line.fullscreen && !line.picture.empty()) {     // a picture has no screen to fill
        line.action = command_line::mistake;
        line.problem = "--fullscreen cannot be used with --picture: give the picture's size with --window WxH";
    }
    return line;
}
