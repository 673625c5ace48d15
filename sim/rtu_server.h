#pragma once

#include "rtu_line.h"
#include "server.h"

// The event loop of `modbus-sim --rtu`: RTU frames over TCP, as a serial device
// behind a converter in transparent mode answers them. The bytes of one TCP client
// at a time are bridged to and from `line`; further clients wait in the listen
// backlog until it leaves, as a serial line serves one master.
//
// Serves until SIGINT or SIGTERM arrives (installStopHandlers), then returns the
// exit code. `listenFd` is a listening TCP socket.
int runRtuServer(RtuLine &line, modbus_mapping_t *mapping, int listenFd, ServerSettings settings);
