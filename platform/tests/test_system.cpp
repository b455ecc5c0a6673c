// System texts, computer name, module paths and time.
#include "test_support.h"

#include <cstring>
#include <string>

#ifndef _WIN32
#include <unistd.h>
#endif

using twtest::code;

namespace {

const DWORD kSystemText = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;

#ifndef _WIN32
// Windows appends a line break and localises; the texts themselves match.
TEST(FormatMessage, SystemTexts)
{
    const struct {
        DWORD code;
        const char *text;
    } cases[] = {
        {0x80004001u, "Not implemented"},
        {0x80004005u, "Unspecified error"},
        {0x80070057u, "The parameter is incorrect."},
        {0x8007000Eu, "Not enough memory resources are available to complete this operation."},
        {0, "The operation completed successfully."},
        {2, "The system cannot find the file specified."},
        {5, "Access is denied."},
        {6, "The handle is invalid."},
        {8, "Not enough memory resources are available to process this command."},
        {87, "The parameter is incorrect."},
        {122, "The data area passed to a system call is too small."},
        {183, "Cannot create a file when that file already exists."},
        {1400, "Invalid window handle."},
        {1407, "Cannot find window class."},
        {1410, "Class already exists."},
        {1816, "Not enough quota is available to process this command."},
    };
    for (const auto &c : cases) {
        char buffer[256];
        std::memset(buffer, 'x', sizeof buffer);
        DWORD length = FormatMessageA(kSystemText, nullptr, c.code, 0, buffer, sizeof buffer, nullptr);
        EXPECT_EQ(length, std::strlen(c.text)) << std::hex << c.code;
        EXPECT_STREQ(buffer, c.text) << std::hex << c.code;
    }
}
#endif

TEST(FormatMessage, UnknownCodesAndShortBuffersFail)
{
    char buffer[256];
    SetLastError(0);
    EXPECT_EQ(FormatMessageA(kSystemText, nullptr, 0x2A2A2A2Au, 0, buffer, sizeof buffer, nullptr), 0u);
    EXPECT_EQ(GetLastError(), code(ERROR_MR_MID_NOT_FOUND));

    char tiny[8];
    SetLastError(0);
    EXPECT_EQ(FormatMessageA(kSystemText, nullptr, ERROR_ACCESS_DENIED, 0, tiny, sizeof tiny, nullptr), 0u);
    EXPECT_EQ(GetLastError(), code(ERROR_INSUFFICIENT_BUFFER));
}

TEST(ComputerName, ReportsTheNeededSizeThenTheName)
{
    char small[1];
    DWORD size = sizeof small;
    SetLastError(0);
    EXPECT_FALSE(GetComputerNameA(small, &size));
    EXPECT_EQ(GetLastError(), code(ERROR_BUFFER_OVERFLOW));
    ASSERT_GT(size, 1u);
    EXPECT_LE(size, static_cast<DWORD>(MAX_COMPUTERNAME_LENGTH + 1));

    char name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD length = sizeof name;
    ASSERT_TRUE(GetComputerNameA(name, &length));
    EXPECT_EQ(length, size - 1);
    EXPECT_EQ(std::strlen(name), length);
}

TEST(ModuleFileName, ProgramPathAndTruncation)
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    ASSERT_GT(length, 0u);
    EXPECT_EQ(std::strlen(path), length);
#ifndef _WIN32
    char expected[MAX_PATH] = {};
    ASSERT_GT(readlink("/proc/self/exe", expected, sizeof expected - 1), 0);
    EXPECT_STREQ(path, expected);
#endif

    char short_buffer[4];
    SetLastError(0);
    EXPECT_EQ(GetModuleFileNameA(nullptr, short_buffer, sizeof short_buffer), sizeof short_buffer);
    EXPECT_EQ(GetLastError(), code(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(std::string(short_buffer, 3), std::string(path, 3));
    // Wine, like Windows XP, leaves the truncated copy unterminated.
    if (!twtest::under_wine()) {
        EXPECT_EQ(short_buffer[3], '\0');
    }
}

#ifndef _WIN32
TEST(ModuleFileName, ModuleHandleFromAnAddress)
{
    HINSTANCE library = twplat_module_handle(reinterpret_cast<const void *>(&CreateEventA));
    ASSERT_NE(library, nullptr);
    char path[MAX_PATH];
    ASSERT_GT(GetModuleFileNameA(library, path, sizeof path), 0u);
    const std::string library_path(path);
    const std::string suffix = "/libtwplatform.so";
    ASSERT_GT(library_path.size(), suffix.size());
    EXPECT_EQ(library_path.substr(library_path.size() - suffix.size()), suffix);

    // An address in the program names the program.
    static int in_program = 0;
    HINSTANCE program = twplat_module_handle(&in_program);
    ASSERT_NE(program, nullptr);
    char program_path[MAX_PATH];
    char self[MAX_PATH];
    ASSERT_GT(GetModuleFileNameA(program, program_path, sizeof program_path), 0u);
    ASSERT_GT(GetModuleFileNameA(nullptr, self, sizeof self), 0u);
    EXPECT_STREQ(program_path, self);

    SetLastError(0);
    EXPECT_EQ(twplat_module_handle(nullptr), nullptr);
    EXPECT_EQ(GetLastError(), code(ERROR_MOD_NOT_FOUND));
    SetLastError(0);
    EXPECT_EQ(GetModuleFileNameA(reinterpret_cast<HMODULE>(reinterpret_cast<char *>(library) + 16), path,
                                 sizeof path),
              0u);
    EXPECT_EQ(GetLastError(), code(ERROR_MOD_NOT_FOUND));
}
#endif

TEST(Time, PerformanceCounterFollowsSleep)
{
    LARGE_INTEGER frequency, before, after;
    ASSERT_TRUE(QueryPerformanceFrequency(&frequency));
    ASSERT_GT(frequency.QuadPart, 0);
    ASSERT_TRUE(QueryPerformanceCounter(&before));
    Sleep(30);
    ASSERT_TRUE(QueryPerformanceCounter(&after));
    double seconds = static_cast<double>(after.QuadPart - before.QuadPart) / static_cast<double>(frequency.QuadPart);
    EXPECT_GE(seconds, 0.025);
    EXPECT_LT(seconds, 5.0);
}

}  // namespace
