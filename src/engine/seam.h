// Points between the publishing steps of an application thread's call, where the
// host build's tests run a period to see that every order of steps ends in a
// result the header allows. In the product they compile to nothing.
#pragma once

#include <atomic>

#if defined(ASIOCHAN_HOST_SEAMS)
namespace asiochan::seam {
// Host build only: called at each point with its name; null for none.
using Handler = void (*)(const char* where);
void setHandler(Handler handler);
void reach(const char* where);
}  // namespace asiochan::seam
#define ASIOCHAN_SEAM(where) ::asiochan::seam::reach(where)

#include <atomic>

namespace asiochan {
// A word published in one step (the run flags): every change of it reaches the
// seam "word: changed" after it, so a one-step change split in two has a period
// between its halves in the tests.
template <typename T>
struct SeamedAtomic : std::atomic<T> {
    using std::atomic<T>::atomic;
    using std::atomic<T>::operator=;
    void store(T v, std::memory_order order = std::memory_order_seq_cst) noexcept {
        std::atomic<T>::store(v, order);
        ASIOCHAN_SEAM("word: changed");
    }
    T fetch_or(T v, std::memory_order order = std::memory_order_seq_cst) noexcept {
        const T was = std::atomic<T>::fetch_or(v, order);
        ASIOCHAN_SEAM("word: changed");
        return was;
    }
    T fetch_and(T v, std::memory_order order = std::memory_order_seq_cst) noexcept {
        const T was = std::atomic<T>::fetch_and(v, order);
        ASIOCHAN_SEAM("word: changed");
        return was;
    }
};
}  // namespace asiochan
#else
namespace asiochan {
template <typename T>
using SeamedAtomic = std::atomic<T>;
}
#define ASIOCHAN_SEAM(where) static_cast<void>(0)
#endif
