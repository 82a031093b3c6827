// The narrow seam between the library and the operating system. The rest of the
// library calls only these functions; src/platform/win32 carries them out with the
// Windows API, src/platform/host with in-memory stand-ins for the Linux test build.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace asiochan::platform {

// A COM class id, laid out as the Windows GUID.
struct ClassId {
    std::uint32_t data1;
    std::uint16_t data2;
    std::uint16_t data3;
    std::uint8_t data4[8];
};
static_assert(sizeof(ClassId) == 16);

bool operator==(const ClassId& a, const ClassId& b);

// ---- Registry (read only) -------------------------------------------------
using RegistryKey = void*;
enum class RegistryRoot { LocalMachine, ClassesRoot };

// RegOpenKeyA on a root key.
bool openRootKey(RegistryRoot root, const char* path, RegistryKey* key);
// RegOpenKeyExA with KEY_READ.
bool openSubKeyForReading(RegistryKey parent, const char* name, RegistryKey* key);
// RegEnumKeyA: the index-th subkey name; false at the end or when it does not fit.
bool enumSubKey(RegistryKey key, std::uint32_t index, char* name, std::uint32_t size);
// RegQueryValueExA of any type; a null name reads the default value. The text is
// always zero-terminated within `size` bytes when true is returned.
bool queryValue(RegistryKey key, const char* valueName, char* data, std::uint32_t size);
void closeKey(RegistryKey key);

// ---- Text and files ---------------------------------------------------------
// CharLowerBuffA over `length` bytes.
void lowerCaseInPlace(char* text, std::uint32_t length);
// MultiByteToWideChar (at most 100 units) then CLSIDFromString.
bool parseClassId(const char* text, ClassId* out);
// OpenFile(..., OF_EXIST) != HFILE_ERROR.
bool fileExists(const char* path);
// fopen, with Windows drive paths ("D:\...") mapped by the host build to folders
// that tests choose; the DLL uses the path as it stands.
std::FILE* openFile(const char* path, const char* mode);
// The length in bytes of an open file, also past 4 GiB; false when it cannot be told.
bool fileLength(std::FILE* file, std::uint64_t& bytes);

// ---- Environment ------------------------------------------------------------
// GetEnvironmentVariableA: the value of `name`, zero-terminated in `size` bytes;
// false when it is not set, empty, or does not fit.
bool readEnvironment(const char* name, char* text, std::uint32_t size);

// ---- COM ------------------------------------------------------------------------
void comInitialize();
void comUninitialize();
// CoCreateInstance(clsid, null, CLSCTX_INPROC_SERVER, clsid, object); 0 on success.
std::int32_t createInProcObject(const ClassId& classId, void** object);

// ---- Device interfaces (the device set-up service) ----------------------------------
using DeviceInterfaceSet = void*;
// SetupDiGetClassDevsA for the present interfaces of `interfaceClass`
// (DIGCF_PRESENT | DIGCF_DEVICEINTERFACE); null when no set could be made.
DeviceInterfaceSet openPresentDeviceInterfaces(const ClassId& interfaceClass);
enum class DeviceInterfaceQuery { Path, NoMoreInterfaces, DetailFailed };
// SetupDiEnumDeviceInterfaces for member `index`, then the size query and the
// detail query into a zero-filled GlobalAlloc block (freed before returning). On
// Path, the device path is copied into `path`, cut to `size` - 1 characters and
// zero-terminated.
DeviceInterfaceQuery queryDeviceInterfacePath(DeviceInterfaceSet set, const ClassId& interfaceClass,
                                              std::uint32_t index, char* path, std::uint32_t size);
// SetupDiDestroyDeviceInfoList.
void closeDeviceInterfaces(DeviceInterfaceSet set);

// ---- Threads ----------------------------------------------------------------------
using ThreadHandle = void*;
using ThreadEntry = void (*)(void* argument);
// CreateThread with the default stack size, running at once; null on failure.
ThreadHandle startThread(ThreadEntry entry, void* argument, std::uint32_t* threadId);
// Waits up to `timeoutMs` for the thread to end; true when it has ended.
bool waitThread(ThreadHandle thread, std::uint32_t timeoutMs);
// Gives the handle back; the thread itself goes on if it still runs.
void closeThread(ThreadHandle thread);
// A thread of the library's own that keeps the library loaded while it runs: on
// Windows it holds a reference on the module that contains this code and, when
// `entry` returns, drops it and ends in one step (FreeLibraryAndExitThread), so an
// application's FreeLibrary never unloads code the thread is still running and no
// one ever waits for the thread. Nothing about the thread is handed back. False
// when it could not be started.
bool startLibraryThread(ThreadEntry entry, void* argument);
void sleepMs(std::uint32_t milliseconds);
void yieldThread();
// Asks the system to keep `bytes` at `memory` in physical memory (best effort:
// false when it will not); the application's thread only.
bool lockMemory(void* memory, std::size_t bytes);
// A monotonic clock in microseconds, for pacing and progress.
std::uint64_t monotonicMicros();

// ---- Mutex and event ----------------------------------------------------------------
// Both keep their operating-system object in storage of their own, so making one
// allocates nothing and the platform's headers stay out of this file. Neither may
// be copied or moved.

// A lock between application threads and the library's own threads, taken
// exclusively or shared (many holders at once, none exclusive). Never taken on
// the driver's callback thread.
class Mutex {
public:
    Mutex();
    ~Mutex();
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;
    void lock();
    void unlock();
    void lockShared();
    void unlockShared();

private:
    alignas(8) unsigned char storage_[64];
};

// A wait on an event with this timeout has no time limit (INFINITE on Windows).
constexpr std::uint32_t kWaitForever = 0xFFFFFFFFu;

// A manual-reset event: once set, it stays set (every wait returns at once) until
// reset. `set` neither locks nor waits, so the driver's callback thread may call it.
class Event {
public:
    Event();
    ~Event();
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;
    void set();
    void reset();
    bool isSet() const;
    // Waits up to `timeoutMs` (or kWaitForever) for the event to be set; true when it is set.
    bool wait(std::uint32_t timeoutMs);

private:
    alignas(8) unsigned char storage_[16];
};

}  // namespace asiochan::platform
