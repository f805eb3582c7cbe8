// Replies keep arriving on the communication thread while the GUI thread changes who gets
// them: no reply may reach a module after the change that removed it has returned.
#include "app/link/Comdev.h"
#include "app/link/Commodul.h"
#include "bramble/Bramble.h"

#include "DeviceTestSupport.h"
#include "LinkPeers.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <new>
#include <thread>

using namespace std::chrono_literals;

namespace {

class ForwardingDevice : public KComDevice {
public:
    using KComDevice::KComDevice;
    void OnReceive(char* text, int* count) override
    {
        delivered.fetch_add(1);
        if (KModule* module = GetModule()) {
            module->OnReceive(0, *count, text);
        }
    }
    bool SendString(const char* /*text*/) override { return false; }
    std::atomic<int> delivered{0};
};

std::atomic<int> lateCalls{0};

class GuardedModule : public KModule {
public:
    ~GuardedModule() override { DetachFromDevice(); }
    void OnReceive(int, int, const char*) override { ++calls_; } // only under the delivery lock
    void ReceiveData(char*, int*) override { ++calls_; }

private:
    int calls_ = 0;
};

// Stands where a module was destroyed, in memory the test keeps: a reply that still reaches
// that address is the fault this test looks for, and it is counted without touching a freed
// or dead object.
class Tombstone : public KModule {
public:
    void OnReceive(int, int, const char*) override { lateCalls.fetch_add(1); }
    void ReceiveData(char*, int*) override { lateCalls.fetch_add(1); }
};

// Memory for the modules that is given back only at the end, so no module takes the address
// of one destroyed before it.
class ModuleSlots {
public:
    ~ModuleSlots()
    {
        for (Slot& slot : slots_) {
            std::launder(reinterpret_cast<Tombstone*>(slot.bytes))->~Tombstone();
        }
    }
    GuardedModule* Make(KComDevice* device)
    {
        auto* module = new (slots_.emplace_back().bytes) GuardedModule;
        module->SetComDevice(device);
        return module;
    }
    // Destroys the module where a window would delete it and leaves a tombstone there.
    static void Retire(GuardedModule* module)
    {
        if (module == nullptr) {
            return;
        }
        void* at = module;
        module->~GuardedModule();
        new (at) Tombstone;
    }

private:
    static_assert(sizeof(Tombstone) <= sizeof(GuardedModule));
    struct Slot {
        alignas(GuardedModule) unsigned char bytes[sizeof(GuardedModule)];
    };
    std::deque<Slot> slots_;
};

} // namespace

TEST(Delivery, ModulesSwappedAndDeletedWhileRepliesPourIn)
{
    qmrtest::ScopedWorkDir dir;
    linktest::TcpPeer peer;
    devicetest::WriteAnsweringCheck();
    KComModule comModule;
    ForwardingDevice device(&comModule);
    KComModule::SetRecvDevice(&device);
    device.SetSetting(devicetest::LanSettings(peer.Port()));
    ASSERT_TRUE(device.Open(false));
    ASSERT_TRUE(peer.Accept());

    std::atomic<bool> stop{false};
    std::thread sender([&] {
        for (int i = 0; !stop.load(); ++i) {
            if (!peer.Send("R" + std::to_string(i % 1000) + "\n")) {
                break;
            }
        }
    });

    ModuleSlots storage;
    GuardedModule* current = nullptr;
    GuardedModule* listener = nullptr;
    const int before = device.delivered.load();
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    for (int round = 0; device.delivered.load() - before < 500 && std::chrono::steady_clock::now() < deadline;
         ++round) {
        GuardedModule* next = storage.Make(&device);
        device.SetModule(next);
        ModuleSlots::Retire(current); // destroyed while replies go on
        current = next;
        GuardedModule* raw = storage.Make(&device);
        device.AttachModule(raw);
        ModuleSlots::Retire(listener);
        listener = raw;
        if (round % 50 == 0) {
            device.SetModule(nullptr);
            KComModule::SetRecvDevice(nullptr);
            KComModule::SetRecvDevice(&device);
        }
    }
    stop.store(true);
    sender.join();
    EXPECT_TRUE(comModule.Close());
    ModuleSlots::Retire(current);
    ModuleSlots::Retire(listener);
    KComModule::SetRecvDevice(nullptr);
    EXPECT_GE(device.delivered.load() - before, 500);
    EXPECT_EQ(lateCalls.load(), 0);
    EXPECT_EQ(device.GetModule(), nullptr);
    EXPECT_EQ(KComModule::RecvModule(), nullptr);
}
