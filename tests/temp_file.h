// A file of given text under /tmp for the length of a test, removed again
// however the test ends.
#ifndef STARHOP_TESTS_TEMP_FILE_H
#define STARHOP_TESTS_TEMP_FILE_H

#include <stdexcept>
#include <string>
#include <unistd.h>

class temp_file {
public:
    explicit temp_file(const std::string& text)
    {
        const int fd = mkstemp(path_);
        const bool written = fd >= 0 && write(fd, text.data(), text.size()) == (ssize_t)text.size();
        if (fd >= 0) close(fd);
        if (!written) throw std::runtime_error(std::string("cannot write ") + path_);
    }
    ~temp_file() { unlink(path_); }
    temp_file(const temp_file&) = delete;
    temp_file& operator=(const temp_file&) = delete;

    const char* path() const { return path_; }

private:
    char path_[32] = "/tmp/starhop-test-XXXXXX";
};

#endif
