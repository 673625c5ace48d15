#pragma once

#include <chrono>

// Once the window has closed and the event loop has returned, only teardown is left, and
// part of it waits on what the program does not control: Qt joins its host-name lookup
// threads when the application object goes, and a lookup that waits on a DNS server that
// does not answer holds the process for the resolver's whole timeout (about 10 s) after
// the window has gone. Called with the event loop's result, this lets teardown run as
// usual but ends the process with that result if it is not over within grace.
int endWithin(std::chrono::milliseconds grace, int exitCode);
