// Takes the two pictures README.md shows: runs the built starhop on the shipped
// catalog, grabs its window once the first view has settled, turns the star
// names on with Tab and grabs it again. Needs DISPLAY; scripts/screenshots.sh
// runs it under xvfb-run.
//
//   take_screenshots <start.png> <names.png>
#include "x11_driver.h"

#include <cstdio>
#include <filesystem>
#include <map>
#include <png.h>
#include <string>
#include <vector>

using namespace x11_driver;

namespace {

constexpr int    width = 640, height = 480;     // window size
constexpr int    corner_x = width - 1, corner_y = height - 1;   // pointer parked here, drawn off-screen
constexpr double start_timeout = 30;            // seconds to load the whole catalog and open
constexpr double settle_timeout = 10;           // seconds for a frame to stop changing
constexpr double key_hold = 0.3;                // the program reads the keys once a frame

bool fail(const char* what)
{
    std::fprintf(stderr, "take_screenshots: %s\n", what);
    return false;
}

// A frame that two grabs a tenth of a second apart agree on; empty when the
// window kept changing.
image steady_frame(display& x, unsigned long window)
{
    image before = x.grab(window), now;
    wait_for(settle_timeout, [&] {
        pause(0.1);
        now = x.grab(window);
        if (!now.empty() && now.pixels == before.pixels) return true;
        before = now;
        return false;
    });
    return now.pixels == before.pixels ? now : image();
}

// Writes `shot` as a palette PNG when it has at most 256 colours (a star field
// nearly always has), else as 8-bit RGB, then reads the file back and checks
// that every pixel came through.
bool write_png(const image& shot, const std::string& path)
{
    std::map<uint32_t, int> index;
    for (uint32_t p : shot.pixels)
        if (index.emplace(p, 0).second && index.size() > 256) break;
    const bool palette = index.size() <= 256;

    png_image out{};
    out.version = PNG_IMAGE_VERSION;
    out.width   = shot.width;
    out.height  = shot.height;
    std::vector<png_byte> colours, bytes;
    if (palette) {
        out.format = PNG_FORMAT_RGB_COLORMAP;
        out.colormap_entries = index.size();
        for (auto& [p, i] : index) {
            i = (int)colours.size() / 3;
            colours.insert(colours.end(), {(png_byte)(p >> 16), (png_byte)(p >> 8), (png_byte)p});
        }
        for (uint32_t p : shot.pixels) bytes.push_back((png_byte)index[p]);
    } else {
        out.format = PNG_FORMAT_RGB;
        for (uint32_t p : shot.pixels) bytes.insert(bytes.end(), {(png_byte)(p >> 16), (png_byte)(p >> 8), (png_byte)p});
    }
    if (!png_image_write_to_file(&out, path.c_str(), 0, bytes.data(), 0, palette ? colours.data() : nullptr))
        return fail(out.message);

    png_image in{};
    in.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&in, path.c_str())) return fail(in.message);
    in.format = PNG_FORMAT_RGB;
    std::vector<png_byte> back(PNG_IMAGE_SIZE(in));
    if (!png_image_finish_read(&in, nullptr, back.data(), 0, nullptr)) return fail(in.message);
    for (size_t i = 0; i < shot.pixels.size(); ++i) {
        const uint32_t p = shot.pixels[i];
        if (back[3 * i] != (png_byte)(p >> 16) || back[3 * i + 1] != (png_byte)(p >> 8) || back[3 * i + 2] != (png_byte)p)
            return fail(("the picture read back from " + path + " differs").c_str());
    }
    std::printf("%s: %dx%d, %s, %ju bytes\n", path.c_str(), shot.width, shot.height,
                palette ? (std::to_string(index.size()) + " colours").c_str() : "RGB",
                (uintmax_t)std::filesystem::file_size(path));
    return true;
}

bool take(const std::string& start_png, const std::string& names_png)
{
    display x;
    if (!x.ok()) return fail("cannot open the X display (run under xvfb-run, as scripts/screenshots.sh does)");

    // The program reads stars.txt from its working directory.
    scratch_dir dir;
    std::filesystem::copy_file(STARHOP_SOURCE_DIR "/data/stars.txt", dir.file("stars.txt"));
    process program(STARHOP_BINARY, dir);
    const unsigned long window = x.find_window("starhop", start_timeout);
    if (!window) return fail(("no starhop window appeared; stderr: " + program.err()).c_str());
    x.focus(window);

    // The program draws its own pointer, so it goes to the bottom-right corner,
    // where only its tip shows. It has to move to be seen at all: keep moving
    // it until the frame has the tip in the corner pixel.
    image start;
    if (!wait_for(settle_timeout, [&] {
            x.move_pointer(window, corner_x - 20, corner_y - 20);
            x.move_pointer(window, corner_x, corner_y);
            pause(0.1);
            start = steady_frame(x, window);
            return !start.empty() && start.at(corner_x, corner_y) != 0;
        }))
        return fail("no steady frame with the pointer in the corner");
    if (start.width != width || start.height != height) return fail("the window is not 640 by 480");

    x.hold_key("Tab", key_hold);
    image names;
    if (!wait_for(settle_timeout, [&] {
            names = steady_frame(x, window);
            return !names.empty() && names.pixels != start.pixels;
        }))
        return fail("Tab changed nothing on the screen");

    x.hold_key("Escape", key_hold);
    if (!program.wait_exit(10)) return fail("starhop still running after Esc");
    return write_png(start, start_png) && write_png(names, names_png);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: take_screenshots <start.png> <names.png>\n");
        return 2;
    }
    return take(argv[1], argv[2]) ? 0 : 1;
}
