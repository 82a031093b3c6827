#include "system/worker_thread.h"

#include <algorithm>
#include <new>
#include <system_error>
#include <thread>

namespace cli {

unsigned processorCount() { return std::max(1u, std::thread::hardware_concurrency()); }

bool WorkerThread::start(std::function<void()> body) {
    join();
    body_ = std::move(body);
    try {
        handle_ = new std::thread([this] { body_(); });
    } catch (const std::system_error&) {
        handle_ = nullptr;
    } catch (const std::bad_alloc&) {
        handle_ = nullptr;
    }
    return handle_ != nullptr;
}

void WorkerThread::join() {
    if (handle_ == nullptr) return;
    auto* thread = static_cast<std::thread*>(handle_);
    thread->join();
    delete thread;
    handle_ = nullptr;
}

}  // namespace cli
