#include "wine/end_session.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {
// The class of asiochan.exe's hidden window (tools/cli/console/console_events.h).
constexpr char kSessionWindowClass[] = "asiochan_session";
constexpr int kWindowWaitMs = 20000;
constexpr UINT kMessageWaitMs = 10000;
}  // namespace

int endSession(const char* how, double after) {
    const bool logoff = std::strcmp(how, "logoff") == 0;
    if (!logoff && std::strcmp(how, "kill") != 0) {
        std::printf("end_session: unknown way \"%s\"\n", how);
        return 1;
    }
    HWND window = nullptr;
    for (int waited = 0; window == nullptr && waited < kWindowWaitMs; waited += 50) {
        // Top-level, or message-only where Wine has no display for a top-level one.
        window = FindWindowA(kSessionWindowClass, nullptr);
        if (window == nullptr) window = FindWindowExA(HWND_MESSAGE, nullptr, kSessionWindowClass, nullptr);
        if (window == nullptr) Sleep(50);
    }
    if (window == nullptr) {
        std::printf("end_session: no asiochan window within %d s\n", kWindowWaitMs / 1000);
        return 1;
    }
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    const HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
    if (process == nullptr) {
        std::printf("end_session: cannot open process %lu\n", pid);
        return 1;
    }
    Sleep(static_cast<DWORD>(after * 1000));
    int result = 0;
    if (logoff) {
        DWORD_PTR answer = 0;
        if (!SendMessageTimeoutA(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL, kMessageWaitMs,
                                 &answer) ||
            answer != TRUE) {
            std::printf("end_session: WM_QUERYENDSESSION not answered TRUE within %u s\n", kMessageWaitMs / 1000);
            result = 1;
        }
        const DWORD sent = GetTickCount();
        // The command may end its process itself while the handler returns: that is an answer too.
        if (SendMessageTimeoutA(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_NORMAL, kMessageWaitMs,
                                &answer) != 0 ||
            WaitForSingleObject(process, 0) == WAIT_OBJECT_0) {
            std::printf("end_session: WM_ENDSESSION answered after %lu ms\n", GetTickCount() - sent);
        } else {
            std::printf("end_session: WM_ENDSESSION not answered within %u s\n", kMessageWaitMs / 1000);
            result = 1;
        }
    }
    // As the session does once WM_ENDSESSION returns: the process ends here.
    TerminateProcess(process, 99);
    WaitForSingleObject(process, kMessageWaitMs);
    CloseHandle(process);
    return result;
}
