// The installed ASIO drivers as the registry lists them, and the creating and
// releasing of their driver objects. Which driver is current, and the order of a
// switch, belong to the driver session above this folder.
#pragma once

#include <cstdint>

#include "driver/asio_driver.h"
#include "platform/platform.h"

namespace asiochan {

// Every name handed out or compared passes through a buffer of this size.
constexpr std::int32_t kDriverNameLimit = 32;

// Result codes of the list operations.
constexpr std::int32_t kDriverListNullPointer = -5001;
constexpr std::int32_t kDriverListEntryBusy = -5002;
constexpr std::int32_t kDriverListNoEntry = -5003;

// One installed driver.
struct DriverEntry {
    std::int32_t index;         // position in the chain, from 0
    platform::ClassId classId;  // all zero when the "clsid" text did not parse
    char driverName[128];       // the "description" value, else the subkey name
    IASIO* driverObject;        // the created object (one reference), or null
    DriverEntry* nextEntry;
};

class DriverList {
public:
    // Reads the registry (scanInstalled); no driver is loaded.
    DriverList();
    // Releases every entry's object, frees the entries, and balances the COM
    // initialization of the scan.
    ~DriverList();
    DriverList(const DriverList&) = delete;
    DriverList& operator=(const DriverList&) = delete;

    std::int32_t count() const { return count_; }
    std::int32_t currentIndex() const { return currentIndex_; }
    const DriverEntry* entries() const { return entries_; }

    DriverEntry* entryAt(std::int32_t index) const;
    std::int32_t copyDriverName(std::int32_t index, char* buffer, std::int32_t size) const;
    std::int32_t createDriverObject(std::int32_t index, IASIO** object);
    std::int32_t releaseDriverObject(std::int32_t index);
    bool copyCurrentName(char* buffer) const;
    // Releases the current entry's object; no entry is current afterwards.
    void releaseCurrent();
    // Lets the current entry's object go without releasing it (a leak, for an
    // object whose thread may still be running); no entry is current afterwards.
    void abandonCurrent();
    // The index of the entry whose (shortened) name is `name`, or -1.
    std::int32_t findByName(const char* name) const;
    // Creates the object of entry `index` and makes the entry current; null (and
    // nothing current) when it cannot be created.
    IASIO* makeCurrent(std::int32_t index);

    // Registry walk helpers, public for the tests of their rules.
    static DriverEntry* appendEntry(platform::RegistryKey key, const char* subkeyName, std::int32_t index,
                                    DriverEntry* entry);
    static std::int32_t findServerPath(char* classIdText, char* path, std::uint32_t size);

private:
    void scanInstalled();

    DriverEntry* entries_ = nullptr;
    std::int32_t count_ = 0;
    std::int32_t currentIndex_ = -1;
};

}  // namespace asiochan
