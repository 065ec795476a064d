// make_icon_xpm PNG OUTPUT NAME: writes C++ source to OUTPUT that defines the
// XPM image `const char* NAME[]` of the PNG picture. Exit status 2 when a file
// cannot be read or written.
#include "icon_xpm.h"

#include <fstream>
#include <iostream>
#include <png.h>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::cerr << "usage: " << argv[0] << " PNG OUTPUT NAME\n";
        return 2;
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, argv[1])) {
        std::cerr << argv[1] << ": cannot be read: " << image.message << "\n";
        return 2;
    }
    image.format = PNG_FORMAT_RGBA;
    std::vector<unsigned char> rgba(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr)) {
        std::cerr << argv[1] << ": cannot be read: " << image.message << "\n";
        return 2;
    }
    std::ofstream out(argv[2]);
    write_xpm_source(out, xpm_rows(rgba.data(), (int)image.width, (int)image.height), argv[3],
                     "Made from " + std::string(argv[1]) + " by make_icon_xpm when starhop was built.");
    if (!out.flush()) {
        std::cerr << argv[2] << ": cannot be written\n";
        return 2;
    }
    return 0;
}
