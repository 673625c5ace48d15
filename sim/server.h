#pragma once

#include <modbus.h>

#include <chrono>
#include <optional>

// The simulator's event loop: one thread multiplexing the listening socket, every
// client and the once-a-second value changes with poll().
struct ServerSettings {
    bool live = false;
    bool hostile = false;
};

// Makes SIGINT and SIGTERM end runServer with exit code 0, and SIGPIPE harmless.
// Called before the listening line is printed: whoever waits for that line may
// signal at once.
bool installStopHandlers();

// Readable once SIGINT or SIGTERM has arrived; for event loops other than runServer's.
int stopSignalFd();

// The functions modbus_reply answers properly; the others get "illegal function"
// from modbus_reply_exception.
bool libmodbusImplements(int function);

// The once-a-second change of --live: holding and input register 0 count up, coil 1
// and discrete input 0 toggle.
void advanceLiveValues(modbus_mapping_t *mapping);

// Serves until SIGINT or SIGTERM arrives, then returns the exit code (0). `listenFd`
// is a listening socket from modbus_tcp_listen or modbus_tcp_pi_listen; `ctx` is the
// context that made it and is reused for every client through modbus_set_socket.
int runServer(modbus_t *ctx, modbus_mapping_t *mapping, int listenFd, ServerSettings settings);

// The timeout for poll() that wakes the loop at `wake`, rounded up so that poll does not wake
// just before the deadline and spin; -1 (no timeout) when nothing is due.
int pollTimeoutUntil(std::optional<std::chrono::steady_clock::time_point> wake,
                     std::chrono::steady_clock::time_point now);
