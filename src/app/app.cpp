// The program's start: the command line answered, the library started, the
// catalog loaded, the screen opened and the frames run at the timer's pace
// until the end; or, for --picture, the first frame drawn into a file.
#include "app/app.h"

#include "app/controls.h"
#include "app/frame.h"
#include "app/frame_clock.h"
#include "app/overlay.h"
#include "base/file_descriptor.h"
#include "base/text.h"
#include "engine/catalog.h"
#include "model/command_line.h"
#include "model/location.h"
#include "model/notices.h"
#include "base/picture.h"
#include "engine/star_groups.h"
#include "engine/stars.h"
#include "base/pointer.h"
#include "base/x11_bridge.h"

#include <allegro.h>
#include <algorithm>
#include <signal.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <iostream>
#include <malloc.h>
#include <memory>
#include <new>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#ifndef STARHOP_VERSION
#define STARHOP_VERSION "unknown"
#endif
#ifndef STARHOP_DATA_DIR
#define STARHOP_DATA_DIR ""                     // a build that names no installed folder
#endif

static volatile sig_atomic_t close_requested = 0;

static void close_button() { close_requested = 1; }
// A request to end from outside (kill, the end of the session, Ctrl+C in a
// terminal) ends as the close button does. The library's own handler shuts
// down inside the signal and can hang there on the display's lock.
static void end_requested(int) { close_requested = 1; }

namespace {

// The screen, its back buffer of the same size, and the two modes F11
// switches between: the window asked for and the desktop's full screen.
class display {
public:
    explicit display(const screen_choice& choice) : window_w_(choice.width), window_h_(choice.height) {}
    ~display()
    {
        if (buffer_) destroy_bitmap(buffer_);
    }
    display(const display&) = delete;
    display& operator=(const display&) = delete;

    // Opens the mode asked for; a refused full screen falls back to the
    // window, with a line in `said`. False when no mode opened at all.
    bool open(bool fullscreen, notices& said)
    {
        if (fullscreen && enter(true, said)) return true;
        return enter(false, said);
    }
    // The other mode; where it is refused, back to this one and a line in `said`.
    // False only when neither could be set again.
    bool toggle(notices& said)
    {
        const bool was_full = full_;
        if (enter(!was_full, said)) return true;
        return enter(was_full, said);
    }
    BITMAP* buffer() const { return buffer_; }

private:
    int window_w_, window_h_;
    bool full_ = false;
    BITMAP* buffer_ = nullptr;

    bool enter(bool fullscreen, notices& said)
    {
        int w = window_w_, h = window_h_;
        if (fullscreen && get_desktop_resolution(&w, &h) != 0) {
            said.show("Full screen is not available: the desktop's size is not known.", refusal_seconds);
            return false;
        }
        const mode_change changing;
        if (set_gfx_mode(fullscreen ? GFX_AUTODETECT_FULLSCREEN : GFX_AUTODETECT_WINDOWED, w, h, 0, 0) != 0) {
            char line[200];
            std::snprintf(line, sizeof line, "The %s of %dx%d was refused%s%s", fullscreen ? "full screen" : "window",
                          w, h, allegro_error[0] ? ": " : ".", allegro_error);
            said.show(line, refusal_seconds);
            return false;
        }
        full_ = fullscreen;
        if (!buffer_ || buffer_->w != SCREEN_W || buffer_->h != SCREEN_H) {
            if (buffer_) destroy_bitmap(buffer_);
            buffer_ = create_bitmap(SCREEN_W, SCREEN_H);
            if (!buffer_) return false;
        }
        set_window_title("starhop");
        set_close_button_callback(close_button);
        return true;
    }
    static constexpr unsigned refusal_seconds = 5;
};

} // namespace

// Runs frames until Esc or the window's close button. Returns false when a
// switch of the screen mode left no screen to draw on.
static bool run_frames(star_type* first_star, int star_count, display& screen_of, star_groups* groups,
                       notices& said, const command_line& line)
{
    frame_loop loop(first_star, star_count, screen_of.buffer(), groups, &said, false);
    loop.travel.start_names();                  // the window's prompt searches them; a picture needs none
    loop.start(line);
    frame_rate rate;
    frame_input in;
    unsigned ticks_then = ticks;
    constexpr unsigned visibility_ticks = ticks_per_second / 5;
    unsigned checked_at = ~0u;
    const events_read_by_frames events;
    bool pointer_shown = false;                 // over the picture on the screen
    while (!loop.done()) {
        events.read();
        read_input(in);
        if (acts(in, act::switch_screen, false)) {   // also while the prompt is open
            const bool switched = screen_of.toggle(said);
            if (!switched) return false;
            loop.use_buffer(screen_of.buffer());
        }
        const unsigned now = ticks;
        said.pass(now - ticks_then, in.press_count > 0);
        ticks_then = now;
        if (now / visibility_ticks != checked_at) {   // a few times a second: one round trip to the display
            checked_at = now / visibility_ticks;
            loop.hidden = !window_shown();
        }
        const bool drawn = loop.step(in, now);
        if (close_requested) loop.quit = true;  // the close button ends as Esc does
        while (!countready) wait_for_tick();    // at most one frame per tick
        const unsigned tick = ticks;            // before the flag is taken, so a tick that
        countready = 0;                         // lands in between is counted, not shown
        BITMAP* const buffer = screen_of.buffer();
        const bool pointer = pointer_over_window();   // a pointer that comes or goes shows the picture again
        if (drawn || pointer != pointer_shown) show_picture(buffer, screen, pointer, in.pointer_x, in.pointer_y);
        pointer_shown = pointer;
        ++framecounter;                         // paced frames, drawn or not
        rate.frame_shown(tick);
    }
    return true;
}

const char* const no_groups_message =
    "starhop: not enough memory to group the stars; every frame walks the whole list (the same picture, slower)";

std::unique_ptr<star_groups> make_star_groups(star_type* first_star, int star_count, std::ostream& errors,
                                              notices* shown)
{
    try {
        // The list is complete: index it once.
        return std::make_unique<star_groups>(first_star, true, (std::size_t)std::max(star_count, 0) + 1);
    } catch (const std::bad_alloc&) {
        errors << no_groups_message << std::endl;
        if (shown)
            for (const std::string& line : screen_lines(no_groups_message)) shown->show(line, load_message_seconds);
        return nullptr;
    }
}

void show_load_messages(const std::string& said, int star_count, notices& shown)
{
    try {
        std::istringstream lines(said);
        for (std::string line; std::getline(lines, line);)
            for (const std::string& part : screen_lines(line)) shown.show(part, star_count > 0 ? load_message_seconds : 0);
    } catch (const std::bad_alloc&) {}                          // at the very edge of memory: standard error only
}

namespace {

// Passes what is written on to another stream and keeps a copy, as much as
// memory allows: the copy is cut short before the stream misses a word.
class copying_buffer : public std::streambuf {
public:
    explicit copying_buffer(std::ostream& to) : to_(to) { text.reserve(4096); }
    std::string text;

protected:
    int overflow(int ch) override
    {
        if (ch == traits_type::eof()) return traits_type::not_eof(ch);
        const char c = (char)ch;
        xsputn(&c, 1);
        return ch;
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override
    {
        to_.write(s, n);
        try {
            text.append(s, (std::size_t)n);
        } catch (const std::bad_alloc&) {}                      // standard error has it all the same
        return n;
    }
    int sync() override { return to_.flush() ? 0 : -1; }

private:
    std::ostream& to_;
};

} // namespace

const char* installed_catalog_folder() { return STARHOP_DATA_DIR; }

std::string installed_catalog()
{
    const std::string folder = installed_catalog_folder();
    return folder.empty() ? std::string() : folder + "/" + command_line().catalog;   // the default name
}

std::string named_catalog_problem(const std::string& file)
{
    const std::string cannot_open = "cannot open the catalog " + printable(file) + ": ";
    struct stat about;
    if (::stat(file.c_str(), &about) != 0) return cannot_open + std::strerror(errno);
    if (S_ISDIR(about.st_mode)) return "the catalog " + printable(file) + " is a directory, not a file";
    if (!S_ISREG(about.st_mode)) return std::string();        // a pipe is opened once, by the load
    const file_descriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.is_open()) return cannot_open + std::strerror(errno);
    return std::string();
}

std::string no_star_reason(const std::string& file)
{
    const std::string generic = "no star could be read from the catalog " + printable(file);
    struct stat about;
    if (::stat(file.c_str(), &about) != 0 || !S_ISREG(about.st_mode)) return generic;   // a pipe is read once
    std::ifstream in(file, std::ios::binary);
    std::string head(64 << 10, '\0');
    in.read(&head[0], (std::streamsize)head.size());
    head.resize((std::size_t)in.gcount());
    const bool more = in.peek() != std::ifstream::traits_type::eof();
    const bool compressed = head.size() >= 2 && (unsigned char)head[0] == 0x1f && (unsigned char)head[1] == 0x8b;
    if (!compressed && head.find('\0') != std::string::npos)
        return printable(file) + " is not a star catalog: it holds binary data";
    if (head.empty() && !more) return "the catalog " + printable(file) + " holds no star: the file is empty";
    if (!more && head.find_first_not_of(" \t\r\n\f\v") == std::string::npos)
        return "the catalog " + printable(file) + " holds no star: only blank lines";
    return generic;
}

namespace {

// The catalog a start reads: the one named, else stars.txt in the working
// directory, else the installed one; and what to say about the choice.
struct catalog_choice {
    std::string file;
    std::string before;                         // said before the load
    std::string after;                          // said after it
};

catalog_choice choose_catalog(const command_line& line)
{
    catalog_choice choice;
    choice.file = line.catalog;
    if (line.catalog_named) return choice;
    struct stat about;
    if (::stat(line.catalog.c_str(), &about) == 0 || errno != ENOENT) return choice;   // there, if unreadable
    const std::string installed = installed_catalog();
    if (!installed.empty() && ::stat(installed.c_str(), &about) == 0) {
        choice.file = installed;
        choice.before = "No " + line.catalog + " in the working directory: reading " + printable(installed);
        return choice;
    }
    choice.after = "No catalog: looked for " + line.catalog + " in the working directory" +
                   (installed.empty() ? std::string() : " and for " + printable(installed)) +
                   "; name one on the command line: starhop FILE";
    return choice;
}

} // namespace

// Loads the catalog the command line asks for into the list after
// `first_star`. What the load explains goes to standard error and, for a user
// started from the desktop with no terminal, onto the screen as well. A
// named catalog that gave no star is said on standard error, and ends the
// start: -1.
static int load_shown(const command_line& line, star_type* first_star, notices& shown)
{
    const catalog_choice choice = choose_catalog(line);
    copying_buffer said(std::cerr);
    std::ostream errors(&said);
    if (!choice.before.empty()) errors << choice.before << std::endl;
    load_notes notes;
    notes.source_name = choice.file.c_str();
    notes.errors = &errors;
    if (isatty(STDERR_FILENO)) notes.progress = &std::cerr;
    const int star_count = load_catalog(choice.file.c_str(), first_star, std::cout, notes);
    if (star_count == 0 && line.catalog_named) {
        std::cerr << "starhop: " << no_star_reason(choice.file) << std::endl;
        return -1;
    }
    if (!choice.after.empty()) errors << choice.after << std::endl;
    errors.flush();
    show_load_messages(said.text, star_count, shown);
    return star_count;
}

// A named catalog that cannot be read at all ends the start before the
// graphics library does: false, said on standard error.
static bool named_catalog_opens(const command_line& line)
{
    if (!line.catalog_named) return true;
    const std::string problem = named_catalog_problem(line.catalog);
    if (problem.empty()) return true;
    std::cerr << "starhop: " << problem << std::endl;
    return false;
}

int draw_picture(const command_line& line)
{
    if (!named_catalog_opens(line)) return 1;
    if (install_allegro(SYSTEM_NONE, &errno, atexit) != 0) {
        std::fprintf(stderr, "starhop: cannot start the graphics library: %s\n", allegro_error);
        return 1;
    }
    set_color_depth(32);
    BITMAP* buffer = create_bitmap(line.width, line.height);
    if (!buffer) {
        std::fprintf(stderr, "starhop: not enough memory for a picture of %d by %d pixels\n", line.width, line.height);
        return 1;
    }
    notices shown(ticks_per_second);
    star_list stars;
    star_type* const first_star = stars.first();
    const int star_count = load_shown(line, first_star, shown);
    if (star_count <= 0) {
        if (star_count == 0)
            std::fprintf(stderr, "starhop: no star to draw, so the picture %s was not written\n",
                         printable(line.picture).c_str());
        destroy_bitmap(buffer);
        return 1;
    }
    const std::unique_ptr<star_groups> groups = make_star_groups(first_star, star_count, std::cerr, &shown);
    {
        // The viewer's first frame: no key, no button, the pointer nowhere drawn.
        frame_loop loop(first_star, star_count, buffer, groups.get(), &shown, false);
        loop.start(line);
        loop.step(frame_input(), 0);
    }
    std::string problem;
    const bool written = write_png(buffer, line.picture, problem);
    destroy_bitmap(buffer);
    if (written) return 0;
    std::fprintf(stderr, "starhop: cannot write the picture %s: %s\n", printable(line.picture).c_str(),
                 problem.c_str());
    return 1;
}

int run_viewer(const command_line& line)
{
    if (!named_catalog_opens(line)) return 1;
    screen_choice choice;
    choice.width = line.width;
    choice.height = line.height;
    choice.fullscreen = line.fullscreen;
    if (allegro_init() != 0) {
        std::fprintf(stderr, "starhop: cannot start the graphics library, no display could be opened%s%s\n",
                     allegro_error[0] ? ": " : "", allegro_error);
        return 1;
    }
    end_when_display_lost();
    struct sigaction ending = {};
    ending.sa_handler = end_requested;
    sigemptyset(&ending.sa_mask);
    for (int signal_number : {SIGTERM, SIGINT, SIGHUP}) sigaction(signal_number, &ending, nullptr);
    install_keyboard();
    install_timer();
    start_frame_clock();
    install_mouse();
    watch_input_events();
    const int depth = desktop_color_depth();
    set_color_depth(depth != 0 ? depth : 32);                  // 0 means unknown

    notices shown(ticks_per_second);
    star_list stars;
    star_type* const first_star = stars.first();
    const int star_count = load_shown(line, first_star, shown);
    if (star_count < 0) return 1;                               // before any window
    const std::unique_ptr<star_groups> groups = make_star_groups(first_star, star_count, std::cerr, &shown);
    malloc_trim(0);                                             // what the load and the groups freed goes back

    claim_window();                                             // class and icon, before the window is made
    display screen_of(choice);
    if (!screen_of.open(choice.fullscreen, shown)) {
        allegro_message("Couldn't create graphics viewport.\n");
        return 1;
    }
    if (!screen_of.buffer()) {
        allegro_message("Couldn't create output bitmap. (Not enough memory?)\n");
        return 1;
    }
    if (!run_frames(first_star, star_count, screen_of, groups.get(), shown, line)) {
        std::fprintf(stderr, "starhop: the screen mode could not be set again after a switch was refused\n");
        return 1;
    }
    return 0;
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
           "file named on the command line, or stars.txt in the working directory,\n"
           "else the installed " << installed_catalog() << ".\n"
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
           "  --picture FILE draw the first frame into the PNG file FILE (a name ending\n"
           "                 in .png) and exit, without a window or a display; not\n"
           "                 with --fullscreen\n"
           "\n"
           "Controls:\n";
    for (const std::string& line : control_lines()) out << line << "\n";
    out << "\n"
           "Catalog format:\n"
           "  Plain text, one star per line, no header. Eleven columns separated by\n"
           "  single tabs; columns 2, 4, 6, 8 and 10 are not read:\n"
           "   1  name, at most " << star_name_length << " characters\n"
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

int starhop_main(int argc, char** argv)
{
    const command_line line = parse_command_line(argc, argv);
    const int status = answer_command_line(line, std::cout, std::cerr);
    if (status >= 0) return status;
    if (!line.picture.empty()) return draw_picture(line);
    return run_viewer(line);
}
