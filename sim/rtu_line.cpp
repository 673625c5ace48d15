#include "rtu_line.h"

#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// The line has no baud rate of its own; libmodbus only needs one it knows.
constexpr int Baud = 19200;

// Requests reach libmodbus whole (by their length, or after a pause on the line);
// waiting for more bytes only happens on a truncated frame, and the wait stalls the
// one event loop.
constexpr int ByteTimeoutUs = 20000;

// Reads and drops what waits on a non-blocking end.
void drain(int fd)
{
    char buffer[512];
    while (read(fd, buffer, sizeof buffer) > 0) {
    }
}

} // namespace

RtuLine::~RtuLine()
{
    // modbus_close would restore terminal settings the line never had; its end is ours.
    if (ctx_)
        modbus_free(ctx_);
    for (const int fd : ends_) {
        if (fd >= 0)
            close(fd);
    }
}

bool RtuLine::open(std::string &error)
{
    // libmodbus's RTU backend reads and writes its descriptor as it would a serial port's,
    // with select and the byte timeout between characters; a stream socket pair carries the
    // bytes without a terminal's line discipline and its delays.
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, ends_) != 0) {
        error = std::string("cannot make the line: ") + std::strerror(errno);
        return false;
    }
    // The device name is never opened: the context is given the line's end instead.
    ctx_ = modbus_new_rtu("line", Baud, 'N', 8, 1);
    if (!ctx_ || modbus_set_socket(ctx_, ends_[1]) != 0) {
        error = std::string("cannot set up libmodbus's RTU server: ") + modbus_strerror(errno);
        return false;
    }
    modbus_set_byte_timeout(ctx_, 0, ByteTimeoutUs);
    // On an out-of-range quantity modbus_reply sleeps for the response timeout before
    // flushing the line; a server never waits for a response. It cannot be zero.
    modbus_set_response_timeout(ctx_, 0, 1);
    return true;
}

int RtuLine::unread() const
{
    int count = 0;
    return ioctl(deviceFd(), FIONREAD, &count) == 0 ? count : 0;
}

void RtuLine::clear()
{
    drain(deviceFd());
    drain(cableFd());
}
