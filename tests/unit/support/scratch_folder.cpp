// Gives the test process a scratch folder of its own and points
// ::testing::TempDir() at it, so that cases written with fixed file names can run
// in several processes at once (ctest -j) without meeting each other's files.
// The folder goes when the process's tests end.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

class ScratchFolder : public ::testing::Environment {
public:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "asiochan-unit.XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) return;  // TempDir() stays the shared default
        path_ = pattern;
        ::setenv("TEST_TMPDIR", path_.c_str(), 1);
    }
    void TearDown() override {
        if (path_.empty()) return;
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }

private:
    std::string path_;
};

// Registered before main runs; GoogleTest owns the object from here on.
[[maybe_unused]] ::testing::Environment* const scratch = ::testing::AddGlobalTestEnvironment(new ScratchFolder);

}  // namespace
