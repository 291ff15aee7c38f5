// Test entry point: every test process works in a private data and cache
// folder, never the user's real one, and in a fixed C numeric locale unless
// a test changes it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {
std::string makeTempHome() {
    std::string pattern = (std::filesystem::temp_directory_path() / "pellucine-test-XXXXXX").string();
    char* made = mkdtemp(pattern.data());
    return made ? std::string(made) : std::string("/tmp");
}
}  // namespace

int main(int argc, char** argv) {
    const std::string home = makeTempHome();
    setenv("XDG_DATA_HOME", (home + "/data").c_str(), 1);
    setenv("XDG_CACHE_HOME", (home + "/cache").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
    return result;
}
