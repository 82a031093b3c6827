// COM object creation, class-id text and the file test for the host build: a
// class table that tests fill stands in for the registered in-process servers.
#include <atomic>
#include <cctype>
#include <cstring>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <utility>
#include <vector>

#include "platform/host/host_control.h"
#include "platform/host/host_system_control.h"
#include "platform/platform.h"

namespace asiochan::platform {

namespace {
std::mutex classLock;
std::vector<std::pair<ClassId, host::ObjectFactory>>& classes() {
    static std::vector<std::pair<ClassId, host::ObjectFactory>> table;
    return table;
}
std::vector<ClassId>& created() {
    static std::vector<ClassId> log;
    return log;
}
std::atomic<int> initializeCalls{0};
std::atomic<int> uninitializeCalls{0};

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads `digits` hex digits at `text`; false when any is not a hex digit.
bool readHex(const char* text, int digits, std::uint32_t* out) {
    std::uint32_t v = 0;
    for (int i = 0; i < digits; ++i) {
        const int d = hexValue(text[i]);
        if (d < 0) return false;
        v = v << 4 | static_cast<std::uint32_t>(d);
    }
    *out = v;
    return true;
}
}  // namespace

void lowerCaseInPlace(char* text, std::uint32_t length) {
    for (std::uint32_t i = 0; i < length; ++i)
        text[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[i])));
}

// The text form "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}", as CLSIDFromString reads
// it; like the wide-text conversion, a text of 100 units or more does not convert.
bool parseClassId(const char* text, ClassId* out) {
    if (text == nullptr || out == nullptr) return false;
    const std::size_t length = std::strlen(text);
    if (length + 1 > 100 || length != 38) return false;
    if (text[0] != '{' || text[9] != '-' || text[14] != '-' || text[19] != '-' || text[24] != '-' || text[37] != '}')
        return false;
    ClassId id{};
    std::uint32_t v = 0;
    if (!readHex(text + 1, 8, &v)) return false;
    id.data1 = v;
    if (!readHex(text + 10, 4, &v)) return false;
    id.data2 = static_cast<std::uint16_t>(v);
    if (!readHex(text + 15, 4, &v)) return false;
    id.data3 = static_cast<std::uint16_t>(v);
    static constexpr int kByteAt[8] = {20, 22, 25, 27, 29, 31, 33, 35};
    for (int i = 0; i < 8; ++i) {
        if (!readHex(text + kByteAt[i], 2, &v)) return false;
        id.data4[i] = static_cast<std::uint8_t>(v);
    }
    *out = id;
    return true;
}

bool fileExists(const char* path) {
    if (path == nullptr) return false;
    const std::string mapped = host::hostPath(path);
    struct stat info {};
    // Like OpenFile, only a file counts, not a folder.
    return !mapped.empty() && ::stat(mapped.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

void comInitialize() { ++initializeCalls; }

void comUninitialize() { ++uninitializeCalls; }

std::int32_t createInProcObject(const ClassId& classId, void** object) {
    host::ObjectFactory factory;
    {
        std::lock_guard<std::mutex> guard(classLock);
        created().push_back(classId);
        for (const auto& c : classes())
            if (c.first == classId) factory = c.second;
    }
    *object = nullptr;
    if (!factory) return host::kClassNotRegistered;
    const std::int32_t result = factory(object);
    if (result != 0) *object = nullptr;
    return result;
}

namespace host {

void clearClasses() {
    std::lock_guard<std::mutex> guard(classLock);
    classes().clear();
    created().clear();
    initializeCalls = 0;
    uninitializeCalls = 0;
}

void registerClass(const ClassId& id, ObjectFactory factory) {
    std::lock_guard<std::mutex> guard(classLock);
    classes().emplace_back(id, std::move(factory));
}

int comInitializeCount() { return initializeCalls.load(); }

int comUninitializeCount() { return uninitializeCalls.load(); }

std::vector<ClassId> createdClasses() {
    std::lock_guard<std::mutex> guard(classLock);
    return created();
}

}  // namespace host
}  // namespace asiochan::platform
