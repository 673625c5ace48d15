#pragma once

#include <modbus.h>

#include <string>

// A libmodbus RTU server context on the slave side of a pseudo-terminal, as if the
// simulator were a serial device; the master side is the other end of the cable.
// The RTU framing and CRC are thus libmodbus's own, never the simulator's.
class RtuLine
{
public:
    RtuLine() = default;
    ~RtuLine();
    RtuLine(const RtuLine &) = delete;
    RtuLine &operator=(const RtuLine &) = delete;

    // False with `error` set when the pseudo-terminal or the context cannot be set up.
    bool open(std::string &error);

    modbus_t *context() const { return ctx_; }
    // The cable's end: non-blocking, raw bytes in both directions.
    int cableFd() const { return master_; }
    // libmodbus's end, readable once a request is on the line.
    int deviceFd() const;
    // Bytes on the line that libmodbus has not read yet.
    int unread() const;
    // Drops whatever is on the line in either direction, as a device resynchronises
    // after a garbled frame.
    void clear();

private:
    int master_ = -1;
    modbus_t *ctx_ = nullptr;
};
