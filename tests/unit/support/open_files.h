// The number of file descriptors this process holds open, for tests that check
// every path of the code under test closes what it opened.
#pragma once

#include <cstddef>
#include <filesystem>
#include <iterator>

namespace asiochan::testing {

inline std::ptrdiff_t openDescriptors() {
    return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
}

}  // namespace asiochan::testing
