#include <cstring>
#include <string>

#include "driver/installed_drivers_fixture.h"
#include "asiochan.h"

namespace asiochan {
namespace {

using platform::host::comInitializeCount;
using platform::host::comUninitializeCount;
using testing::InstalledDriversTest;

std::string nameAt(std::int32_t index) {
    char name[kDriverNameLimit];
    std::memset(name, 'x', sizeof name);
    if (getAsioDriverName(index, name) != 0) return "<none>";
    return name;
}

// What is wrong with the first of three installed drivers.
enum class Missing { ClsidValue, ClassKey, ServerKey, ServerValue, ServerFile, ServerIsAFolder, ReadableClsid };

class SkippedEntry : public InstalledDriversTest, public ::testing::WithParamInterface<Missing> {};

TEST_P(SkippedEntry, GivesNoEntryAndUsesUpNoNumber) {
    const std::string broken = classText(9);
    switch (GetParam()) {
        case Missing::ClsidValue:
            platform::host::setRegistryText(Root::LocalMachine, "SOFTWARE\\ASIO\\A broken", "Description", "broken");
            break;
        case Missing::ClassKey:
            addAsioKey("A broken", broken, "broken");
            break;
        case Missing::ServerKey:
            addAsioKey("A broken", broken, "broken");
            platform::host::addRegistryKey(Root::ClassesRoot, "CLSID\\" + broken);
            break;
        case Missing::ServerValue:
            addAsioKey("A broken", broken, "broken");
            platform::host::setRegistryText(Root::ClassesRoot, "CLSID\\" + broken + "\\InprocServer32",
                                            "ThreadingModel", "Apartment");
            break;
        case Missing::ServerFile:
            addAsioKey("A broken", broken, "broken");
            registerServer(broken, serverPath_ + ".gone");
            break;
        case Missing::ServerIsAFolder:
            addAsioKey("A broken", broken, "broken");
            registerServer(broken, "/tmp");
            break;
        case Missing::ReadableClsid:
            // A "clsid" text too long for its 256-byte read, even with a matching class key.
            addAsioKey("A broken", std::string(300, 'x'), "broken");
            registerServer(std::string(300, 'x'), serverPath_);
            break;
    }
    install(1, "B second", "Second");
    install(2, "C third", "Third");

    EXPECT_EQ(getAsioDriverCount(), 2);
    EXPECT_EQ(nameAt(0), "Second");
    EXPECT_EQ(nameAt(1), "Third");
    EXPECT_EQ(nameAt(2), "<none>");
    const DriverEntry* first = testing::library().session.existingList()->entries();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->index, 0);
    ASSERT_NE(first->nextEntry, nullptr);
    EXPECT_EQ(first->nextEntry->index, 1);
    EXPECT_EQ(first->nextEntry->nextEntry, nullptr);
    EXPECT_EQ(first->classId, classId(1));
    EXPECT_EQ(comInitializeCount(), 1);
}

INSTANTIATE_TEST_SUITE_P(EachMissingPiece, SkippedEntry,
                         ::testing::Values(Missing::ClsidValue, Missing::ClassKey, Missing::ServerKey,
                                           Missing::ServerValue, Missing::ServerFile, Missing::ServerIsAFolder,
                                           Missing::ReadableClsid));

TEST_F(InstalledDriversTest, NoAsioKeyGivesAnEmptyListWithoutCom) {
    EXPECT_EQ(getAsioDriverCount(), 0);
    char name[kDriverNameLimit];
    EXPECT_EQ(getAsioDriverName(0, name), kDriverListNoEntry);
    EXPECT_EQ(loadAsioDriver("anything"), 0);
    EXPECT_EQ(comInitializeCount(), 0);
    dropLibrary();
    EXPECT_EQ(comUninitializeCount(), 0);
}

TEST_F(InstalledDriversTest, TheRegistryIsReadOnceAndComBalancedWhenTheListGoes) {
    install(1, "sim", "Sim");
    EXPECT_EQ(getAsioDriverCount(), 1);
    const auto reads = platform::host::registryCallCount();
    install(2, "later", "Later");
    EXPECT_EQ(getAsioDriverCount(), 1);
    EXPECT_EQ(platform::host::registryCallCount(), reads);
    ASSERT_TRUE(loadAsioDriver("Sim"));
    dropLibrary();
    EXPECT_EQ(destroyed_, 1);
    EXPECT_EQ(comInitializeCount(), 1);
    EXPECT_EQ(comUninitializeCount(), 1);
}

TEST_F(InstalledDriversTest, NameFallsBackToTheSubkeyName) {
    install(1, "Subkey Name", "");
    EXPECT_EQ(nameAt(0), "Subkey Name");
}

TEST_F(InstalledDriversTest, NamesOf32CharactersOrMoreAreShortenedAndLoadOnlyShortened) {
    const std::string n31(31, 'a');
    const std::string n32 = std::string(31, 'b') + "c";
    const std::string n40 = "0123456789012345678901234567890123456789";
    install(1, "k31", n31);
    install(2, "k32", n32);
    install(3, "k40", n40);
    EXPECT_EQ(nameAt(0), n31);
    EXPECT_EQ(nameAt(1), std::string(28, 'b') + "...");
    EXPECT_EQ(nameAt(2), n40.substr(0, 28) + "...");
    EXPECT_EQ(nameAt(2).size(), 31u);

    EXPECT_FALSE(loadAsioDriver(n40.c_str()));
    EXPECT_EQ(created_, 0);
    EXPECT_TRUE(loadAsioDriver((n40.substr(0, 28) + "...").c_str()));
    EXPECT_EQ(testing::library().session.existingList()->currentIndex(), 2);
    EXPECT_TRUE(loadAsioDriver(n31.c_str()));
    EXPECT_EQ(testing::library().session.existingList()->currentIndex(), 0);
}

TEST_F(InstalledDriversTest, LongDescriptionsAreCutToWhatTheEntryHolds) {
    install(1, "k127", std::string(127, 'p'));
    install(2, "k200", std::string(200, 'q'));
    install(3, "too long to read", std::string(300, 'r'));  // does not fit the 256-byte read
    ASSERT_EQ(getAsioDriverCount(), 3);
    const DriverEntry* e = testing::library().session.existingList()->entries();
    EXPECT_EQ(std::string(e->driverName), std::string(127, 'p'));
    EXPECT_EQ(std::string(e->nextEntry->driverName), std::string(127, 'q'));
    EXPECT_EQ(std::string(e->nextEntry->nextEntry->driverName), "too long to read");
    EXPECT_EQ(nameAt(1), std::string(28, 'q') + "...");
}

TEST_F(InstalledDriversTest, UnterminatedRegistryTextIsReadSafely) {
    install(1, "sim", "");
    platform::host::setRegistryBytes(Root::LocalMachine, "SOFTWARE\\ASIO\\sim", "Description", "Raw name");
    // A value that fills the whole 256-byte buffer with no terminator does not fit.
    install(2, "full", "");
    platform::host::setRegistryBytes(Root::LocalMachine, "SOFTWARE\\ASIO\\full", "Description", std::string(256, 'z'));
    EXPECT_EQ(nameAt(0), "Raw name");
    EXPECT_EQ(nameAt(1), "full");
}

TEST_F(InstalledDriversTest, UpperCaseClassIdTextFindsItsClass) {
    addAsioKey("upper", classText(1), "Upper");  // classText is upper case
    std::string lower = classText(1);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    registerServer(lower, serverPath_);
    platform::host::registerClass(classId(1), [](void** o) {
        *o = static_cast<IASIO*>(new sim::SimDriver({}));
        return 0;
    });
    EXPECT_EQ(getAsioDriverCount(), 1);
    EXPECT_TRUE(loadAsioDriver("Upper"));
    releaseAsioDriver();
}

TEST_F(InstalledDriversTest, UnparsableClassIdGivesAnEntryThatCannotBeCreated) {
    addAsioKey("odd", "not-a-class-id", "Odd");
    registerServer("NOT-A-CLASS-ID", serverPath_);
    ASSERT_EQ(getAsioDriverCount(), 1);
    EXPECT_EQ(testing::library().session.existingList()->entries()->classId, platform::ClassId{});
    EXPECT_FALSE(loadAsioDriver("Odd"));
    EXPECT_EQ(driverCalls().current(), nullptr);
}

TEST_F(InstalledDriversTest, BadArgumentsGetCodesNotCrashes) {
    install(1, "sim", "Sim");
    EXPECT_EQ(getAsioDriverName(0, nullptr), kDriverListNullPointer);
    EXPECT_EQ(getAsioDriverName(-1, nullptr), kDriverListNullPointer);
    char name[kDriverNameLimit];
    EXPECT_EQ(getAsioDriverName(-1, name), kDriverListNoEntry);
    EXPECT_EQ(getAsioDriverName(1, name), kDriverListNoEntry);
    EXPECT_EQ(loadAsioDriver(nullptr), 0);

    DriverList& list = *testing::library().session.existingList();
    IASIO* object = nullptr;
    EXPECT_EQ(list.createDriverObject(0, nullptr), kDriverListNullPointer);
    EXPECT_EQ(list.createDriverObject(5, &object), kDriverListNoEntry);
    EXPECT_EQ(list.createDriverObject(0, &object), 0);
    EXPECT_EQ(list.createDriverObject(0, &object), kDriverListEntryBusy);
    EXPECT_EQ(list.releaseDriverObject(0), 0);
    EXPECT_EQ(list.releaseDriverObject(7), 0);
    EXPECT_EQ(destroyed_, 1);
}

TEST_F(InstalledDriversTest, LoadingIsCaseSensitiveAndAMissChangesNothing) {
    install(1, "sim", "Sim Driver");
    ASSERT_TRUE(loadAsioDriver("Sim Driver"));
    IASIO* loaded = driverCalls().current();
    EXPECT_FALSE(loadAsioDriver("sim driver"));
    EXPECT_FALSE(loadAsioDriver("Sim Driver "));
    EXPECT_EQ(driverCalls().current(), loaded);
    EXPECT_EQ(testing::library().session.existingList()->currentIndex(), 0);
    EXPECT_EQ(created_, 1);
    EXPECT_EQ(destroyed_, 0);
}

TEST_F(InstalledDriversTest, LoadingTheLoadedDriverAgainMakesAFreshObject) {
    install(1, "sim", "Sim");
    ASSERT_TRUE(loadAsioDriver("Sim"));
    ASSERT_TRUE(loadAsioDriver("Sim"));
    EXPECT_EQ(created_, 2);
    EXPECT_EQ(destroyed_, 1);
    EXPECT_EQ(driverCalls().current(), static_cast<IASIO*>(last_));
}

TEST_F(InstalledDriversTest, AFailedCreationBringsThePreviousDriverBack) {
    install(1, "a", "A");
    install(2, "b", "B");
    refusing_ = 2;
    ASSERT_TRUE(loadAsioDriver("A"));
    EXPECT_FALSE(loadAsioDriver("B"));
    EXPECT_EQ(created_, 2);  // A, then A again
    EXPECT_EQ(destroyed_, 1);
    EXPECT_EQ(driverCalls().current(), static_cast<IASIO*>(last_));
    EXPECT_EQ(testing::library().session.existingList()->currentIndex(), 0);
    const auto asked = platform::host::createdClasses();
    ASSERT_EQ(asked.size(), 3u);
    EXPECT_EQ(asked[1], classId(2));
    EXPECT_EQ(asked[2], classId(1));
}

TEST_F(InstalledDriversTest, WhenThePreviousDriverFailsTooNoneIsLoaded) {
    install(1, "a", "A");
    install(2, "b", "B");
    ASSERT_TRUE(loadAsioDriver("A"));
    platform::host::clearClasses();  // no class can be created any more
    refusing_ = 2;
    EXPECT_FALSE(loadAsioDriver("B"));
    EXPECT_EQ(driverCalls().current(), nullptr);
    EXPECT_EQ(testing::library().session.existingList()->currentIndex(), -1);
    EXPECT_EQ(destroyed_, 1);
    ASSERT_EQ(platform::host::createdClasses().size(), 2u);  // B, then A
}

TEST_F(InstalledDriversTest, AFailedCreationWithNothingLoadedBeforeLoadsNothing) {
    install(1, "a", "A");
    refusing_ = 1;
    EXPECT_FALSE(loadAsioDriver("A"));
    EXPECT_EQ(driverCalls().current(), nullptr);
    EXPECT_EQ(platform::host::createdClasses().size(), 1u);
}

TEST_F(InstalledDriversTest, ReleaseBeforeAnyOtherExportReadsNothing) {
    install(1, "a", "A");
    const auto before = platform::host::registryCallCount();
    releaseAsioDriver();
    EXPECT_EQ(testing::library().session.existingList(), nullptr);
    EXPECT_EQ(platform::host::registryCallCount(), before);
    EXPECT_EQ(comInitializeCount(), 0);
}

TEST_F(InstalledDriversTest, ReleaseLeavesEveryDriverCallAnsweringNotPresent) {
    install(1, "a", "A");
    ASSERT_TRUE(loadAsioDriver("A"));
    releaseAsioDriver();
    EXPECT_EQ(destroyed_, 1);
    EXPECT_EQ(driverCalls().current(), nullptr);
    EXPECT_EQ(testing::library().session.existingList()->currentIndex(), -1);
    ASIODriverInfo info{};
    EXPECT_EQ(driverCalls().ASIOInit(&info), ASE_NotPresent);
    EXPECT_EQ(driverCalls().ASIOStart(), ASE_NotPresent);
    releaseAsioDriver();  // twice is harmless
    EXPECT_EQ(destroyed_, 1);
}

TEST_F(InstalledDriversTest, TheObjectOfARefusedInitIsReleasedLater) {
    sim::SimConfig refusing;
    refusing.refuseInit = true;
    install(1, "a", "A", refusing);
    ASSERT_TRUE(loadAsioDriver("A"));
    ASIODriverInfo info{};
    EXPECT_EQ(driverCalls().ASIOInit(&info), ASE_NotPresent);
    EXPECT_EQ(driverCalls().current(), nullptr);
    EXPECT_EQ(destroyed_, 0);  // the list still holds it
    releaseAsioDriver();
    EXPECT_EQ(destroyed_, 1);

    // The next load releases a refused object as well.
    ASSERT_TRUE(loadAsioDriver("A"));
    EXPECT_EQ(driverCalls().ASIOInit(&info), ASE_NotPresent);
    ASSERT_TRUE(loadAsioDriver("A"));
    EXPECT_EQ(destroyed_, 2);
}

TEST_F(InstalledDriversTest, AnEnumeratedNameTooLongForItsBufferEndsTheScan) {
    install(1, "a", "A");
    install(2, std::string(130, 'k'), "Long key");
    install(3, "c", "C");
    EXPECT_EQ(getAsioDriverCount(), 1);
}

}  // namespace
}  // namespace asiochan

namespace asiochan {
namespace {

// A run prepared on a free-running driver whose clock calls the engine as fast
// as it can, with playback and capture under way.
class ReleaseWhilePrepared : public testing::InstalledDriversTest {
protected:
    void TearDown() override {
        Finish();
        InstalledDriversTest::TearDown();
    }

    void prepareRunningDriver() {
        sim::SimConfig config;
        config.outputs = 2;
        config.inputs = 2;
        config.keepCallLog = false;
        install(1, "a", "A", config);
        install(2, "b", "B", config);
        ASSERT_TRUE(loadAsioDriver("A"));
        last_->clock().options().freeRunning = true;
        last_->clock().options().inputFill = sim::InputFill::loopback;
        ASSERT_EQ(Initialize(), ASE_OK);
        ASSERT_EQ(Prepare(), ASE_OK);
        ASSERT_TRUE(last_->clock().waitForPeriods(3));
        static std::uint8_t tone[4096] = {1, 2, 3};
        ASSERT_EQ(SetPlayBuffer(tone, sizeof tone, 0), ASE_OK);
        StartPlayback();
        ASSERT_EQ(SetCaptureBuffer(capture_, sizeof capture_, 1), ASE_OK);
        StartCapture();
        ASSERT_EQ(engine().runPrepared.load(), 1);
    }

    std::uint8_t capture_[1 << 16];
};

TEST_F(ReleaseWhilePrepared, ReleaseFinishesTheRunBeforeTheDriverGoes) {
    prepareRunningDriver();
    releaseAsioDriver();
    EXPECT_EQ(destroyed_, 1);
    EXPECT_TRUE(fates_.stoppedBeforeRelease);
    EXPECT_FALSE(fates_.clockRunningAtRelease);
    EXPECT_EQ(engine().runPrepared.load(), 0);
    EXPECT_EQ(engine().playbackRunning(), 0);
    EXPECT_EQ(engine().captureRunning(), 0);
    EXPECT_EQ(Prepare(), ASE_NotPresent);
}

TEST_F(ReleaseWhilePrepared, LoadingAnotherDriverFinishesTheRunFirst) {
    prepareRunningDriver();
    EXPECT_FALSE(loadAsioDriver("no such driver"));  // nothing changes: the run goes on
    EXPECT_EQ(engine().runPrepared.load(), 1);
    EXPECT_TRUE(last_->clock().running());

    ASSERT_TRUE(loadAsioDriver("B"));
    EXPECT_EQ(destroyed_, 1);
    EXPECT_TRUE(fates_.stoppedBeforeRelease);
    EXPECT_EQ(engine().runPrepared.load(), 0);
    // The new driver starts a run of its own.
    ASSERT_EQ(Initialize(), ASE_OK);
    EXPECT_EQ(Prepare(), ASE_OK);
}

}  // namespace
}  // namespace asiochan
