// Test control of the host build's stand-ins for the registry, COM object
// creation and the device set-up service. Tests fill them; the library reads
// them through src/platform/platform.h as it would the real services.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace asiochan::platform::host {

// ---- Registry ---------------------------------------------------------------------
// Key paths are below a root, components separated by backslashes, matched
// without regard to letter case as Windows does. Subkeys enumerate in the order
// they were first added.
void clearRegistry();
void addRegistryKey(RegistryRoot root, const std::string& path);
// Sets a value (creating the key); an empty name is the key's default value. The
// text is stored with its terminator, as a REG_SZ value is.
void setRegistryText(RegistryRoot root, const std::string& path, const std::string& name, const std::string& text);
// Stores the bytes exactly as given, with no terminator added.
void setRegistryBytes(RegistryRoot root, const std::string& path, const std::string& name, const std::string& bytes);
// Keys opened and not yet closed.
int openRegistryKeyCount();
// Calls of any registry function since the last clearRegistry().
std::uint64_t registryCallCount();

// ---- COM --------------------------------------------------------------------------
// Makes an object of a class: stores it and answers 0, or answers a failure.
using ObjectFactory = std::function<std::int32_t(void** object)>;
// REGDB_E_CLASSNOTREG, the answer for a class nobody registered.
constexpr std::int32_t kClassNotRegistered = static_cast<std::int32_t>(0x80040154u);
void clearClasses();
void registerClass(const ClassId& id, ObjectFactory factory);
int comInitializeCount();
int comUninitializeCount();
// The classes asked for by createInProcObject, in order.
std::vector<ClassId> createdClasses();

// ---- USB device interfaces ------------------------------------------------------
// The device paths of the present interfaces, in enumeration order.
void setDeviceInterfacePaths(std::vector<std::string> paths);
// Makes the detail query of member `index` fail (-1: none fails).
void failDeviceDetailQueryAt(int index);
// Makes opening the interface set fail.
void setDeviceSetUnavailable(bool unavailable);
int openDeviceSetCount();
// The interface class of the last set opened.
ClassId lastDeviceInterfaceClass();
// Puts the device stand-in back to: no devices, nothing failing.
void clearDevices();

}  // namespace asiochan::platform::host
