// Ctrl-C (and SIGTERM) for every command, in one signal handler: a command asks for the behaviour
// it needs, and its long steps read StopRequested at the points where they can stop cleanly (the
// progress hooks of the instrument and of the loader).
#pragma once

#include <string>

// The first SIGINT or SIGTERM asks to stop (the commands that talk to an instrument, flash).
void StopOnInterrupt();

// The update: the first Ctrl-C prints `warning` (why not to quit now); a second within five
// seconds asks to stop at the next point the loader allows. SIGTERM keeps its default.
void WarnOnInterrupt(const std::string& warning);

// True once a stop was asked for.
bool StopRequested();
