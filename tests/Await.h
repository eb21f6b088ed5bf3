#pragma once

#include <chrono>
#include <thread>

// Polls inReady until it holds or inLimit has passed; says which. Every
// test that waits for something to happen waits here, never by sleeping.
template <typename Ready>
bool Await(Ready inReady, std::chrono::milliseconds inLimit = std::chrono::seconds(30)) {
    const auto deadline = std::chrono::steady_clock::now() + inLimit;
    while (!inReady()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}
