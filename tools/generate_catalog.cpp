// generate_catalog COUNT [SEED [OUTPUT]]: writes a synthetic catalog of COUNT
// stars in the viewer's format to OUTPUT or standard output. The same COUNT
// and SEED (default 1) always give the same file. Exit status 2 on bad
// arguments or a write error.
#include "synthetic_catalog.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

static bool parse(const char* text, unsigned long long& out)
{
    char* end;
    errno = 0;
    out = std::strtoull(text, &end, 10);
    return *text != '\0' && *text != '-' && *end == '\0' && errno == 0;
}

int main(int argc, char** argv)
{
    unsigned long long count = 0, seed = 1;
    if (argc < 2 || argc > 4 || !parse(argv[1], count) || (argc > 2 && !parse(argv[2], seed))) {
        std::fprintf(stderr, "usage: %s COUNT [SEED [OUTPUT]]\n", argv[0]);
        return 2;
    }
    std::FILE* out = stdout;
    if (argc == 4 && !(out = std::fopen(argv[3], "wb"))) {
        std::fprintf(stderr, "%s: cannot be written: %s\n", argv[3], std::strerror(errno));
        return 2;
    }
    if (!write_synthetic_catalog(out, (long long)count, seed) || (out != stdout && std::fclose(out) != 0)) {
        std::fprintf(stderr, "%s: write error\n", argc == 4 ? argv[3] : "standard output");
        return 2;
    }
    return 0;
}
