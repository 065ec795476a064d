// The loader reads bytes in memory with its own number parser; here it must
// agree with the stream-based reader kept in reference_loader.h on every
// record (name and class byte for byte, floats bit for bit), the result and
// the closing line: for the shipped catalog, hostile catalogs, numbers spelt
// every which way, and thousands of randomly damaged catalogs, delivered whole
// and in pieces of a few bytes, and read from a file cut into pieces that
// several threads read at once.
#include "engine/catalog.h"
#include "engine/stars.h"
#include "reference_loader.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

namespace {

// A list as a loader left it: the records' bytes, the result and the closing line.
struct load_result {
    int result = -1;
    std::string report;
    std::vector<std::string> records;                             // the bytes every loader fills
};

std::string record_bytes(const star_type& s)
{
    std::string b(s.name, sizeof s.name);
    b.append(s.spectral_class, sizeof s.spectral_class);
    const float values[] = {s.position.x, s.position.y, s.position.z, s.abs_magnitude};
    b.append(reinterpret_cast<const char*>(values), sizeof values);
    return b;
}

load_result collect(const star_list& list, int result, const std::string& report)
{
    load_result r;
    r.result = result;
    r.report = report;
    for (const star_type* s = list.first(); s; s = s->next) r.records.push_back(record_bytes(*s));
    return r;
}

load_result by_reference(const std::string& text)
{
    star_list list;
    std::istringstream in(text);
    std::ostringstream report;
    const int n = reference::load_catalog(in, list.first(), report);
    return collect(list, n, report.str());
}

load_result by_loader(const std::string& text)
{
    star_list list;
    std::istringstream in(text);
    std::ostringstream report;
    const int n = load_catalog(in, list.first(), report);
    return collect(list, n, report.str());
}

load_result by_loader_in_pieces(const std::string& text, unsigned seed)
{
    star_list list;
    trickle pieces(text, seed);
    std::istream in(&pieces);
    std::ostringstream report;
    const int n = load_catalog(in, list.first(), report);
    return collect(list, n, report.str());
}

// The explanation the stream reader gives on standard error, for the text
// whole or handed out a few bytes at a time.
std::string explained_by_stream(const std::string& text, unsigned trickle_seed = 0)
{
    star_list list;
    std::istringstream whole(text);
    trickle pieces(text, trickle_seed);
    std::istream trickled(&pieces);
    std::ostringstream report, errors;
    load_notes notes;
    notes.source_name = "pieces.txt";
    notes.errors = &errors;
    load_catalog(trickle_seed ? trickled : whole, list.first(), report, notes);
    return errors.str();
}

// From a file cut into pieces of `piece_bytes`, read by `threads` threads.
load_result by_file_in_pieces(const std::string& text, long long piece_bytes, unsigned threads, std::string& errors)
{
    const temp_file file(text);
    star_list list;
    std::ostringstream report, explained;
    load_notes notes;
    notes.source_name = "pieces.txt";
    notes.errors = &explained;
    notes.piece_bytes = piece_bytes;
    notes.threads = threads;
    const int n = load_catalog(file.path(), list.first(), report, notes);
    errors = explained.str();
    return collect(list, n, report.str());
}

std::string printable(const std::string& s)
{
    std::string out;
    for (unsigned char c : s) {
        if (c == '\t') out += "\\t";
        else if (c == '\n') out += "\\n";
        else if (c < 32 || c > 126) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        } else out += (char)c;
    }
    return out.size() > 400 ? out.substr(0, 400) + "..." : out;
}

::testing::AssertionResult same(const load_result& got, const load_result& want)
{
    if (got.result != want.result)
        return ::testing::AssertionFailure() << "result " << got.result << ", want " << want.result;
    if (got.report != want.report)
        return ::testing::AssertionFailure() << "closing line \"" << got.report << "\", want \"" << want.report << '"';
    if (got.records.size() != want.records.size())
        return ::testing::AssertionFailure() << got.records.size() << " records, want " << want.records.size();
    for (size_t i = 0; i < got.records.size(); ++i)
        if (got.records[i] != want.records[i])
            return ::testing::AssertionFailure() << "record " << i << " differs: \"" << printable(got.records[i])
                                                 << "\", want \"" << printable(want.records[i]) << '"';
    return ::testing::AssertionSuccess();
}

// Whole, in pieces, and from a file read by several threads: all must read
// as the stream reader does, and the file must be explained as the stream is.
::testing::AssertionResult loads_alike(const std::string& text, unsigned seed = 1)
{
    const load_result want = by_reference(text);
    ::testing::AssertionResult whole = same(by_loader(text), want);
    if (!whole) return whole << " (read whole) for \"" << printable(text) << '"';
    ::testing::AssertionResult pieces = same(by_loader_in_pieces(text, seed), want);
    if (!pieces) return pieces << " (read in pieces) for \"" << printable(text) << '"';
    const long long piece_bytes[] = {1, 2, 3, 7, 20, 64, 199, 1000, 1 << 20};
    const long long piece = piece_bytes[seed % 9];
    const unsigned threads = 1 + seed % 4;
    std::string errors;
    ::testing::AssertionResult file = same(by_file_in_pieces(text, piece, threads, errors), want);
    if (!file) return file << " (file in pieces of " << piece << ", " << threads << " threads) for \"" << printable(text) << '"';
    const std::string explained = explained_by_stream(text);
    if (errors != explained)
        return ::testing::AssertionFailure() << "explained \"" << errors << "\", want \"" << explained
                                             << "\" (file in pieces of " << piece << ", " << threads << " threads) for \""
                                             << printable(text) << '"';
    if (explained_by_stream(text, seed + 1) != explained)         // what it quotes does not hang on the refills
        return ::testing::AssertionFailure() << "explained \"" << explained_by_stream(text, seed + 1)
                                             << "\" when read in pieces, want \"" << explained << "\" for \""
                                             << printable(text) << '"';
    return ::testing::AssertionSuccess();
}

const std::string good = good_line("Good");

} // namespace

TEST(CatalogExact, ShippedCatalogThroughStreamAndFileName)
{
    const std::string path = STARHOP_SOURCE_DIR "/data/stars.txt";
    const std::string text = file_text(path);
    ASSERT_GT(text.size(), 1000000u);
    const load_result want = by_reference(text);
    EXPECT_GT(want.result, 100000);
    EXPECT_TRUE(same(by_loader(text), want));
    EXPECT_TRUE(same(by_loader_in_pieces(text, 5), want));

    star_list list;
    const catalog_load said = load_catalog_file(path, list);
    EXPECT_TRUE(same(collect(list, said.result, said.report), want));
    EXPECT_EQ(said.errors, "");                                   // it ends cleanly

    for (const long long piece : {4096LL, 65536LL, 1LL << 20}) {
        std::string explained;
        EXPECT_TRUE(same(by_file_in_pieces(text, piece, 3, explained), want)) << "pieces of " << piece;
        EXPECT_EQ(explained, "");
    }
}

TEST(CatalogExact, HostileCatalogs)
{
    const std::string nul(1, '\0');
    const std::string example = file_text(STARHOP_SOURCE_DIR "/tests/worked_example.txt");
    std::string crlf;
    for (char c : example) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    std::string numbers_only, lines_without_tabs;
    while (numbers_only.size() < (1u << 20)) numbers_only += "1\t";
    while (lines_without_tabs.size() < (1u << 20)) lines_without_tabs += "a line without any tab\n";
    const std::string cases[] = {
        "", "\n", "\t", "\n\n\n", "   ", "\r\n", nul, std::string(4096, '\0'),
        example, example.substr(0, example.size() - 1), crlf, crlf.substr(0, crlf.size() - 2),
        example + "\n", example + "\n\n", example + "\t", example + " ",
        catalog_line("", "1", "2", "G", "1 2 3", "4 5 6"),
        catalog_line(std::string(24, 'n'), "1", "2", "G", "1 2 3", "4 5 6"),
        catalog_line(std::string(25, 'n'), "1", "2", "G", "1 2 3", "4 5 6"),
        catalog_line(std::string(500, 'n'), "1", "2", "G", "1 2 3", "4 5 6") + good,
        std::string(40, 'n') + "G2V\t\t06 30 00\t\t+45 30 00\n" + good,
        catalog_line("K", "1", "2", "K", "1 2 3", "4 5 6"),
        catalog_line("ABC", "1", "2", "ABCDEFGHIJKLMNOP", "1 2 3", "4 5 6"),
        catalog_line("Thousand", "1", "2", std::string(1000, 'q'), "1 2 3", "4 5 6") + good,
        catalog_line("Words", "1", "2", "MZ" + std::string(998, 'q') + " and more", "1 2 3", "4 5 6") + good,
        good + catalog_line("", "", "", "", "", ""), good + catalog_line("Bad", "", "7.5", "G2V", "06 30 00", "+45 30 00"),
        good + catalog_line("Bad", "1.0", "7.5", "G2V", "06 30 00", "") + good,
        good + catalog_line("Bad", "1.0", "7.5", "", "06 30 00", "+45 30 00") + good,
        good + catalog_line("Bad", "1e39", "7.5", "G2V", "06 30 00", "+45 30 00") + good,
        good + catalog_line("Bad", "nan", "7.5", "G2V", "06 30 00", "+45 30 00") + good,
        good + catalog_line("Bad", "inf", "7.5", "G2V", "06 30 00", "+45 30 00") + good,
        good + catalog_line("Bad", "-", "7.5", "G2V", "06 30 00", "+45 30 00") + good,
        good + catalog_line("Bad", "1.0", "7.5", "G2V", "06 30 00", "+45 30 1e39") + good,
        good + "Bad\t\t1.0\t\t7.5\t\tG2V\t\t06 30 00\t\t+45 30", good + "Bad\t\t1.0\t\t7.5\t\tG2V",
        good + "Bad\t\t1.0\t\t7.5\t\tG2V\t\t06 30 00\t\t+45 30 00",
        good.substr(0, good.size() - 1) + std::string(300, 'x') + "\n" + good,
        good.substr(0, good.size() - 1) + "\t" + std::string(199, 'x') + "\n" + good,
        good.substr(0, good.size() - 1) + "\t" + std::string(198, 'x') + "\n" + good,
        catalog_line("A" + nul + "b", "1", "2", "G" + nul + "V", "1 2 3", "4 5 6") + catalog_line("N", nul, "2", "G", "1 2 3", "4 5 6"),
        catalog_line("Skip", "1", "2", "G", "1 2 3", "4 5 6").insert(5, nul) + good,
        "Sep\t" + std::string(99, 'x') + "\t1\t\t2\t\tG\t\t1 2 3\t\t4 5 6\n" + good,
        "Sep\t" + std::string(100, 'x') + "\t1\t\t2\t\tG\t\t1 2 3\t\t4 5 6\n" + good,
        "Sep\t" + std::string(101, 'x') + "\t1\t\t2\t\tG\t\t1 2 3\t\t4 5 6\n" + good,
        "Cols\t\t1" + std::string(98, 'y') + "\t\t2\t\tG\t\t1 2 3\t\t4 5 6\n" + good,
        "Cols\t\t1" + std::string(99, 'y') + "\t\t2\t\tG\t\t1 2 3\t\t4 5 6\n" + good,
        "Cols\t\t1" + std::string(100, 'y') + "\t\t2\t\tG\t\t1 2 3\t\t4 5 6\n" + good,
        std::string(1 << 20, 'x'), lines_without_tabs, numbers_only,
        good.substr(0, good.size() - 1) + "\t" + std::string(1 << 20, 'y'),
        "\v\f\r Lead\t\t \v\f\r1\t\t\n\n2\t\t\r\rG\t\t1\n2\r3\t\t4\v5\f6\r\n" + good,
    };
    int n = 0;
    for (const std::string& text : cases) EXPECT_TRUE(loads_alike(text, ++n)) << "case " << n;
}

// Every column that holds a number, with tokens that test what counts as a
// number and how it rounds: signs, points, exponents, leading zeros, long
// mantissas, halfway between two floats and a hair either side, the edges of
// the float range.
TEST(CatalogExact, NumbersReadAsTheStreamReadsThem)
{
    std::vector<std::string> tokens = {
        "0", "-0", "+0", "00", "000.000", ".5", "5.", "-.5", "+.5", ".", "-", "+", "-.", "+-1", "--1", "1e",
        "1E", "1e+", "1e-", "1e5", "1E5", "1e+5", "1e-5", "1.e5", ".e5", "e5", "1e5e", "1e5.5", "1.2.3",
        "0x10", "0X1p3", "nan", "NaN", "-nan", "inf", "-inf", "infinity", "1e38", "3.4028234e38",
        "3.4028235e38", "3.40282356e38", "3.4028236e38", "-3.4028236e38", "1e39", "1e-38", "1.17549435e-38",
        "1e-40", "1.4e-45", "7e-46", "8e-46", "1e-46", "1e-50", "1e-500", "1e500", "-1e500",
        "1e0000000000000000000001", "1e-0000000000000000000045", "0e999999", "123456789012345678901234567890",
        "0.000000000000000000000000000000000000000000001", "16777217", "16777219", "33554435", "1.5mag",
        "12abc", "7.5,3", "1,5", "\xef\xbc\x91", "\xc2\xa0" "1", "32.628463", "0.000015813", "59.9",
        "99999999999999999999", "9007199254740993", "1.000000059604644775390625",
        "1.000000059604644775390624", "1.000000059604644775390626", "4.2e1", "420e-1",
    };
    std::mt19937 rng(314159);
    auto pick = [&](const char* alphabet) { return alphabet[rng() % std::strlen(alphabet)]; };
    for (int i = 0; i < 2000; ++i) {                              // halfway between neighbours
        const float f = std::ldexp((float)(rng() % (1u << 24)), (int)(rng() % 60) - 30);
        const double half = ((double)f + (double)std::nextafter(f, INFINITY)) / 2;
        char text[128];
        std::snprintf(text, sizeof text, "%.60g", half);
        tokens.push_back(text);
        tokens.push_back(std::string(text) + "000001");
        for (int digits : {9, 15, 16, 17}) {                      // a short decimal whose nearest
            std::snprintf(text, sizeof text, "%.*g", digits, half);   // double may be the halfway one
            tokens.push_back(text);
        }
    }
    for (int i = 0; i < 3000; ++i) {                              // random spellings
        std::string t;
        const int length = 1 + rng() % 12;
        for (int k = 0; k < length; ++k) t += pick("0123456789012345678901234567890123456789..eE+-x ");
        tokens.push_back(t);
    }
    int n = 0;
    for (const std::string& t : tokens) {
        ++n;
        const int column = n % 8;                                 // which of the eight numbers
        std::string f[8] = {"1.50", "25.00", "06", "30", "00", "+45", "30", "00"};
        f[column] = t;
        const std::string text = catalog_line("N", f[0], f[1], "G2V", f[2] + " " + f[3] + " " + f[4],
                                      f[5] + " " + f[6] + " " + f[7]);
        ASSERT_TRUE(loads_alike(good + text + good, n)) << "token \"" << printable(t) << '"';
    }
}

// Lines of the shipped catalog and of the hostile cases, damaged at random:
// bytes replaced, inserted, deleted, spans doubled or cut, the end cut off.
TEST(CatalogExact, RandomlyDamagedCatalogs)
{
    std::vector<std::string> lines;
    {
        std::istringstream shipped(file_text(STARHOP_SOURCE_DIR "/data/stars.txt"));
        std::string l;
        for (int i = 0; i < 200 && std::getline(shipped, l); ++i) lines.push_back(l + "\n");
        std::istringstream example(file_text(STARHOP_SOURCE_DIR "/tests/worked_example.txt"));
        while (std::getline(example, l)) lines.push_back(l + "\n");
    }
    ASSERT_GT(lines.size(), 200u);
    std::mt19937 rng(27182818);
    const std::string alphabet = std::string("\t\t\t\n\n\r   0123456789..eE+-x") + '\0' + "nai";
    auto any = [&](size_t n) { return n ? (size_t)(rng() % n) : 0; };
    int loaded_something = 0;
    for (int round = 0; round < 4000; ++round) {
        std::string text;
        for (int k = 1 + any(12); k > 0; --k) text += lines[any(lines.size())];
        for (int k = 1 + any(6); k > 0; --k) {
            const size_t at = any(text.size() + 1);
            switch (any(6)) {
            case 0: if (at < text.size()) text[at] = alphabet[any(alphabet.size())]; break;
            case 1: text.insert(at, 1, alphabet[any(alphabet.size())]); break;
            case 2: if (at < text.size()) text.erase(at, 1 + any(3)); break;
            case 3: if (at < text.size()) text.insert(at, text.substr(at, 1 + any(30))); break;
            case 4: if (at < text.size()) text[at] = (char)any(256); break;
            case 5: if (any(4) == 0) text.resize(at); break;
            }
        }
        const load_result want = by_reference(text);
        loaded_something += want.result > 0;
        ASSERT_TRUE(loads_alike(text, round)) << "round " << round;
    }
    EXPECT_GT(loaded_something, 2000);                            // the damage left work to compare
}
