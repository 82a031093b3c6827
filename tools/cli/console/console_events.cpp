#include "console/console_events.h"

#include <windows.h>

#include "console/stop_request.h"

namespace cli {

namespace {
StopRequest stopRequest;

void sleepMs(std::uint32_t ms) { Sleep(ms); }

ConsoleSignal fromConsole(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
            return ConsoleSignal::ctrlC;
        case CTRL_BREAK_EVENT:
            return ConsoleSignal::ctrlBreak;
        case CTRL_CLOSE_EVENT:
            return ConsoleSignal::close;
        case CTRL_LOGOFF_EVENT:
            return ConsoleSignal::logoff;
        case CTRL_SHUTDOWN_EVENT:
            return ConsoleSignal::shutdown;
        default:
            return ConsoleSignal::other;
    }
}

// Runs on a thread the system makes; when it returns after a close, a logoff
// or a shutdown, the system ends the process.
BOOL WINAPI onConsoleEvent(DWORD event) {
    return stopRequest.handle(fromConsole(event), kEndingWait, sleepMs) ? TRUE : FALSE;
}

// The hidden window's messages. Once WM_ENDSESSION returns, the session may end
// the process at any moment.
LRESULT CALLBACK onSessionMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_QUERYENDSESSION) {
        stopRequest.handle(ConsoleSignal::queryEndSession, kEndingWait, sleepMs);
        return TRUE;
    }
    if (message == WM_ENDSESSION) {
        stopRequest.handle(wParam ? ConsoleSignal::endSession : ConsoleSignal::endSessionCanceled, kEndingWait,
                           sleepMs);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// A top-level window, never shown, and its message loop. Where no top-level
// window can be made (Wine without a display) a message-only one stands in: it
// runs the same procedure for whoever sends it the messages, though the system
// sends end-session messages only to top-level windows.
DWORD WINAPI sessionWindowThread(void*) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = onSessionMessage;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kSessionWindowClass;
    if (RegisterClassA(&windowClass) == 0) return 1;
    HWND window = nullptr;
    for (const HWND parent : {HWND(nullptr), HWND_MESSAGE}) {
        window = CreateWindowExA(0, kSessionWindowClass, "asiochan", WS_OVERLAPPED, 0, 0, 0, 0, parent, nullptr,
                                 windowClass.hInstance, nullptr);
        if (window != nullptr) break;
    }
    if (window == nullptr) return 1;
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}
}  // namespace

void installInterruptHandler() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
    // Without the window only the end-session messages are missed: the command runs on.
    if (const HANDLE thread = CreateThread(nullptr, 0, sessionWindowThread, nullptr, 0, nullptr)) CloseHandle(thread);
}

bool interrupted() { return stopRequest.requested(); }

void commandEnded() { stopRequest.ended(); }

}  // namespace cli
