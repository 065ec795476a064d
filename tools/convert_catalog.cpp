// convert_catalog SOURCE [OUTPUT]: writes the viewer's stars.txt from the
// Hipparcos/Tycho source list, to OUTPUT or standard output, and a summary
// on standard error. Exit status 0 when every line converted, 1 when bad
// source lines were skipped, 2 when a file cannot be read or written.
#include "catalog_convert.h"

#include <fstream>
#include <iostream>

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3) {
        std::cerr << "usage: " << argv[0] << " SOURCE [OUTPUT]\n";
        return 2;
    }
    std::ifstream source(argv[1]);
    if (!source) {
        std::cerr << argv[1] << ": cannot be read\n";
        return 2;
    }
    std::ofstream file;
    if (argc == 3) {
        file.open(argv[2], std::ios::binary);   // line feeds only, on every system
        if (!file) {
            std::cerr << argv[2] << ": cannot be written\n";
            return 2;
        }
    }
    std::ostream& out = argc == 3 ? file : std::cout;

    const conversion_counts counts = convert_catalog(source, argv[1], out, std::cerr);
    if (source.bad()) {
        std::cerr << argv[1] << ": read error\n";
        return 2;
    }
    out.flush();
    if (!out) {
        std::cerr << (argc == 3 ? argv[2] : "standard output") << ": write error\n";
        return 2;
    }
    std::cerr << counts.stars_read << " stars read, " << counts.lines_written << " lines written (the Sun included), "
              << counts.no_parallax << " left out for want of a positive parallax, " << counts.named << " named, "
              << counts.bad_lines << " bad lines skipped\n";
    return counts.bad_lines ? 1 : 0;
}
