// The device set-up service for the host build: a list of present USB device
// interface paths that tests set.
#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "platform/host/host_system_control.h"
#include "platform/platform.h"

namespace asiochan::platform {

namespace {
std::mutex deviceLock;
std::vector<std::string> paths;
int failingDetail = -1;
bool unavailable = false;
ClassId lastClass{};
std::atomic<int> openSets{0};

struct DeviceSet {
    std::vector<std::string> paths;
    int failingDetail;
};
}  // namespace

DeviceInterfaceSet openPresentDeviceInterfaces(const ClassId& interfaceClass) {
    std::lock_guard<std::mutex> guard(deviceLock);
    lastClass = interfaceClass;
    if (unavailable) return nullptr;
    ++openSets;
    return new DeviceSet{paths, failingDetail};
}

DeviceInterfaceQuery queryDeviceInterfacePath(DeviceInterfaceSet set, const ClassId& /*interfaceClass*/,
                                              std::uint32_t index, char* path, std::uint32_t size) {
    const auto* s = static_cast<const DeviceSet*>(set);
    if (s == nullptr || index >= s->paths.size()) return DeviceInterfaceQuery::NoMoreInterfaces;
    if (static_cast<int>(index) == s->failingDetail || path == nullptr || size == 0)
        return DeviceInterfaceQuery::DetailFailed;
    const std::string& p = s->paths[index];
    const std::size_t n = p.size() < size - 1 ? p.size() : size - 1;
    std::memcpy(path, p.data(), n);
    path[n] = '\0';
    return DeviceInterfaceQuery::Path;
}

void closeDeviceInterfaces(DeviceInterfaceSet set) {
    if (set == nullptr) return;
    delete static_cast<DeviceSet*>(set);
    --openSets;
}

namespace host {

void setDeviceInterfacePaths(std::vector<std::string> list) {
    std::lock_guard<std::mutex> guard(deviceLock);
    paths = std::move(list);
}

void failDeviceDetailQueryAt(int index) {
    std::lock_guard<std::mutex> guard(deviceLock);
    failingDetail = index;
}

void setDeviceSetUnavailable(bool value) {
    std::lock_guard<std::mutex> guard(deviceLock);
    unavailable = value;
}

int openDeviceSetCount() { return openSets.load(); }

ClassId lastDeviceInterfaceClass() {
    std::lock_guard<std::mutex> guard(deviceLock);
    return lastClass;
}

void clearDevices() {
    std::lock_guard<std::mutex> guard(deviceLock);
    paths.clear();
    failingDetail = -1;
    unavailable = false;
    lastClass = ClassId{};
}

}  // namespace host
}  // namespace asiochan::platform
