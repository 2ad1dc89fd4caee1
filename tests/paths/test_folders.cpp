// The process's folder, the current folder and the application data folder.
#include <vqx/paths.h>

#include "../trace/scratch_folder.h"

#include <gtest/gtest.h>

#include <string>

using namespace vqx;

namespace {
std::wstring S(const vqx_wstring& text) { return std::wstring(text.c_str()); }

// Sets (or with null removes) APPDATA for the test's lifetime.
class AppDataOverride {
public:
    explicit AppDataOverride(const wchar_t* value) {
        wchar_t old[1024];
        const DWORD length = GetEnvironmentVariableW(L"APPDATA", old, 1024);
        m_had = length > 0 && length < 1024;
        if (m_had) m_old = old;
        SetEnvironmentVariableW(L"APPDATA", value);
    }
    ~AppDataOverride() { SetEnvironmentVariableW(L"APPDATA", m_had ? m_old.c_str() : nullptr); }

private:
    bool m_had = false;
    std::wstring m_old;
};
}  // namespace

TEST(Folders, ProcessPathAndFolder) {
    wchar_t expected[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, expected, MAX_PATH);
    EXPECT_EQ(S(vqx_get_process_path()), expected);
    std::wstring folder = expected;
    folder.erase(folder.rfind(L'\\'));
    EXPECT_EQ(S(vqx_get_process_folder()), folder);
}

TEST(Folders, CurrentFolderIsTheParentOfTheCurrentDirectory) {
    ScratchFolder scratch(L"folders_current");
    wchar_t saved[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, saved);
    ASSERT_TRUE(SetCurrentDirectoryW(scratch.Path().c_str()));
    const std::wstring path = S(vqx_get_current_path());
    const std::wstring folder = S(vqx_get_current_folder());
    SetCurrentDirectoryW(saved);
    EXPECT_EQ(path, scratch.Path());
    EXPECT_EQ(folder, std::wstring(saved));  // the scratch folder's last component counts as a name
}

TEST(Folders, ApplicationDataPathAppendsTheFixedSubfolderWhenItFits) {
    AppDataOverride appData(L"C:\\Users\\me\\AppData\\Roaming");
    const std::wstring expected = L"C:\\Users\\me\\AppData\\Roaming\\QZT\\";
    std::wstring buffer(expected.size() + 4, L'#');
    ASSERT_TRUE(vqx_get_application_data_path(&buffer[0], static_cast<unsigned>(expected.size() + 1)));
    EXPECT_EQ(std::wstring(buffer.c_str()), expected);
    EXPECT_EQ(buffer[expected.size() + 1], L'#');

    std::wstring small(expected.size() + 4, L'#');
    EXPECT_FALSE(vqx_get_application_data_path(&small[0], static_cast<unsigned>(expected.size())));
    EXPECT_EQ(small, std::wstring(expected.size() + 4, L'#'));  // untouched
    EXPECT_FALSE(vqx_get_application_data_path(nullptr, 100));
    EXPECT_FALSE(FolderExists(expected));  // not created
}

TEST(Folders, ApplicationDataPathNeedsTheVariable) {
    AppDataOverride appData(nullptr);
    wchar_t buffer[64] = L"keep";
    EXPECT_FALSE(vqx_get_application_data_path(buffer, 64));
    EXPECT_STREQ(buffer, L"keep");
}
