// A thread of the command-line host running one function. The Windows build
// starts it with the system's own call (the toolchain's std::thread is not there
// in every MinGW build); the host build, where the tests run, with std::thread.
#pragma once

#include <functional>

namespace cli {

// The processors this process may run threads on (at least 1).
unsigned processorCount();

class WorkerThread {
public:
    WorkerThread() = default;
    ~WorkerThread() { join(); }
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Runs `body` on a new thread (after joining the one before); false when none
    // can be made.
    bool start(std::function<void()> body);
    // Waits for the thread to end (nothing when none runs).
    void join();
    bool started() const { return handle_ != nullptr; }

private:
    std::function<void()> body_;
    void* handle_ = nullptr;
};

}  // namespace cli
