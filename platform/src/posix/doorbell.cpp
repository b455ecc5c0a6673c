// Doorbells: descriptors a thread sleeping in poll() can be woken through.
#include "internal.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#ifdef __linux__
#  include <sys/eventfd.h>
#endif

namespace twplat {
namespace {

#ifndef __linux__
bool set_flags(int fd)
{
    int fd_flags = fcntl(fd, F_GETFD);
    int fl_flags = fcntl(fd, F_GETFL);
    return fd_flags >= 0 && fl_flags >= 0 && fcntl(fd, F_SETFD, fd_flags | FD_CLOEXEC) == 0 &&
           fcntl(fd, F_SETFL, fl_flags | O_NONBLOCK) == 0;
}
#endif

DWORD error_for(int err)
{
    return err == EMFILE || err == ENFILE ? ERROR_TOO_MANY_OPEN_FILES : ERROR_NOT_ENOUGH_MEMORY;
}

}  // namespace

bool Doorbell::open()
{
    if (is_open())
        return true;
#ifdef __linux__
    int fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (fd < 0) {
        SetLastError(error_for(errno));
        return false;
    }
    read_fd_ = write_fd_ = fd;
#else
    int fds[2];
    if (pipe(fds) != 0) {
        SetLastError(error_for(errno));
        return false;
    }
    if (!set_flags(fds[0]) || !set_flags(fds[1])) {
        ::close(fds[0]);
        ::close(fds[1]);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    read_fd_ = fds[0];
    write_fd_ = fds[1];
#endif
    rung_ = false;
    return true;
}

void Doorbell::close()
{
    if (write_fd_ >= 0 && write_fd_ != read_fd_)
        ::close(write_fd_);
    if (read_fd_ >= 0)
        ::close(read_fd_);
    read_fd_ = write_fd_ = -1;
    rung_ = false;
}

void Doorbell::renew()
{
    if (!is_open())
        return;
    const bool was_rung = rung_;
    close();
    if (open() && was_rung)
        ring();
}

void Doorbell::ring()
{
    if (rung_ || !is_open())
        return;
    rung_ = true;
#ifdef __linux__
    const uint64_t one = 1;
    while (write(write_fd_, &one, sizeof one) < 0 && errno == EINTR) {
    }
#else
    const char one = 1;
    while (write(write_fd_, &one, 1) < 0 && errno == EINTR) {
    }
#endif
}

void Doorbell::quiet()
{
    if (!rung_)
        return;
    rung_ = false;
    // Non-blocking: reads until nothing is left (one read for an eventfd).
    char buffer[64];
    for (;;) {
        ssize_t got = read(read_fd_, buffer, sizeof buffer);
        if (got > 0)
            continue;
        if (got < 0 && errno == EINTR)
            continue;
        break;
    }
}

}  // namespace twplat
