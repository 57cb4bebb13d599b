// A file descriptor with an owner: closed when the object goes.
#pragma once

#include <unistd.h>

namespace tess {

class UniqueFd {
  public:
    explicit UniqueFd(int fd = -1) : fd_(fd) {}
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { reset(); }
    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    // Takes another descriptor, closing the one held.
    void adopt(int fd) {
        reset();
        fd_ = fd;
    }
    // Closes now; false when close reported an error.
    bool reset() {
        if (fd_ < 0) return true;
        const int rc = ::close(fd_);
        fd_ = -1;
        return rc == 0;
    }

  private:
    int fd_;
};

}  // namespace tess
