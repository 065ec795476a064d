// The star record: what a fresh record holds, and how star_set fills the name
// and class fields byte by byte.
#include "engine/stars.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <new>
#include <string>

namespace {

// The field compared byte for byte with `want` padded by zeros to its size.
::testing::AssertionResult field_is(const char* field, size_t size, const std::string& want)
{
    std::string padded = want;
    padded.resize(size, '\0');
    for (size_t i = 0; i < size; ++i)
        if (field[i] != padded[i])
            return ::testing::AssertionFailure() << "byte " << i << " is " << int(field[i])
                                                 << ", want " << int(padded[i]);
    return ::testing::AssertionSuccess();
}

// A record built where garbage was, as a heap block may hold it.
struct dirty_record {
    alignas(star_type) unsigned char storage[sizeof(star_type)];
    star_type* record;
    dirty_record()
    {
        std::memset(storage, 0x5A, sizeof storage);
        record = new (storage) star_type;
    }
};

} // namespace

TEST(StarRecordDefault, UnfilledAndNeverDrawable)
{
    dirty_record d;
    const star_type& s = *d.record;
    EXPECT_TRUE(field_is(s.name, sizeof s.name, ""));
    EXPECT_TRUE(field_is(s.spectral_class, sizeof s.spectral_class, ""));
    EXPECT_TRUE(same_vector(s.position, vector(0, 0, 0)));
    EXPECT_TRUE(same_vector(s.view_position, vector(0, 0, 0)));
    EXPECT_TRUE(std::isnan(s.abs_magnitude));               // so nothing ever draws it
    EXPECT_EQ(s.next, nullptr);                              // a list of one ends here
}

TEST(StarRecordSet, NameIsCopiedWholeAndZeroFilled)
{
    dirty_record d;
    star_type& s = *d.record;
    const std::string n24 = "ABCDEFGHIJKLMNOPQRSTUVWX";
    s.star_set(n24.c_str(), 1, vector(1, 2, 3), "G2V");
    EXPECT_TRUE(field_is(s.name, sizeof s.name, n24));       // terminator in the 25th byte

    s.star_set("Vega", 1, vector(1, 2, 3), "A0V");           // no tail of the longer name left
    EXPECT_TRUE(field_is(s.name, sizeof s.name, "Vega"));
    s.star_set("", 1, vector(1, 2, 3), "A0V");
    EXPECT_TRUE(field_is(s.name, sizeof s.name, ""));
    s.star_set(std::string("Ab\0cd", 5).c_str(), 1, vector(1, 2, 3), "A0V");
    EXPECT_TRUE(field_is(s.name, sizeof s.name, "Ab"));      // a NUL ends the name
}

TEST(StarRecordSet, OverlongNameStaysTerminated)
{
    for (size_t length : {25u, 26u, 40u, 500u}) {
        SCOPED_TRACE(length);
        std::string text(length, 'n');
        text[0] = 'F';
        dirty_record d;
        star_type& s = *d.record;
        s.star_set(text.c_str(), 2, vector(0, 0, 0), "K");
        EXPECT_TRUE(field_is(s.name, sizeof s.name, text.substr(0, 24)));
        EXPECT_EQ(std::strlen(s.name), 24u);
        EXPECT_TRUE(field_is(s.spectral_class, 3, "K"));     // the next field is untouched
    }
}

TEST(StarRecordSet, ClassKeepsThreeBytesWithoutTerminator)
{
    dirty_record d;
    star_type& s = *d.record;
    s.star_set("A", 0, vector(0, 0, 0), "G2V");
    EXPECT_TRUE(field_is(s.spectral_class, 3, "G2V"));
    s.star_set("A", 0, vector(0, 0, 0), "K");
    EXPECT_TRUE(field_is(s.spectral_class, 3, "K"));         // K then two zero bytes
    s.star_set("A", 0, vector(0, 0, 0), "");
    EXPECT_TRUE(field_is(s.spectral_class, 3, ""));
    s.star_set("A", 0, vector(0, 0, 0), "K1III");
    EXPECT_TRUE(field_is(s.spectral_class, 3, "K1I"));
    s.star_set("A", 0, vector(0, 0, 0), "M5");
    EXPECT_TRUE(field_is(s.spectral_class, 3, "M5"));
    s.star_set("A", 0, vector(0, 0, 0), std::string("G\0V", 3).c_str());
    EXPECT_TRUE(field_is(s.spectral_class, 3, "G"));         // stops at a NUL, zero-fills
    EXPECT_TRUE(field_is(s.name, sizeof s.name, "A"));        // the class never spills over
}

TEST(StarRecordSet, SecondSetReplacesAllButViewAndNext)
{
    dirty_record d;
    star_type& s = *d.record;
    star_type follower;
    s.star_set("First Star Name", 1.5f, vector(1, 2, 3), "G2V");
    s.view_position = vector(7, 8, 9);
    s.next = &follower;
    s.star_set("Second", -0.25f, vector(-4, 5, -6), "K");
    EXPECT_TRUE(field_is(s.name, sizeof s.name, "Second"));
    EXPECT_TRUE(field_is(s.spectral_class, 3, "K"));
    EXPECT_EQ(s.abs_magnitude, -0.25f);
    EXPECT_TRUE(same_vector(s.position, vector(-4, 5, -6)));
    EXPECT_TRUE(same_vector(s.view_position, vector(7, 8, 9)));
    EXPECT_EQ(s.next, &follower);
}
