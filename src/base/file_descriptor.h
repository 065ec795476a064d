// An open file descriptor that is closed when its owner goes: movable, not
// copyable, so that no way out of a function, a throw included, leaves a file
// open.
#ifndef STARHOP_FILE_DESCRIPTOR_H
#define STARHOP_FILE_DESCRIPTOR_H

#include <unistd.h>

class file_descriptor {
public:
    file_descriptor() = default;
    explicit file_descriptor(int fd) : fd_(fd) {}          // takes over fd; negative: none
    file_descriptor(file_descriptor&& other) noexcept : fd_(other.release()) {}
    file_descriptor& operator=(file_descriptor&& other) noexcept
    {
        if (this != &other) reset(other.release());
        return *this;
    }
    file_descriptor(const file_descriptor&) = delete;
    file_descriptor& operator=(const file_descriptor&) = delete;
    ~file_descriptor() { reset(); }

    int get() const { return fd_; }
    bool is_open() const { return fd_ >= 0; }
    // Gives the descriptor up without closing it.
    int release()
    {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    // Closes what is held, then holds fd.
    void reset(int fd = -1)
    {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }

private:
    int fd_ = -1;
};

#endif
