// convert_catalog SOURCE [OUTPUT]: writes the viewer's catalog format from a
// HYG or Gaia table, plain or gzip, or from the Hipparcos/Tycho source list,
// to OUTPUT or standard output, with a summary on standard error. Exit status
// 0 when every line converted, 1 when lines were bad (skipped, in the source
// list and in a table), 2 when a file cannot be read or written.
#include "catalog_convert.h"

#include "engine/load_report.h"
#include "base/text.h"

#include <cstring>
#include <fstream>
#include <iostream>

namespace {

const char* const help =
    "usage: convert_catalog SOURCE [OUTPUT]\n"
    "\n"
    "Writes SOURCE as a star catalog of starhop's own tab-separated format, to\n"
    "OUTPUT or to standard output. SOURCE is told by its content, whatever its name:\n"
    "  - a HYG database table (CSV with a header naming ra, dec, dist and mag),\n"
    "  - a Gaia archive table (CSV or ECSV naming ra, dec, parallax and\n"
    "    phot_g_mean_mag),\n"
    "  - either of them compressed with gzip,\n"
    "  - a catalog already in starhop's format (copied as it is, gzip undone),\n"
    "  - the fixed-column Hipparcos/Tycho list data/stars.txt is made from.\n"
    "A table's rows are read by the same rules as starhop reads them: rows without\n"
    "a usable distance, magnitude or position, and rows that cannot be read, are\n"
    "skipped and counted, the first five of each kind named.\n"
    "\n"
    "Exit status: 0 when everything converted, 1 when bad lines were met, 2 when a\n"
    "file cannot be read or written.\n"
    "\n"
    "Examples:\n"
    "  convert_catalog hygdata_v41.csv.gz stars.txt\n"
    "  convert_catalog gaia-query-result.csv > stars.txt\n";

} // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::cout << help;
        return 0;
    }
    if (argc < 2 || argc > 3) {
        std::cerr << "usage: " << argv[0] << " SOURCE [OUTPUT]   (--help says more)\n";
        return 2;
    }
    const std::string name = printable(argv[1]);
    std::unique_ptr<std::istream> probe = open_source(argv[1]);
    if (!probe) {
        std::cerr << name << ": cannot be read\n";
        return 2;
    }
    table_layout layout;
    long long lines_before = 0;
    const source_kind kind = recognise_source(*probe, layout, lines_before);
    probe.reset();
    std::unique_ptr<std::istream> source = open_source(argv[1]);
    if (!source) {
        std::cerr << name << ": cannot be read\n";
        return 2;
    }

    std::ofstream file;
    if (argc == 3) {
        file.open(argv[2], std::ios::binary);   // line feeds only, on every system
        if (!file) {
            std::cerr << printable(argv[2]) << ": cannot be written\n";
            return 2;
        }
    }
    std::ostream& out = argc == 3 ? file : std::cout;

    int status = 0;
    if (kind == source_kind::table) {
        std::string header;
        for (long long i = 0; i < lines_before; ++i) std::getline(*source, header);
        const table_counts counts = convert_table(*source, layout, lines_before, argv[1], out, std::cerr);
        std::cerr << counts.rows << " rows read, " << counts.lines_written << " lines written";
        for (int k = 0; k < skip_reasons; ++k)
            if (counts.skipped[k]) std::cerr << ", " << rows_skipped_text(counts.skipped[k], (skip_reason)k);
        std::cerr << '\n';
        if (counts.skipped[unreadable]) status = 1;
    } else if (kind == source_kind::ours) {
        if (source->peek() != std::char_traits<char>::eof()) out << source->rdbuf();
    } else {
        const conversion_counts counts = convert_catalog(*source, argv[1], out, std::cerr);
        std::cerr << counts.stars_read << " stars read, " << counts.lines_written << " lines written (the Sun included), "
                  << counts.no_parallax << " left out for want of a positive parallax, " << counts.named << " named, "
                  << counts.bad_lines << " bad lines skipped\n";
        if (counts.bad_lines) status = 1;
    }
    const std::string damage = source_damage(*source);
    if (!damage.empty()) {
        std::cerr << name << ": " << damage << "; what came before it is written\n";
        status = 1;
    }
    if (source->bad()) {
        std::cerr << name << ": read error\n";
        return 2;
    }
    out.flush();
    if (!out) {
        std::cerr << (argc == 3 ? printable(argv[2]) : std::string("standard output")) << ": write error\n";
        return 2;
    }
    return status;
}
