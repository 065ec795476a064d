// starhop-convert SOURCE [OUTPUT]: writes the viewer's catalog format from a
// HYG or Gaia table, plain or gzip, or from the Hipparcos/Tycho source list,
// to OUTPUT or standard output, with a summary on standard error. Exit status
// 0 when every line converted, 1 when lines were bad (skipped, in the source
// list and in a table), 2 when a file cannot be read or written or SOURCE is
// no catalog. OUTPUT is written under a name of its own beside it and
// renamed when done, so a failure leaves no file and an old OUTPUT whole.
#include "catalog_convert.h"

#include "engine/load_report.h"
#include "base/text.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iostream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* const help =
    "usage: starhop-convert SOURCE [OUTPUT]\n"
    "\n"
    "Writes SOURCE as a star catalog of starhop's own tab-separated format, to\n"
    "OUTPUT or to standard output. SOURCE is told by its content, whatever its name:\n"
    "  - a HYG database table (CSV with a header naming ra, dec, dist and mag),\n"
    "  - a Gaia archive table (CSV or ECSV naming ra, dec, parallax and\n"
    "    phot_g_mean_mag),\n"
    "  - either of them compressed with gzip,\n"
    "  - a catalog already in starhop's format (copied as it is, gzip undone),\n"
    "  - the fixed-column Hipparcos/Tycho list data/stars.txt is made from.\n"
    "Anything else is refused, and so are an empty file and a directory, with a\n"
    "message naming the file, the line to blame and why; nothing is written then.\n"
    "A table's rows are read by the same rules as starhop reads them: rows without\n"
    "a usable distance, magnitude or position, and rows that cannot be read, are\n"
    "skipped and counted, the first five of each kind named.\n"
    "\n"
    "Exit status: 0 when everything converted, 1 when bad lines were met, 2 when a\n"
    "file cannot be read or written or SOURCE is not a catalog. OUTPUT is only\n"
    "replaced once the conversion is done.\n"
    "\n"
    "Examples:\n"
    "  starhop-convert hygdata_v41.csv.gz stars.txt\n"
    "  starhop-convert gaia-query-result.csv > stars.txt\n";

// The output file: written under a fresh name beside it, then renamed over
// it when the conversion is done, or removed. A name that is there and is
// not a regular file (/dev/null, a pipe) is written into directly.
class output_file {
public:
    explicit output_file(const std::string& path) : path_(path)
    {
        struct stat there;
        if (stat(path.c_str(), &there) == 0 && !S_ISREG(there.st_mode)) {
            file_.open(path, std::ios::binary);
            return;
        }
        const std::size_t slash = path.rfind('/');
        const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
        const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
        for (int n = 0; n < 100 && scratch_.empty(); ++n) {
            const std::string name = folder + "." + base + "." + std::to_string(getpid()) + "." + std::to_string(n);
            const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);   // the umask applies
            if (fd >= 0) {
                ::close(fd);
                scratch_ = name;
            } else if (errno != EEXIST) {
                return;
            }
        }
        if (!scratch_.empty()) file_.open(scratch_, std::ios::binary);   // line feeds only, on every system
    }
    ~output_file() { discard(); }
    output_file(const output_file&) = delete;
    output_file& operator=(const output_file&) = delete;

    std::ofstream& stream() { return file_; }
    bool opened() const { return file_.is_open(); }

    // Puts the written file in its place; false when that fails.
    bool keep()
    {
        file_.close();
        if (scratch_.empty()) return bool(file_);
        const bool kept = file_ && std::rename(scratch_.c_str(), path_.c_str()) == 0;
        if (kept) scratch_.clear();
        return kept;
    }
    void discard()
    {
        if (file_.is_open()) file_.close();
        if (!scratch_.empty()) std::remove(scratch_.c_str());
        scratch_.clear();
    }

private:
    std::string path_, scratch_;
    std::ofstream file_;
};

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
    struct stat input;
    if (stat(argv[1], &input) == 0 && S_ISDIR(input.st_mode)) {
        std::cerr << name << ": is a directory, not a catalog; nothing written\n";
        return 2;
    }
    std::unique_ptr<std::istream> probe = open_source(argv[1]);
    if (!probe) {
        std::cerr << name << ": cannot be read\n";
        return 2;
    }
    table_layout layout;
    long long lines_before = 0;
    refusal refused;
    const source_kind kind = recognise_source(*probe, layout, lines_before, refused);
    if (probe->bad()) {
        std::cerr << name << ": read error\n";
        return 2;
    }
    probe.reset();
    if (kind == source_kind::refused) {
        std::cerr << name;
        if (refused.line) std::cerr << ':' << refused.line;
        std::cerr << ": " << refused.reason << "; nothing written\n";
        return 2;
    }
    std::unique_ptr<std::istream> source = open_source(argv[1]);
    if (!source) {
        std::cerr << name << ": cannot be read\n";
        return 2;
    }

    std::unique_ptr<output_file> file;
    if (argc == 3) {
        file.reset(new output_file(argv[2]));
        if (!file->opened()) {
            std::cerr << printable(argv[2]) << ": cannot be written\n";
            return 2;
        }
    }
    std::ostream& out = file ? file->stream() : std::cout;

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
    if (!out || (file && !file->keep())) {
        std::cerr << (argc == 3 ? printable(argv[2]) : std::string("standard output")) << ": write error\n";
        return 2;
    }
    return status;
}
