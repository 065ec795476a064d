// Text for messages: escaped bytes, quoted fields, thousands separators.
#include "base/text.h"

#include <gtest/gtest.h>

TEST(Text, UnprintableBytesAreEscaped)
{
    EXPECT_EQ(printable("plain text ~"), "plain text ~");
    EXPECT_EQ(printable(std::string("a\x01" "b\tc\n\x7f\xe9", 8)), "a\\x01b\\x09c\\x0a\\x7f\\xe9");
}

TEST(Text, QuotedTextIsCutAfterItsLengthButNeverInsideACharacter)
{
    const struct { std::string text, want; } cases[] = {
        {"", "\"\""},
        {"Sirius", "\"Sirius\""},
        {std::string(quoted_length, 'x'), "\"" + std::string(quoted_length, 'x') + "\""},
        {std::string(quoted_length + 1, 'x'), "\"" + std::string(quoted_length, 'x') + "...\""},
        // A two-byte character across the cut is left out whole.
        {std::string(quoted_length - 1, 'x') + "\xc3\xa9" "z", "\"" + std::string(quoted_length - 1, 'x') + "...\""},
        {"tab\there", "\"tab\\x09here\""},
    };
    for (const auto& c : cases) EXPECT_EQ(quoted(c.text), c.want) << c.text;
}

TEST(Text, ThousandsAreSeparated)
{
    const struct { long long n; const char* want; } whole[] = {
        {0, "0"}, {999, "999"}, {1000, "1,000"}, {1234567, "1,234,567"}, {-1234, "-1,234"},
        {-9223372036854775807 - 1, "-9,223,372,036,854,775,808"},
    };
    for (const auto& c : whole) EXPECT_EQ(with_thousands(c.n), c.want);
    const struct { const char* digits; const char* want; } decimal[] = {
        {"2.5", "2.5"}, {"2500", "2,500"}, {"12345.6", "12,345.6"}, {"999999.99", "999,999.99"},
    };
    for (const auto& c : decimal) EXPECT_EQ(with_thousands(std::string(c.digits)), c.want);
}
