// The programs' last line of defence: running out of memory or any other standard
// exception ends the program with its name, the reason and a failure status, never with
// an abort.
#pragma once

#include <functional>

int runGuarded(const char* program, int failureStatus, const std::function<int()>& body);
