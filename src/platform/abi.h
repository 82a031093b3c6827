// Calling-convention macros for the binary interfaces we share with code built
// elsewhere (ASIO drivers, COM). Only this folder knows which build it is in.
#pragma once

#if defined(_WIN32)
#define ASIOCHAN_COMCALL __stdcall
#define ASIOCHAN_CDECL __cdecl
#else
#define ASIOCHAN_COMCALL
#define ASIOCHAN_CDECL
#endif

#if defined(_WIN32)
#define ASIOCHAN_WIN32 1
#else
#define ASIOCHAN_WIN32 0
#endif

#if defined(_WIN32) && !defined(_WIN64)
#define ASIOCHAN_WIN32_X86 1
#else
#define ASIOCHAN_WIN32_X86 0
#endif
