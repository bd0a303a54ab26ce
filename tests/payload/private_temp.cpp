// Every test of this program works in a private temporary folder, so that
// it can tell exactly which temporary files the installer left behind even
// while other test programs use the prefix's temporary folder.
#include "payloadkit.h"
#include "testfiles.h"

#include <gtest/gtest.h>

namespace {

class PrivateTempFolder : public ::testing::Environment {
public:
    void SetUp() override
    {
        original_ = TempFolder();
        path_ = original_ + L"zelto-payload-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
        // Left by an earlier run that was stopped, whose process id this one has.
        RemoveTree(path_);
        ASSERT_TRUE(CreateDirectoryW(path_.c_str(), nullptr));
        SetEnvironmentVariableW(L"TMP", path_.c_str());
        SetEnvironmentVariableW(L"TEMP", path_.c_str());
        ASSERT_EQ(TempFolder(), path_);
    }

    void TearDown() override
    {
        SetEnvironmentVariableW(L"TMP", original_.c_str());
        SetEnvironmentVariableW(L"TEMP", original_.c_str());
        RemoveTree(path_);
    }

private:
    std::wstring original_;
    std::wstring path_;
};

// Registered before main runs; GoogleTest owns the environment.
[[maybe_unused]] ::testing::Environment* const privateTemp = ::testing::AddGlobalTestEnvironment(new PrivateTempFolder);

} // namespace
