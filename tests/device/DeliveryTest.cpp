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
#include <memory>
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

// Marks itself dead when destroyed; a call after that is the fault this test looks for.
class GuardedModule : public KModule {
public:
    ~GuardedModule() override
    {
        DetachFromDevice();
        alive_.store(false);
    }
    void OnReceive(int, int, const char*) override { Touch(); }
    void ReceiveData(char*, int*) override { Touch(); }
    static std::atomic<int> lateCalls;

private:
    void Touch()
    {
        if (!alive_.load()) {
            lateCalls.fetch_add(1);
        }
        ++calls_; // written only under the delivery lock
    }
    std::atomic<bool> alive_{true};
    int calls_ = 0;
};

std::atomic<int> GuardedModule::lateCalls{0};

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

    std::unique_ptr<GuardedModule> current;
    std::unique_ptr<GuardedModule> listener;
    const int before = device.delivered.load();
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    for (int round = 0; device.delivered.load() - before < 500 && std::chrono::steady_clock::now() < deadline;
         ++round) {
        auto next = std::make_unique<GuardedModule>();
        next->SetComDevice(&device);
        device.SetModule(next.get());
        current = std::move(next); // the old one is deleted while replies go on
        auto raw = std::make_unique<GuardedModule>();
        raw->SetComDevice(&device);
        device.AttachModule(raw.get());
        listener = std::move(raw);
        if (round % 50 == 0) {
            device.SetModule(nullptr);
            KComModule::SetRecvDevice(nullptr);
            KComModule::SetRecvDevice(&device);
        }
    }
    stop.store(true);
    sender.join();
    EXPECT_TRUE(comModule.Close());
    current.reset();
    listener.reset();
    KComModule::SetRecvDevice(nullptr);
    EXPECT_GE(device.delivered.load() - before, 500);
    EXPECT_EQ(GuardedModule::lateCalls.load(), 0);
    EXPECT_EQ(device.GetModule(), nullptr);
    EXPECT_EQ(KComModule::RecvModule(), nullptr);
}
