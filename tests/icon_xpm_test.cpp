// The window icon's converter: RGBA pixels to XPM rows, read back to the same
// picture, whatever the number of colours.
#include "icon_xpm.h"
#include "test_support.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr std::uint32_t none = 0xFF000000u;        // no 24-bit colour is this

struct rgba_picture {
    int width, height;
    std::vector<unsigned char> bytes;
    void set(int x, int y, std::uint32_t rgb, unsigned char alpha)
    {
        unsigned char* p = &bytes[4 * ((size_t)y * width + x)];
        p[0] = (unsigned char)(rgb >> 16), p[1] = (unsigned char)(rgb >> 8), p[2] = (unsigned char)rgb, p[3] = alpha;
    }
};

rgba_picture blank(int width, int height) { return {width, height, std::vector<unsigned char>(4 * (size_t)width * height)}; }

// What the XPM should show: the colour where at least half opaque, else none.
std::vector<std::uint32_t> expected(const rgba_picture& p)
{
    std::vector<std::uint32_t> want;
    for (size_t i = 0; i < p.bytes.size(); i += 4)
        want.push_back(p.bytes[i + 3] < 128 ? none
                                            : (std::uint32_t)p.bytes[i] << 16 | (std::uint32_t)p.bytes[i + 1] << 8 | p.bytes[i + 2]);
    return want;
}

xpm_picture round_trip(const rgba_picture& p, std::vector<std::string>* rows_out = nullptr)
{
    const std::vector<std::string> rows = xpm_rows(p.bytes.data(), p.width, p.height);
    std::vector<const char*> text;
    for (const std::string& r : rows) text.push_back(r.c_str());
    if (rows_out) *rows_out = rows;
    return read_xpm(text.data(), none);
}

} // namespace

TEST(IconXpm, SmallPictureGivesItsRowsExactly)
{
    rgba_picture p = blank(3, 2);                       // all transparent to start
    p.set(0, 0, 0xFF0000, 255);
    p.set(1, 0, 0x00FF00, 128);                         // half opaque counts as opaque
    p.set(2, 0, 0x0000FF, 127);                         // just under half does not
    p.set(0, 1, 0xFF0000, 200);                         // the same colour, another alpha
    std::vector<std::string> rows;
    round_trip(p, &rows);
    const std::vector<std::string> want = {"3 2 3 1", "  c #FF0000", "! c #00FF00", "# c None", " !#", " ##"};
    EXPECT_EQ(rows, want);
}

TEST(IconXpm, ManyColoursTakeMoreCharactersAndReadBackTheSame)
{
    std::mt19937 random(20);
    for (int colours : {1, 93, 94, 500, 2304}) {        // 93 codes fit in one character
        SCOPED_TRACE(colours);
        rgba_picture p = blank(48, 48);
        for (int i = 0; i < 48 * 48; ++i) {
            const int c = i % colours;
            p.set(i % 48, i / 48, (std::uint32_t)c * 0x010307u & 0xFFFFFF, c == 7 ? 0 : (unsigned char)(128 + random() % 128));
        }
        std::vector<std::string> rows;
        const xpm_picture back = round_trip(p, &rows);
        ASSERT_EQ(back.width, 48);
        ASSERT_EQ(back.height, 48);
        EXPECT_EQ(back.pixels, expected(p));
        int width, height, count, chars;
        ASSERT_EQ(std::sscanf(rows[0].c_str(), "%d %d %d %d", &width, &height, &count, &chars), 4);
        EXPECT_EQ(count, colours);
        EXPECT_EQ(chars, colours <= 93 ? 1 : 2);
        for (const std::string& r : rows)
            EXPECT_EQ(r.find_first_of("\"\\"), std::string::npos) << "a row needs escaping: " << r;
    }
}

TEST(IconXpm, SourceDefinesTheNamedArray)
{
    std::ostringstream out;
    write_xpm_source(out, {"1 1 1 1", "  c #123456", " "}, "tiny_xpm", "Made for a test.");
    EXPECT_EQ(out.str(), "// Made for a test.\n"
                         "const char* tiny_xpm[] = {\n"
                         "    \"1 1 1 1\",\n"
                         "    \"  c #123456\",\n"
                         "    \" \",\n"
                         "};\n");
}
