/*
 * An application of the packaged asiochan, built two ways by package_test.sh: as Visual
 * Studio builds it (clang in MSVC mode, lld-link against asiochan.lib), and by a CMake
 * project that finds the package, with MinGW. Debian has no MSVC C runtime, so the
 * program needs none: kernel32 and the exports only, its own entry point, output
 * through WriteFile. It loads the simulated driver and reads its capabilities, integers
 * and doubles both ways across the boundary; the exit code is the number of failures.
 */
#include "asiochan.h"

typedef void* Handle;
__declspec(dllimport) Handle __stdcall GetStdHandle(unsigned long which);
__declspec(dllimport) int __stdcall WriteFile(Handle file, const void* data, unsigned long size,
                                              unsigned long* written, void* overlapped);
__declspec(dllimport) __declspec(noreturn) void __stdcall ExitProcess(unsigned int code);

#ifdef _MSC_VER
/* Code that uses floating point refers to this marker, which the C runtime defines. */
int _fltused;
#endif

static void put(const char* text) {
    unsigned long length = 0, written;
    while (text[length] != '\0') ++length;
    WriteFile(GetStdHandle((unsigned long)-11), text, length, &written, 0); /* standard output */
}

static void put_number(long value) {
    char digits[24];
    char* at = digits + sizeof digits;
    unsigned long magnitude = value < 0 ? 0ul - (unsigned long)value : (unsigned long)value;
    *--at = '\0';
    do {
        *--at = (char)('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0) *--at = '-';
    put(at);
}

static unsigned failures;

static void check(const char* what, long got, long want) {
    put(got == want ? "ok:   " : "FAIL: ");
    put(what);
    put(" = ");
    put_number(got);
    if (got != want) {
        put(", expected ");
        put_number(want);
        ++failures;
    }
    put("\n");
}

void __cdecl package_app_entry(void) {
    check("loadAsioDriver", loadAsioDriver("asiochan simulated driver"), 1);
    check("Initialize", Initialize(), ASIOCHAN_OK);
    check("GetInputChannelCount", GetInputChannelCount(), 8);
    check("GetOutputChannelCount", GetOutputChannelCount(), 8);
    check("GetBufferSizePreferred", GetBufferSizePreferred(), 256);
    check("SetSampleRate(48000)", SetSampleRate(48000.0), ASIOCHAN_OK);
    check("GetCurrentSampleRate", (long)GetCurrentSampleRate(), 48000);
    releaseAsioDriver();
    check("Initialize after releaseAsioDriver", Initialize(), ASIOCHAN_NOT_PRESENT);
    put(failures == 0 ? "RESULT: PASS\n" : "RESULT: FAIL\n");
    ExitProcess(failures);
}

/* With a C runtime (the MinGW build) the runtime's entry point calls main. */
int main(void) {
    package_app_entry();
}
