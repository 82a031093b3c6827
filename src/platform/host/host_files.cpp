// Files for the host build: Windows drive paths land in folders chosen by tests.
#include <sys/stat.h>

#include <cctype>
#include <map>
#include <mutex>
#include <string>

#include "platform/host/host_control.h"
#include "platform/platform.h"

namespace asiochan::platform {

namespace {
std::mutex driveLock;
thread_local std::uint64_t blockingCalls = 0;
std::map<char, std::string>& drives() {
    static std::map<char, std::string> table;
    return table;
}

bool isDrivePath(const char* path) {
    return std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' && path[2] == '\\';
}
}  // namespace

namespace host {

void mapDrive(char letter, const std::string& folder) {
    std::lock_guard<std::mutex> guard(driveLock);
    const char key = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    if (folder.empty())
        drives().erase(key);
    else
        drives()[key] = folder;
}

std::string hostPath(const char* windowsPath) {
    if (!isDrivePath(windowsPath)) return windowsPath;
    std::string root;
    {
        std::lock_guard<std::mutex> guard(driveLock);
        auto it = drives().find(static_cast<char>(std::toupper(static_cast<unsigned char>(windowsPath[0]))));
        if (it == drives().end()) return {};
        root = it->second;
    }
    std::string rest(windowsPath + 3);
    for (char& c : rest)
        if (c == '\\') c = '/';
    return root + "/" + rest;
}

std::uint64_t blockingCallsOnThisThread() { return blockingCalls; }
void countBlockingCall() { ++blockingCalls; }

}  // namespace host

std::FILE* openFile(const char* path, const char* mode) {
    host::countBlockingCall();
    const std::string mapped = host::hostPath(path);
    if (mapped.empty()) return nullptr;
    return std::fopen(mapped.c_str(), mode);
}

bool fileLength(std::FILE* file, std::uint64_t& bytes) {
    struct stat facts {};
    if (::fstat(::fileno(file), &facts) != 0 || facts.st_size < 0) return false;
    bytes = static_cast<std::uint64_t>(facts.st_size);
    return true;
}

}  // namespace asiochan::platform
