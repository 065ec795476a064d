// Inputs the fuzz targets found faults with, each kept as a test on the
// normal build (the inputs themselves are in the fuzz corpus as well).
#include "engine/catalog.h"
#include "engine/stars.h"

#include <gtest/gtest.h>

#include <fstream>
#include <istream>
#include <iterator>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

namespace {

// Hands out the text in the given pieces, one piece per read, as a pipe does.
class pieces : public std::streambuf {
public:
    explicit pieces(std::vector<std::string> parts) : parts_(std::move(parts)) {}

protected:
    int_type underflow() override
    {
        if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
        while (next_ < parts_.size() && parts_[next_].empty()) ++next_;
        if (next_ == parts_.size()) return traits_type::eof();
        std::string& p = parts_[next_++];
        setg(&p[0], &p[0], &p[0] + p.size());
        return traits_type::to_int_type(*gptr());
    }

private:
    std::vector<std::string> parts_;
    size_t next_ = 0;
};

struct loaded {
    star_list list;
    star_type& head = *list.first();
    int result;
    std::string report;
    std::vector<std::string> names;
    explicit loaded(std::vector<std::string> parts)
    {
        pieces source(std::move(parts));
        std::istream in(&source);
        std::ostringstream out;
        result = load_catalog(in, &head, out);
        report = out.str();
        for (const star_type* s = &head; s && names.size() <= (size_t)result; s = s->next)
            names.push_back(s->name);
    }
};

const std::string first_line = "Good\t\t1.50\t\t25.00\t\tG2V\t\t06 30 00\t\t+45 30 00";
const std::string second_line = "After\t\t4.83\t\t32.628463\t\tF5IV\t\t00 00 00\t\t-30 00 00\n";

} // namespace

// The rest of a line after its last column is skipped up to 200 characters or
// through its line feed. A rest of exactly 199 characters at the end of the
// bytes at hand made the reader step one byte past them and then run off the
// end of its buffer (found by load_fuzz: a file of "1<tab>" repeated, whose
// lines read out of step and end in 200-character skips).
TEST(FuzzRegression, RestOfLineAtTheSkipLimit)
{
    for (size_t rest : {198u, 199u, 200u}) {
        SCOPED_TRACE(rest);
        const std::string tail = "\t" + std::string(rest - 1, 'y');

        loaded alone({first_line + tail});                       // the input ends there
        EXPECT_EQ(alone.result, 1);
        EXPECT_EQ(alone.report, "Fail after reading Good at Distance 25\n");

        // More follows, in a second piece: the line feed counts among the 200;
        // where it falls just past them, it is left as a line of its own, an
        // empty one, and passed over.
        const std::string want = "After";
        for (const std::vector<std::string>& parts :
             {std::vector<std::string>{first_line + tail + "\n" + second_line},
              std::vector<std::string>{first_line + tail, "\n" + second_line},
              std::vector<std::string>{first_line, tail, "\n", second_line}}) {
            loaded l(parts);
            EXPECT_EQ(l.result, 2) << parts.size() << " pieces";
            ASSERT_EQ(l.names.size(), 2u);
            EXPECT_EQ(l.names[0], "Good");
            EXPECT_EQ(l.names[1], want);
            EXPECT_EQ(l.report, "Fail after reading " + want + " at Distance 32.6285\n");
        }
    }
}

// The input the fuzzer found it with, read whole and in two pieces.
TEST(FuzzRegression, FuzzerInputForTheSkipLimit)
{
    std::ifstream file(STARHOP_SOURCE_DIR "/fuzz/corpus/load/regression_rest_at_skip_limit.txt",
                       std::ios::binary);
    ASSERT_TRUE(file.is_open());
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    loaded whole({text});
    loaded halves({text.substr(0, text.size() / 2), text.substr(text.size() / 2)});
    EXPECT_GT(whole.result, 0);
    EXPECT_EQ(halves.result, whole.result);
    EXPECT_EQ(halves.report, whole.report);
    EXPECT_EQ(halves.names, whole.names);
}
