#include "internal.h"

namespace twplat {

std::atomic<int> g_faults_armed{0};

namespace {

struct FaultTable {
    std::mutex m;
    int remaining[twplat_fault_count] = {};
    DWORD error[twplat_fault_count] = {};
};

FaultTable &faults()
{
    static FaultTable *table = new FaultTable;  // outlives threads still running at exit
    return *table;
}

// With the table lock held.
void rearm(FaultTable &t)
{
    int armed = 0;
    for (int remaining : t.remaining)
        armed += remaining > 0;
    g_faults_armed.store(armed, std::memory_order_relaxed);
}

}  // namespace

bool fault_fire_slow(int fault)
{
    FaultTable &t = faults();
    DWORD error;
    {
        std::lock_guard<std::mutex> lock(t.m);
        if (fault < 0 || fault >= twplat_fault_count || t.remaining[fault] <= 0)
            return false;
        error = t.error[fault];
        if (--t.remaining[fault] == 0)
            rearm(t);
    }
    SetLastError(error);
    return true;
}

}  // namespace twplat

extern "C" {

void twplat_inject_fault(int fault, int count, DWORD error)
{
    if (fault < 0 || fault >= twplat_fault_count)
        return;
    twplat::FaultTable &t = twplat::faults();
    std::lock_guard<std::mutex> lock(t.m);
    t.remaining[fault] = count > 0 ? count : 0;
    t.error[fault] = error;
    twplat::rearm(t);
}

void twplat_clear_faults(void)
{
    twplat::FaultTable &t = twplat::faults();
    std::lock_guard<std::mutex> lock(t.m);
    for (int &remaining : t.remaining)
        remaining = 0;
    twplat::rearm(t);
}

}  // extern "C"
