// The module's DllMain, in a DLL the test loads as the interpreter would.
#include "twplatform/win32.h"

#include <gtest/gtest.h>

#include <utility>

namespace {

constexpr const char *kProbe = "talkwire_dll_main_probe.dll";

using InstanceQuery = HINSTANCE (*)();

class LoadedProbe {
public:
    LoadedProbe() : module_(LoadLibraryA(kProbe)) {}
    ~LoadedProbe()
    {
        if (module_)
            FreeLibrary(module_);
    }
    LoadedProbe(const LoadedProbe &) = delete;
    LoadedProbe &operator=(const LoadedProbe &) = delete;

    HMODULE module() const { return module_; }
    InstanceQuery query(const char *name) const
    {
        return reinterpret_cast<InstanceQuery>(reinterpret_cast<void *>(GetProcAddress(module_, name)));
    }
    // Unloads now; false when the DLL refused to go.
    bool unload() { return FreeLibrary(std::exchange(module_, nullptr)) != 0; }

private:
    HMODULE module_;
};

TEST(DllMain, RecordsTheInstanceTheLoaderReturns)
{
    LoadedProbe probe;
    ASSERT_NE(probe.module(), nullptr) << "LoadLibraryA: " << GetLastError();
    InstanceQuery recorded = probe.query("probe_recorded_instance");
    ASSERT_NE(recorded, nullptr);
    EXPECT_EQ(recorded(), probe.module());
    // Not the program's: the DLL's own.
    EXPECT_NE(recorded(), GetModuleHandleA(nullptr));
}

TEST(DllMain, MessageWindowClassBelongsToTheModule)
{
    LoadedProbe probe;
    ASSERT_NE(probe.module(), nullptr) << "LoadLibraryA: " << GetLastError();
    InstanceQuery class_instance = probe.query("probe_window_class_instance");
    ASSERT_NE(class_instance, nullptr);
    EXPECT_EQ(class_instance(), probe.module());
}

TEST(DllMain, ThreadsComeAndGoAndTheModuleUnloadsAndReloads)
{
    LoadedProbe probe;
    ASSERT_NE(probe.module(), nullptr) << "LoadLibraryA: " << GetLastError();
    // Thread starts and exits while loaded; every notification is accepted.
    HANDLE thread = CreateThread(nullptr, 0, [](LPVOID) -> DWORD { return 7; }, nullptr, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
    DWORD exit_code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &exit_code));
    EXPECT_EQ(exit_code, 7u);
    CloseHandle(thread);
    ASSERT_TRUE(probe.unload());
    EXPECT_EQ(GetModuleHandleA(kProbe), nullptr);

    // A fresh load records the fresh instance.
    LoadedProbe again;
    ASSERT_NE(again.module(), nullptr) << "LoadLibraryA: " << GetLastError();
    InstanceQuery recorded = again.query("probe_recorded_instance");
    ASSERT_NE(recorded, nullptr);
    EXPECT_EQ(recorded(), again.module());
}

}  // namespace
