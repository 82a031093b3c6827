// Lets an application thread wait until no period that began before a given
// moment is still running, without the callback ever waiting or locking.
//
// The callback counts each period on entry and on exit. A stop first clears the
// key fields of the records it takes back, then calls waitForPeriodsInFlight:
// every period that entered before the clear has ended when it returns true, and
// every period that enters afterwards sees the cleared fields. Only then may the
// stop release or reset what those periods could have been using.
#pragma once

#include <cstdint>

namespace asiochan {

// Brackets one run of the period processing on the driver's thread.
class PeriodScope {
public:
    PeriodScope();
    ~PeriodScope();
    PeriodScope(const PeriodScope&) = delete;
    PeriodScope& operator=(const PeriodScope&) = delete;
};

// How long a stop waits for a period in flight before it gives up; it then leaks
// what it would have released rather than free memory a period may still use.
constexpr std::uint32_t kPeriodWaitLimitMs = 2000;

// Application side: true once every period that entered before this call has
// left (at once when none is running); false when `timeoutMs` passed first.
bool waitForPeriodsInFlight(std::uint32_t timeoutMs = kPeriodWaitLimitMs);

}  // namespace asiochan
