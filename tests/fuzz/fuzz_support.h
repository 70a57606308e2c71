// Helpers for the libFuzzer harnesses: the input as a file, and a quiet standard output.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

// A file of this process holding the bytes (overwritten by every call with the same slot).
inline std::string inputFile(const std::uint8_t* data, std::size_t size, int slot = 0) {
    const std::string path =
        "/tmp/toolkit-fuzz-" + std::to_string(getpid()) + "-" + std::to_string(slot);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    return path;
}

// The readers print traces; the fuzzer's own output goes to stderr.
inline void silenceStdout() {
    if (std::freopen("/dev/null", "w", stdout) == nullptr) std::perror("freopen");
    std::cout.setstate(std::ios::badbit);  // no formatting and no flush system calls at all
}
