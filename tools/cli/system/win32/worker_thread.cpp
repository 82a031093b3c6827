#include "system/worker_thread.h"

#include <windows.h>

namespace cli {

namespace {
DWORD WINAPI runBody(void* self) {
    (*static_cast<std::function<void()>*>(self))();
    return 0;
}
}  // namespace

unsigned processorCount() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors > 0 ? static_cast<unsigned>(info.dwNumberOfProcessors) : 1u;
}

bool WorkerThread::start(std::function<void()> body) {
    join();
    body_ = std::move(body);
    handle_ = CreateThread(nullptr, 0, runBody, &body_, 0, nullptr);
    return handle_ != nullptr;
}

void WorkerThread::join() {
    if (handle_ == nullptr) return;
    WaitForSingleObject(handle_, INFINITE);
    CloseHandle(handle_);
    handle_ = nullptr;
}

}  // namespace cli
