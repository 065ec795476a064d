// The X11 bridge without a display: which library versions the frames' own
// reading of the events runs with, by the library's name for itself.
#include "base/x11_bridge.h"

#include <allegro.h>
#include <gtest/gtest.h>

TEST(EventsReading, RunsOnlyWithTheVersionItWasWrittenFor)
{
    struct { const char* library_id; const char* written_for; bool fits; } cases[] = {
        {"Allegro 4.4.3, Unix", "4.4.3", true},
        {"Allegro 4.4.3", "4.4.3", true},                        // no platform named
        {"Allegro 4.4.2, Unix", "4.4.3", false},                 // older
        {"Allegro 4.4.4, Unix", "4.4.3", false},                 // newer
        {"Allegro 4.4.30, Unix", "4.4.3", false},                // the same digits, further on
        {"Allegro 4.4.3.1, Unix", "4.4.3", false},
        {"Allegro 4.4, Unix", "4.4.3", false},
        {"Allegro 4.2.3, Unix", "4.2.3", true},                  // whatever it was written for
        {"Allegro 5.2.9, Unix", "4.4.3", false},
        {"4.4.3, Unix", "4.4.3", false},                         // not the library's name
        {"Allegro 4.4.3, Unix", "", false},                      // built without the reading
        {"", "4.4.3", false},
        {nullptr, "4.4.3", false},
    };
    for (const auto& k : cases)
        EXPECT_EQ(events_reading_fits(k.library_id, k.written_for), k.fits)
            << (k.library_id ? k.library_id : "(null)") << " for " << k.written_for;
}

// The build takes the version from the library's package; the headers it
// compiles against and the library it runs with must say the same, or the
// reading is left out.
TEST(EventsReading, TheBuildAndTheLibraryAgree)
{
    if (events_written_for[0] == '\0') {                    // built against another version
        EXPECT_FALSE(events_reading_fits(allegro_id, events_written_for));
        return;
    }
    EXPECT_STREQ(events_written_for, ALLEGRO_VERSION_STR);
    EXPECT_TRUE(events_reading_fits(allegro_id, events_written_for)) << "the library names itself " << allegro_id;
}
