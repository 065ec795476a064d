// PNG pictures: the bitmap's pixels through libpng into a file that is either
// written whole or not at all, the pictures folder and its fresh names.
#include "base/picture.h"

#include <allegro.h>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {
constexpr int most_attempts = 1000;             // names tried within one second

bool is_folder(const std::string& path)
{
    struct stat st;
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string without_trailing_slashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

std::string inside(const std::string& folder, const std::string& name)
{
    return !folder.empty() && folder.back() == '/' ? folder + name : folder + "/" + name;
}

// `path` from the root: as it is when it starts there, else under the working
// directory (as it is when that cannot be told), so a notice names the place.
std::string absolute(const std::string& path)
{
    if (!path.empty() && path[0] == '/') return path;
    char* here = getcwd(nullptr, 0);
    if (!here) return path.empty() ? "." : path;
    const std::string folder = here;
    std::free(here);
    return path.empty() || path == "." ? folder : inside(folder, path);
}

struct png_trouble {
    std::jmp_buf jump;
    int error_number = 0;                       // errno when a write failed
    char message[128] = "";
};

void on_png_error(png_structp png, png_const_charp message)
{
    png_trouble* t = (png_trouble*)png_get_error_ptr(png);
    if (t->error_number == 0) t->error_number = errno;
    std::snprintf(t->message, sizeof t->message, "%s", message);
    std::longjmp(t->jump, 1);
}
void on_png_warning(png_structp, png_const_charp) {}

// Writes the PNG into the open `out`, flushed to the disk. Returns 0, or the
// error number of what failed (EIO when libpng failed without one).
int write_to(BITMAP* bmp, std::FILE* out, std::string& problem)
{
    const int depth = bitmap_color_depth(bmp);
    std::vector<png_byte> row((std::size_t)bmp->w * 3);
    png_trouble trouble;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &trouble, on_png_error, on_png_warning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        problem = "not enough memory";
        return ENOMEM;
    }
    errno = 0;
    if (setjmp(trouble.jump)) {
        png_destroy_write_struct(&png, &info);
        problem = trouble.error_number ? std::strerror(trouble.error_number) : trouble.message;
        return trouble.error_number ? trouble.error_number : EIO;
    }
    png_init_io(png, out);
    png_set_IHDR(png, info, (png_uint_32)bmp->w, (png_uint_32)bmp->h, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < bmp->h; ++y) {
        png_byte* p = row.data();
        for (int x = 0; x < bmp->w; ++x, p += 3) {
            const int c = getpixel(bmp, x, y);
            p[0] = (png_byte)getr_depth(depth, c);
            p[1] = (png_byte)getg_depth(depth, c);
            p[2] = (png_byte)getb_depth(depth, c);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    errno = 0;
    if (std::fflush(out) != 0 || fsync(fileno(out)) != 0) {   // a full disk shows here at the latest
        const int e = errno ? errno : EIO;
        problem = std::strerror(e);
        return e;
    }
    return 0;
}

// Writes the picture through the new file `fd`, which it closes; a file that
// is not whole is removed. Returns 0 or the error number.
int write_through(BITMAP* bmp, int fd, const std::string& path, std::string& problem)
{
    std::FILE* out = fdopen(fd, "wb");
    if (!out) {
        const int e = errno;
        close(fd);
        unlink(path.c_str());
        problem = std::strerror(e);
        return e;
    }
    int e = write_to(bmp, out, problem);
    if (std::fclose(out) != 0 && e == 0) {
        e = errno ? errno : EIO;
        problem = std::strerror(e);
    }
    if (e != 0) unlink(path.c_str());           // no part of a picture stays behind
    return e;
}

// Creates `path` exclusively and writes the picture. Returns 0, or the error
// number; EEXIST: the name is taken and nothing was touched.
int create_png(BITMAP* bmp, const std::string& path, std::string& problem)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        const int e = errno;
        problem = std::strerror(e);
        return e;
    }
    return write_through(bmp, fd, path, problem);
}
} // namespace

bool write_png(BITMAP* bmp, const std::string& path, std::string& problem)
{
    std::string temporary = path + ".XXXXXX";   // beside it, so the rename stays on one disk
    const int fd = mkstemp(&temporary[0]);
    if (fd < 0) {
        problem = std::strerror(errno);
        return false;
    }
    const mode_t mask = umask(0);               // the mode a plain new file would get
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    if (write_through(bmp, fd, temporary, problem) != 0) return false;
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        problem = std::strerror(errno);
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

std::string choose_pictures_folder(const std::string& xdg_answer, const char* home)
{
    const std::string home_folder = without_trailing_slashes(home ? home : "");
    const std::string answer = without_trailing_slashes(xdg_answer);
    if (answer != home_folder && is_folder(answer)) return absolute(answer);   // the home folder: not set up
    if (!home_folder.empty()) {
        if (is_folder(inside(home_folder, "Pictures"))) return absolute(inside(home_folder, "Pictures"));
        if (is_folder(home_folder)) return absolute(home_folder);
    }
    return absolute(".");
}

std::string pictures_folder()
{
    std::string answer;
    if (std::FILE* p = popen("xdg-user-dir PICTURES 2>/dev/null", "r")) {
        char text[4096];
        if (std::fgets(text, sizeof text, p)) answer = text;
        pclose(p);
    }
    while (!answer.empty() && (answer.back() == '\n' || answer.back() == '\r')) answer.pop_back();
    return choose_pictures_folder(answer, std::getenv("HOME"));
}

std::string picture_name(const std::tm& when, int attempt)
{
    char name[64];
    const std::size_t n = std::strftime(name, sizeof name, "starhop-%Y%m%d-%H%M%S", &when);
    std::string text(name, n);
    if (attempt > 1) text += "-" + std::to_string(attempt);
    return text + ".png";
}

std::string save_picture(BITMAP* bmp, const std::string& folder, std::time_t now)
{
    std::tm when;
    localtime_r(&now, &when);
    const std::string where = absolute(folder);
    std::string problem, path;
    for (int attempt = 1; attempt <= most_attempts; ++attempt) {
        path = inside(where, picture_name(when, attempt));
        const int e = create_png(bmp, path, problem);
        if (e == 0) return "Saved " + path;
        if (e != EEXIST) break;                 // the name is taken: try the next
    }
    return "Could not save the picture as " + path + ": " + problem;
}
