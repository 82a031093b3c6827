#include "driver/driver_list.h"

#include <cstring>
#include <new>

namespace asiochan {

namespace {

constexpr std::uint32_t kSubkeyNameSize = 128;
constexpr std::uint32_t kValueTextSize = 256;
constexpr std::uint32_t kServerPathSize = 512;
constexpr std::uint32_t kClassKeyNameSize = 512;

// Copies `text` into `to` (capacity bytes), shortening it so that the
// terminator always fits.
void copyBounded(char* to, const char* text, std::size_t capacity) {
    std::size_t n = std::strlen(text);
    if (n >= capacity) n = capacity - 1;
    std::memcpy(to, text, n);
    to[n] = '\0';
}

}  // namespace

DriverList::DriverList() {
    scanInstalled();
    currentIndex_ = -1;
}

DriverList::~DriverList() {
    DriverEntry* e = entries_;
    while (e != nullptr) {
        DriverEntry* next = e->nextEntry;
        if (e->driverObject != nullptr) e->driverObject->Release();
        delete e;
        e = next;
    }
    entries_ = nullptr;
    if (count_ > 0) platform::comUninitialize();
}

void DriverList::scanInstalled() {
    entries_ = nullptr;
    count_ = 0;
    platform::RegistryKey key = nullptr;
    if (platform::openRootKey(platform::RegistryRoot::LocalMachine, "software\\asio", &key)) {
        char name[kSubkeyNameSize];
        for (std::uint32_t i = 0; platform::enumSubKey(key, i, name, sizeof name); ++i)
            entries_ = appendEntry(key, name, 0, entries_);
        platform::closeKey(key);
    }
    for (const DriverEntry* e = entries_; e != nullptr; e = e->nextEntry) ++count_;
    if (count_ > 0) platform::comInitialize();
}

// Appends an entry for `subkeyName` at the end of the chain headed by `entry`,
// numbered by its position, and returns the head. The walk to the end comes first
// and reads nothing; a subkey that yields no entry uses up no number.
DriverEntry* DriverList::appendEntry(platform::RegistryKey key, const char* subkeyName, std::int32_t index,
                                     DriverEntry* entry) {
    DriverEntry* tail = nullptr;
    for (DriverEntry* e = entry; e != nullptr; e = e->nextEntry) {
        tail = e;
        ++index;
    }

    platform::RegistryKey subkey = nullptr;
    if (!platform::openSubKeyForReading(key, subkeyName, &subkey)) return entry;

    char text[kValueTextSize];
    if (!platform::queryValue(subkey, "clsid", text, sizeof text)) {
        platform::closeKey(subkey);
        return entry;
    }
    char path[kServerPathSize];
    if (findServerPath(text, path, sizeof path) != 0) {
        platform::closeKey(subkey);
        return entry;
    }

    auto* made = new (std::nothrow) DriverEntry{};
    if (made == nullptr) {
        platform::closeKey(subkey);
        return entry;
    }
    made->index = index;
    platform::ClassId id{};
    if (platform::parseClassId(text, &id)) made->classId = id;

    // A description longer than the entry holds is shortened to its first 127
    // characters.
    if (platform::queryValue(subkey, "description", text, sizeof text))
        copyBounded(made->driverName, text, sizeof made->driverName);
    else
        copyBounded(made->driverName, subkeyName, sizeof made->driverName);
    platform::closeKey(subkey);

    if (tail == nullptr) return made;
    tail->nextEntry = made;
    return entry;
}

// Looks the (lower-cased in place) class id up under HKEY_CLASSES_ROOT "clsid" and
// reads its in-process server path; 0 when the server file exists.
std::int32_t DriverList::findServerPath(char* classIdText, char* path, std::uint32_t size) {
    platform::lowerCaseInPlace(classIdText, static_cast<std::uint32_t>(std::strlen(classIdText)));
    platform::RegistryKey classes = nullptr;
    if (!platform::openRootKey(platform::RegistryRoot::ClassesRoot, "clsid", &classes)) return -1;

    std::int32_t result = -1;
    char name[kClassKeyNameSize];
    for (std::uint32_t i = 0; platform::enumSubKey(classes, i, name, sizeof name); ++i) {
        platform::lowerCaseInPlace(name, static_cast<std::uint32_t>(std::strlen(name)));
        if (std::strcmp(name, classIdText) != 0) continue;
        platform::RegistryKey classKey = nullptr;
        if (platform::openSubKeyForReading(classes, name, &classKey)) {
            platform::RegistryKey server = nullptr;
            if (platform::openSubKeyForReading(classKey, "InprocServer32", &server)) {
                if (platform::queryValue(server, nullptr, path, size) && platform::fileExists(path)) result = 0;
                platform::closeKey(server);
            }
            platform::closeKey(classKey);
        }
        break;
    }
    platform::closeKey(classes);
    return result;
}

DriverEntry* DriverList::entryAt(std::int32_t index) const {
    for (DriverEntry* e = entries_; e != nullptr; e = e->nextEntry)
        if (e->index == index) return e;
    return nullptr;
}

std::int32_t DriverList::copyDriverName(std::int32_t index, char* buffer, std::int32_t size) const {
    if (buffer == nullptr || size < 4) return kDriverListNullPointer;
    const DriverEntry* e = entryAt(index);
    if (e == nullptr) return kDriverListNoEntry;
    const std::size_t length = std::strlen(e->driverName);
    if (length < static_cast<std::size_t>(size)) {
        std::memcpy(buffer, e->driverName, length + 1);
    } else {
        const std::size_t kept = static_cast<std::size_t>(size) - 4;
        std::memcpy(buffer, e->driverName, kept);
        std::memcpy(buffer + kept, "...", 4);
    }
    return 0;
}

std::int32_t DriverList::createDriverObject(std::int32_t index, IASIO** object) {
    if (object == nullptr) return kDriverListNullPointer;
    DriverEntry* e = entryAt(index);
    if (e == nullptr) return kDriverListNoEntry;
    if (e->driverObject != nullptr) return kDriverListEntryBusy;
    void* made = nullptr;
    const std::int32_t result = platform::createInProcObject(e->classId, &made);
    *object = static_cast<IASIO*>(made);
    if (result != 0) return result;
    e->driverObject = *object;
    return 0;
}

std::int32_t DriverList::releaseDriverObject(std::int32_t index) {
    DriverEntry* e = entryAt(index);
    if (e != nullptr && e->driverObject != nullptr) {
        e->driverObject->Release();
        e->driverObject = nullptr;
    }
    return 0;
}

bool DriverList::copyCurrentName(char* buffer) const {
    if (currentIndex_ >= 0) return copyDriverName(currentIndex_, buffer, kDriverNameLimit) == 0;
    buffer[0] = '\0';
    return false;
}

void DriverList::releaseCurrent() {
    if (currentIndex_ != -1) releaseDriverObject(currentIndex_);
    currentIndex_ = -1;
}

void DriverList::abandonCurrent() {
    if (DriverEntry* e = entryAt(currentIndex_)) e->driverObject = nullptr;
    currentIndex_ = -1;
}

std::int32_t DriverList::findByName(const char* name) const {
    if (name == nullptr) return -1;
    char candidate[kDriverNameLimit];
    for (std::int32_t i = 0; i < count_; ++i) {
        if (copyDriverName(i, candidate, sizeof candidate) != 0) continue;
        if (std::strcmp(candidate, name) == 0) return i;
    }
    return -1;
}

IASIO* DriverList::makeCurrent(std::int32_t index) {
    IASIO* made = nullptr;
    if (createDriverObject(index, &made) != 0) return nullptr;
    currentIndex_ = index;
    return made;
}

}  // namespace asiochan
