// What the tests share: vectors compared within a tolerance and bitmaps pixel
// for pixel, each failing at the caller's line with what differs; a catalog
// loaded from text with what it said; text compressed as gzip.
#ifndef STARHOP_TESTS_TEST_SUPPORT_H
#define STARHOP_TESTS_TEST_SUPPORT_H

#include "catalog.h"
#include "stars.h"
#include "vector.h"

#include <allegro.h>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>
#include <zlib.h>

inline ::testing::AssertionResult same_vector(vector got, vector want, float tol = 0)
{
    const vector d = got - want;
    if (std::fabs(d.x) <= tol && std::fabs(d.y) <= tol && std::fabs(d.z) <= tol)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got (" << got.x << ", " << got.y << ", " << got.z
                                         << "), want (" << want.x << ", " << want.y << ", "
                                         << want.z << "), off by " << d.x << ' ' << d.y << ' ' << d.z;
}

// Both 32-bit bitmaps of one size, every pixel alike.
inline ::testing::AssertionResult same_bitmap(BITMAP* got, BITMAP* want)
{
    if (got->w != want->w || got->h != want->h)
        return ::testing::AssertionFailure() << "sizes differ: " << got->w << "x" << got->h << " against "
                                             << want->w << "x" << want->h;
    long differ = 0;
    int fx = -1, fy = -1;
    for (int y = 0; y < got->h; ++y) {
        if (std::memcmp(got->line[y], want->line[y], got->w * sizeof(std::uint32_t)) == 0) continue;
        for (int x = 0; x < got->w; ++x)
            if (getpixel(got, x, y) != getpixel(want, x, y) && differ++ == 0) fx = x, fy = y;
    }
    if (differ == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << differ << " pixels differ, first at (" << fx << ", " << fy
                                         << "): got " << std::hex << getpixel(got, fx, fy) << ", want "
                                         << getpixel(want, fx, fy);
}

// A load's outcome: the result, the closing line, the explanations and a copy
// of every record in order (the list itself is freed).
struct catalog_load {
    int result = -1;
    std::string report, errors;
    std::vector<star_type> stars;
};

// Takes the list that starts at `head` apart into `into.stars`.
inline void keep_records(star_type& head, int result, catalog_load& into)
{
    into.result = result;
    if (result > 0) into.stars.push_back(head);
    for (star_type* s = head.next; s;) {
        star_type* next = s->next;
        into.stars.push_back(*s);
        delete s;
        s = next;
    }
    head.next = nullptr;
}

// `text` read as a stream (named stars.txt in the explanations), or as the
// file at `path` when one is given, cut into pieces of `piece_bytes` read by
// `threads` threads.
inline catalog_load load_catalog_text(const std::string& text, const char* path = nullptr, long long piece_bytes = 0,
                                      unsigned threads = 0)
{
    catalog_load l;
    star_type head;
    std::ostringstream report, errors;
    load_notes notes;
    notes.errors = &errors;
    if (piece_bytes) notes.piece_bytes = piece_bytes;
    notes.threads = threads;
    int n;
    if (path) {
        n = load_catalog(path, &head, report, notes);
    } else {
        std::istringstream in(text);
        n = load_catalog(in, &head, report, notes);
    }
    keep_records(head, n, l);
    l.report = report.str();
    l.errors = errors.str();
    return l;
}

// `text` as one gzip member.
inline std::string gzip_of(const std::string& text)
{
    z_stream z{};
    if (deflateInit2(&z, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) return std::string();
    std::string out(deflateBound(&z, (uLong)text.size()) + 64, '\0');
    z.next_in = (Bytef*)text.data();
    z.avail_in = (uInt)text.size();
    z.next_out = (Bytef*)&out[0];
    z.avail_out = (uInt)out.size();
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

#endif
