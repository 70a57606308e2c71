#include "program_guard.h"

#include <exception>
#include <iostream>
#include <new>
#include <string>

int runGuarded(const char* program, int failureStatus, const std::function<int()>& body) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        std::cerr << program
                  << ": out of memory (the photos or point files are too large for this machine)"
                  << std::endl;
    } catch (const std::exception& e) {
        // OpenCV reports a failed allocation as its own exception.
        const bool memory = std::string(e.what()).find("Insufficient memory") != std::string::npos;
        std::cerr << program << ": " << (memory ? "out of memory: " : "") << e.what() << std::endl;
    }
    return failureStatus;
}
