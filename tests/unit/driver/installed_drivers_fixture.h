// A fresh driver list over the host build's registry and class table, with
// helpers that install simulated drivers the way an installer would.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "driver/call_layer.h"
#include "driver/driver_list.h"
#include "engine/engine_state.h"
#include "platform/host/host_system_control.h"
#include "simdriver/core/sim_driver.h"
#include "support/test_library.h"

namespace asiochan::testing {

// What became of the driver objects a test made.
struct DriverFates {
    std::atomic<int> destroyed{0};
    // Whether the last object destroyed had been stopped and had its buffers
    // disposed of (when it had been started at all).
    std::atomic<bool> stoppedBeforeRelease{false};
    std::atomic<bool> clockRunningAtRelease{false};
};

// A simulated driver that notes its destruction, so tests see releases.
class TrackedDriver : public sim::SimDriver {
public:
    TrackedDriver(sim::SimConfig config, DriverFates* fates) : SimDriver(std::move(config)), fates_(fates) {}

protected:
    ~TrackedDriver() override {
        fates_->clockRunningAtRelease = clock().running();
        fates_->stoppedBeforeRelease = callCount(sim::Slot::start) == callCount(sim::Slot::stop) &&
                                       callCount(sim::Slot::createBuffers) == callCount(sim::Slot::disposeBuffers);
        ++fates_->destroyed;
    }

private:
    DriverFates* fates_;
};

class InstalledDriversTest : public ::testing::Test {
protected:
    using Root = platform::RegistryRoot;

    void SetUp() override {
        freshLibrary();
        platform::host::clearRegistry();
        platform::host::clearClasses();
        char name[] = "/tmp/asiochan-server-XXXXXX";
        const int fd = ::mkstemp(name);
        ASSERT_GE(fd, 0);
        ::close(fd);
        serverPath_ = name;
    }

    void TearDown() override {
        dropLibrary();
        EXPECT_EQ(platform::host::openRegistryKeyCount(), 0);
        platform::host::clearRegistry();
        platform::host::clearClasses();
        std::remove(serverPath_.c_str());
    }

    static std::string classText(int n) {
        char text[40];
        std::snprintf(text, sizeof text, "{5A1B0000-0000-4000-8000-%012X}", static_cast<unsigned>(n));
        return text;
    }
    static platform::ClassId classId(int n) {
        platform::ClassId id{};
        const std::string text = classText(n);
        EXPECT_TRUE(platform::parseClassId(text.c_str(), &id));
        return id;
    }

    // The class's server key under HKEY_CLASSES_ROOT "clsid" (the key name is the
    // text as given), with its in-process server path.
    void registerServer(const std::string& clsid, const std::string& path) {
        platform::host::setRegistryText(Root::ClassesRoot, "CLSID\\" + clsid + "\\InprocServer32", "", path);
    }

    // A subkey under "software\asio" with its "clsid" and, unless empty, "description".
    void addAsioKey(const std::string& subkey, const std::string& clsid, const std::string& description) {
        const std::string key = "SOFTWARE\\ASIO\\" + subkey;
        platform::host::setRegistryText(Root::LocalMachine, key, "CLSID", clsid);
        if (!description.empty()) platform::host::setRegistryText(Root::LocalMachine, key, "Description", description);
    }

    // A complete installation of simulated driver n, made by `config`.
    void install(int n, const std::string& subkey, const std::string& description, sim::SimConfig config = {}) {
        addAsioKey(subkey, classText(n), description);
        registerServer(classText(n), serverPath_);
        platform::host::registerClass(classId(n), [this, n, config](void** object) {
            if (refusing_ == n) return static_cast<std::int32_t>(0x80004005u);  // E_FAIL
            auto* d = new TrackedDriver(config, &fates_);
            ++created_;
            last_ = d;
            *object = static_cast<IASIO*>(d);
            return 0;
        });
    }

    std::string serverPath_;
    std::atomic<int> created_{0};
    DriverFates fates_;
    std::atomic<int>& destroyed_ = fates_.destroyed;
    sim::SimDriver* last_ = nullptr;
    int refusing_ = -1;  // the driver whose creation fails
};

}  // namespace asiochan::testing
