// An owned descriptor is closed exactly once, by its last owner.
#include "base/file_descriptor.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace {

bool is_open(int fd) { return fcntl(fd, F_GETFD) != -1; }

int new_descriptor() { return ::open("/dev/null", O_RDONLY | O_CLOEXEC); }

TEST(FileDescriptor, ClosedByItsLastOwnerOnly)
{
    int fd = new_descriptor();
    ASSERT_GE(fd, 0);
    {
        file_descriptor owner(fd);
        EXPECT_TRUE(owner.is_open());
        EXPECT_EQ(owner.get(), fd);
    }
    EXPECT_FALSE(is_open(fd));                                  // gone with its owner

    fd = new_descriptor();
    {
        file_descriptor moved;
        {
            file_descriptor owner(fd);
            moved = std::move(owner);
            EXPECT_FALSE(owner.is_open());
        }
        EXPECT_TRUE(is_open(fd));                               // the first owner gave it on
        file_descriptor constructed(std::move(moved));
        EXPECT_EQ(constructed.get(), fd);
    }
    EXPECT_FALSE(is_open(fd));

    fd = new_descriptor();
    const int other = new_descriptor();
    {
        file_descriptor owner(fd);
        owner.reset(other);                                     // the one held before is closed
        EXPECT_FALSE(is_open(fd));
        EXPECT_EQ(owner.release(), other);
    }
    EXPECT_TRUE(is_open(other));                                // released: not closed
    ::close(other);

    const file_descriptor none(-1);                             // a failed open
    EXPECT_FALSE(none.is_open());
}

} // namespace
