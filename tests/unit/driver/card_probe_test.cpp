#include <string>
#include <vector>

#include "driver/card_probe.h"
#include "driver/installed_drivers_fixture.h"

namespace asiochan {
namespace {

namespace host = platform::host;

const std::string kSuffix = "#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
const std::string kPrefix = "\\\\?\\usb#";  // the eight characters before the id

struct ProbeCase {
    const char* what;
    std::vector<std::string> paths;
    int failingDetail;
    bool present;
};

class CardProbe : public testing::InstalledDriversTest, public ::testing::WithParamInterface<ProbeCase> {
protected:
    void TearDown() override {
        host::clearDevices();
        InstalledDriversTest::TearDown();
    }
};

TEST_P(CardProbe, MatchesTheHardwareIdAfterThePathPrefix) {
    const ProbeCase& c = GetParam();
    host::setDeviceInterfacePaths(c.paths);
    host::failDeviceDetailQueryAt(c.failingDetail);
    EXPECT_EQ(scanForCard(), c.present) << c.what;
    EXPECT_EQ(host::openDeviceSetCount(), 0) << "the interface set is destroyed";
    EXPECT_EQ(host::lastDeviceInterfaceClass(), kUsbDeviceInterfaceClass);
}

INSTANTIATE_TEST_SUITE_P(
    DevicePaths, CardProbe,
    ::testing::Values(
        ProbeCase{"id, serial and class suffix", {kPrefix + "vid_4f2a&pid_0a17#5&1a2b3c&0&1" + kSuffix}, -1, true},
        ProbeCase{"path ends right after the id", {kPrefix + "vid_4f2a&pid_0a18"}, -1, true},
        ProbeCase{"other product id", {kPrefix + "vid_4f2a&pid_0a19#1" + kSuffix}, -1, false},
        ProbeCase{"id in capitals", {kPrefix + "VID_4F2A&PID_0A17#1" + kSuffix}, -1, false},
        ProbeCase{"id one character early", {"\\\\?\\usb" + std::string("vid_4f2a&pid_0a17#1")}, -1, false},
        ProbeCase{"path shorter than the prefix", {"\\\\?\\u"}, -1, false},
        ProbeCase{"id cut short", {kPrefix + "vid_4f2a&pid_0a1"}, -1, false},
        ProbeCase{"only the last of several matches",
                  {kPrefix + "vid_046d&pid_c52b#1" + kSuffix, kPrefix + "vid_4f2a&pid_0a16#2" + kSuffix,
                   kPrefix + "vid_4f2a&pid_0a18#3" + kSuffix},
                  -1,
                  true},
        ProbeCase{"failed detail query ends the scan before a match",
                  {kPrefix + "vid_046d&pid_c52b#1" + kSuffix, kPrefix + "vid_4f2a&pid_0a17#2" + kSuffix},
                  0,
                  false},
        ProbeCase{"no device at all", {}, -1, false}));

TEST_F(CardProbe, NoDeviceSetAnswersFalse) {
    host::setDeviceInterfacePaths({kPrefix + "vid_4f2a&pid_0a17"});
    host::setDeviceSetUnavailable(true);
    EXPECT_FALSE(scanForCard());
}

TEST_F(CardProbe, TheExportCreatesTheDriverList) {
    install(1, "sim", "Sim");
    ASSERT_EQ(testing::library().session.existingList(), nullptr);
    EXPECT_EQ(IsLxcardInsert(), 0);
    ASSERT_NE(testing::library().session.existingList(), nullptr);
    EXPECT_EQ(testing::library().session.existingList()->count(), 1);
    EXPECT_EQ(host::comInitializeCount(), 1);

    host::setDeviceInterfacePaths({kPrefix + "vid_4f2a&pid_0a17"});
    EXPECT_EQ(IsLxcardInsert(), 1);
}

}  // namespace
}  // namespace asiochan
