// Lets an application thread wait until no period that began before a given
// moment is still running, without the callback ever waiting or locking.
//
// The callback counts each period on entry, when it is done with memory, and on
// exit. A period does everything it does to the application's memory, the
// library's records and the driver's half-buffers first, then marks itself done
// with memory, and only then calls the driver (output-ready), which may hold it.
// A stop first clears the key fields of the records it takes back, then calls
// waitForPeriodsInFlight: every period that entered before the clear is done with
// memory when it returns true, and every period that enters afterwards sees the
// cleared fields. Only then may the stop release or reset what those periods
// could have been using. Disposing of the driver's buffers or letting the driver
// go needs more: waitForPeriodsToLeave, until the driver's thread has left the
// library.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/platform.h"

namespace asiochan {

// How long a stop waits for a period in flight before it gives up; it then leaks
// what it would have released rather than free memory a period may still use.
constexpr std::uint32_t kPeriodWaitLimitMs = 2000;

class PeriodGuard {
public:
    // Driver's thread: around one run of the period processing.
    void enter();
    void doneWithMemory();
    void exit();

    // Bounds every wait of one application call by one deadline, however many
    // waits it makes (Finish takes back the stream, both directions and the
    // buffers): a period that holds the call makes it give up within one wait
    // limit in all. Calls inside a bound keep the outer one. A wait that another
    // thread begins meanwhile ends by the deadline too: it waits for the same
    // periods, which the call has given up on.
    class CallBound {
    public:
        explicit CallBound(PeriodGuard& guard);
        ~CallBound();
        CallBound(const CallBound&) = delete;
        CallBound& operator=(const CallBound&) = delete;

    private:
        PeriodGuard& guard_;
        bool outer_;
    };

    // A driver runs its periods one after another on one thread; the wait relies on
    // that (it counts periods that have left, not which ones).
    //
    // Application side: true once every period that entered before this call is
    // done with memory (at once when none is running); false when `timeoutMs`
    // passed first.
    bool waitForPeriodsInFlight() { return waitFor(done_, waitLimitMs()); }
    // The same, until every such period has left the library (returned to the driver).
    bool waitForPeriodsToLeave() { return waitFor(exited_, waitLimitMs()); }
    std::uint32_t waitLimitMs() const { return waitLimitMs_.load(std::memory_order_relaxed); }
#if defined(ASIOCHAN_HOST_SEAMS)
    // Host build only: a shorter limit, for tests that hold a period past it.
    void setWaitLimitMs(std::uint32_t limitMs) { waitLimitMs_.store(limitMs, std::memory_order_relaxed); }
#endif
    // Neither waits: whether every period that entered before `mark` (a count of
    // entries, enteredMark()) is done with memory now.
    std::uint32_t enteredMark() const { return entered_.load(std::memory_order_seq_cst); }
    bool doneSince(std::uint32_t mark) const {
        return static_cast<std::int32_t>(done_.load(std::memory_order_seq_cst) - mark) >= 0;
    }

    // Any thread but the driver's, around reads of fields a period may change
    // and change back (a run flag it clears and sets again): take a mark, read,
    // then ask; true when no period was running at any moment in between, so what
    // was read is what the periods left. Neither call waits.
    std::uint32_t quietMark() const { return exited_.load(std::memory_order_seq_cst); }
    bool quietSince(std::uint32_t mark) const { return entered_.load(std::memory_order_seq_cst) == mark; }

private:
    bool waitFor(const std::atomic<std::uint32_t>& counter, std::uint32_t timeoutMs);
    void wakeWaiters();

    // Periods are run one after another by the driver's thread, so "exited has
    // caught up with the entries seen" means every one of those periods has ended.
    std::atomic<std::uint32_t> entered_{0};
    std::atomic<std::uint32_t> done_{0};
    std::atomic<std::uint32_t> exited_{0};
    // Both sides pass through a read-modify-write of this word between their store
    // and their load. Whichever passes second synchronises with the first: either
    // the waiter sees the period's entry, or the period sees the waiter's cleared
    // fields.
    std::atomic<std::uint32_t> handshake_{0};
    // Application threads waiting; a period that ends while one waits sets the
    // event: the one call to the operating system the driver's thread makes (see
    // engine.h), and only while a stop waits.
    std::atomic<std::uint32_t> waiters_{0};
    std::atomic<std::uint32_t> waitLimitMs_{kPeriodWaitLimitMs};
    // The deadline of the CallBound in force (monotonic microseconds); 0: none.
    std::atomic<std::uint64_t> callDeadline_{0};
    platform::Event periodEnded_;
};

// Brackets one run of the period processing on the driver's thread; a period
// that returns early is done with memory as it leaves.
class PeriodScope {
public:
    explicit PeriodScope(PeriodGuard& guard) : guard_(guard) { guard_.enter(); }
    ~PeriodScope() {
        doneWithMemory();
        guard_.exit();
    }
    PeriodScope(const PeriodScope&) = delete;
    PeriodScope& operator=(const PeriodScope&) = delete;

    void doneWithMemory() {
        if (done_) return;
        done_ = true;
        guard_.doneWithMemory();
    }

private:
    PeriodGuard& guard_;
    bool done_ = false;
};

}  // namespace asiochan
