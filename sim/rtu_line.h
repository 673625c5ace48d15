#pragma once

#include <modbus.h>

#include <string>

// A libmodbus RTU server context on one end of a line, as if the simulator were a serial
// device; the other end is the cable's. The RTU framing and CRC are thus libmodbus's own,
// never the simulator's.
class RtuLine
{
public:
    RtuLine() = default;
    ~RtuLine();
    RtuLine(const RtuLine &) = delete;
    RtuLine &operator=(const RtuLine &) = delete;

    // False with `error` set when the line or the context cannot be set up.
    bool open(std::string &error);

    modbus_t *context() const { return ctx_; }
    // The cable's end: non-blocking, raw bytes in both directions.
    int cableFd() const { return ends_[0]; }
    // libmodbus's end, readable once a request is on the line.
    int deviceFd() const { return ends_[1]; }
    // Bytes on the line that libmodbus has not read yet.
    int unread() const;
    // Drops whatever is on the line in either direction, as a device resynchronises
    // after a garbled frame.
    void clear();

private:
    int ends_[2] = {-1, -1}; // the cable's, libmodbus's
    modbus_t *ctx_ = nullptr;
};
