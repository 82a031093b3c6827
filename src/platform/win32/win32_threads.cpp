// Threads, sleep and clock through the Windows API.
#include <windows.h>

#include <new>

#include "platform/platform.h"

namespace asiochan::platform {

namespace {
struct StartBlock {
    ThreadEntry entry;
    void* argument;
};

DWORD WINAPI threadMain(LPVOID raw) {
    StartBlock block = *static_cast<StartBlock*>(raw);
    delete static_cast<StartBlock*>(raw);
    block.entry(block.argument);
    return 0;
}

struct LibraryStartBlock {
    ThreadEntry entry;
    void* argument;
    HMODULE module;
};

DWORD WINAPI libraryThreadMain(LPVOID raw) {
    LibraryStartBlock block = *static_cast<LibraryStartBlock*>(raw);
    delete static_cast<LibraryStartBlock*>(raw);
    block.entry(block.argument);
    // Drops the thread's reference and ends without returning into the module.
    FreeLibraryAndExitThread(block.module, 0);
}
}  // namespace

bool startLibraryThread(ThreadEntry entry, void* argument) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<LPCWSTR>(reinterpret_cast<const void*>(&libraryThreadMain)), &module))
        return false;
    auto* block = new (std::nothrow) LibraryStartBlock{entry, argument, module};
    if (block == nullptr) {
        FreeLibrary(module);
        return false;
    }
    HANDLE h = CreateThread(nullptr, 0, libraryThreadMain, block, 0, nullptr);
    if (h == nullptr) {
        delete block;
        FreeLibrary(module);
        return false;
    }
    CloseHandle(h);
    return true;
}

ThreadHandle startThread(ThreadEntry entry, void* argument, std::uint32_t* threadId) {
    auto* block = new (std::nothrow) StartBlock{entry, argument};
    if (block == nullptr) return nullptr;
    DWORD id = 0;
    HANDLE h = CreateThread(nullptr, 0, threadMain, block, 0, &id);
    if (h == nullptr) {
        delete block;
        return nullptr;
    }
    if (threadId) *threadId = id;
    return h;
}

bool waitThread(ThreadHandle thread, std::uint32_t timeoutMs) {
    if (thread == nullptr) return true;
    return WaitForSingleObject(static_cast<HANDLE>(thread), timeoutMs) == WAIT_OBJECT_0;
}

void closeThread(ThreadHandle thread) {
    if (thread) CloseHandle(static_cast<HANDLE>(thread));
}

void sleepMs(std::uint32_t milliseconds) { Sleep(milliseconds); }

void yieldThread() { SwitchToThread(); }

// Fails beyond the process's working-set minimum; the rings work unlocked all the same.
bool lockMemory(void* memory, std::size_t bytes) {
    return memory != nullptr && bytes != 0 && VirtualLock(memory, bytes) != 0;
}

std::uint64_t monotonicMicros() {
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return static_cast<std::uint64_t>(counter.QuadPart / frequency.QuadPart * 1000000ULL +
                                      counter.QuadPart % frequency.QuadPart * 1000000ULL / frequency.QuadPart);
}

}  // namespace asiochan::platform
