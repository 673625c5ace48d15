#include "rtu_line.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

// A pseudo-terminal has no baud rate of its own; libmodbus only needs one it knows.
constexpr int Baud = 19200;

// Requests reach libmodbus whole (by their length, or after a pause on the line);
// waiting for more bytes only happens on a truncated frame, and the wait stalls the
// one event loop.
constexpr int ByteTimeoutUs = 20000;

} // namespace

RtuLine::~RtuLine()
{
    if (ctx_) {
        modbus_close(ctx_);
        modbus_free(ctx_);
    }
    if (master_ >= 0)
        close(master_);
}

bool RtuLine::open(std::string &error)
{
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    char name[128] = {};
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0 || ptsname_r(master_, name, sizeof name) != 0) {
        error = std::string("cannot open a pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    ctx_ = modbus_new_rtu(name, Baud, 'N', 8, 1);
    if (!ctx_ || modbus_connect(ctx_) != 0) {
        error = std::string("cannot open ") + name + " for libmodbus: " + modbus_strerror(errno);
        return false;
    }
    // libmodbus sets the line up for a serial port; raw mode on top makes sure no
    // byte of a frame (0x0A, 0x0D, 0x11, 0x13, 0xFF) is translated or swallowed.
    termios raw{};
    if (tcgetattr(deviceFd(), &raw) != 0) {
        error = std::string("cannot configure ") + name + ": " + std::strerror(errno);
        return false;
    }
    cfmakeraw(&raw);
    if (tcsetattr(deviceFd(), TCSANOW, &raw) != 0) {
        error = std::string("cannot configure ") + name + ": " + std::strerror(errno);
        return false;
    }
    modbus_set_byte_timeout(ctx_, 0, ByteTimeoutUs);
    // On an out-of-range quantity modbus_reply sleeps for the response timeout before
    // flushing the line; a server never waits for a response. It cannot be zero.
    modbus_set_response_timeout(ctx_, 0, 1);
    return true;
}

int RtuLine::deviceFd() const { return ctx_ ? modbus_get_socket(ctx_) : -1; }

int RtuLine::unread() const
{
    int count = 0;
    return ioctl(deviceFd(), FIONREAD, &count) == 0 ? count : 0;
}

void RtuLine::clear()
{
    tcflush(deviceFd(), TCIOFLUSH);
    tcflush(master_, TCIOFLUSH);
}
