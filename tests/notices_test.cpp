// Lines at the bottom of the screen: how long they stay, what a key press
// takes away, and that raw control bytes never reach the screen.
#include "app/frame_clock.h"
#include "model/notices.h"

#include <gtest/gtest.h>

TEST(Notices, TimedLinesLeaveAfterTheirTicksAndKeyLinesAtAKeyPress)
{
    notices n(ticks_per_second);
    n.show("cannot open stars.txt", 0);                      // until a key press
    n.show("Saved /tmp/a.png", 3);                            // three seconds: 150 ticks
    ASSERT_EQ(n.texts(), (std::vector<std::string>{"cannot open stars.txt", "Saved /tmp/a.png"}));
    EXPECT_FALSE(n.pass(149, false));
    EXPECT_EQ(n.texts().size(), 2u);
    EXPECT_TRUE(n.pass(1, false));                            // the 150th tick ends it
    EXPECT_EQ(n.texts(), (std::vector<std::string>{"cannot open stars.txt"}));
    EXPECT_FALSE(n.pass(100000, false));                      // time alone never ends a key line
    EXPECT_TRUE(n.pass(1, true));
    EXPECT_TRUE(n.empty());
}

TEST(Notices, ARepeatedLineReplacesTheOldOneAndRestartsItsTime)
{
    notices n(ticks_per_second);
    n.show("mode refused", 2);
    EXPECT_FALSE(n.pass(90, false));
    n.show("other", 10);
    n.show("mode refused", 2);                                // moves to the bottom, 100 ticks again
    EXPECT_EQ(n.texts(), (std::vector<std::string>{"other", "mode refused"}));
    EXPECT_FALSE(n.pass(99, false));
    EXPECT_TRUE(n.pass(1, false));
    EXPECT_EQ(n.texts(), (std::vector<std::string>{"other"}));
}

TEST(Notices, UnprintableBytesAreEscaped)
{
    notices n(ticks_per_second);
    n.show(std::string("bad \x1b[2J line", 13), 1);
    EXPECT_EQ(n.texts().at(0), "bad \\x1b[2J line");
}
