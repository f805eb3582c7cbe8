// A command module and the real device base: deleting a module leaves the device without it
// (current module and raw-text listener), before the module's derived part is gone.
#include "app/core/Kmodule.h"
#include "app/link/Comdev.h"
#include "app/link/Commodul.h"

#include <gtest/gtest.h>

namespace {

class TestDevice : public KComDevice {
public:
    using KComDevice::KComDevice;
    bool SendString(const char* /*text*/) override { return false; }
};

// Checks, when it is deleted, that the device still held it until its own destructor ran.
class ListeningModule : public KModule {
public:
    explicit ListeningModule(TestDevice* device) : device_(device) {}
    ~ListeningModule() override
    {
        heldWhenDestroyed = device_->GetModule() == this && KComModule::RecvModule() == this;
        DetachFromDevice();
        leftWhenDetached = device_->GetModule() == nullptr && KComModule::RecvModule() == nullptr;
    }

    static inline bool heldWhenDestroyed = false;
    static inline bool leftWhenDetached = false;

private:
    TestDevice* device_;
};

class ModuleDeviceTest : public ::testing::Test {
protected:
    void TearDown() override { KComModule::SetRecvModule(nullptr); }

    KComModule comModule_;
    TestDevice device_{&comModule_};
};

TEST_F(ModuleDeviceTest, DeletedPlainModuleIsNoLongerCurrentNorListener)
{
    auto* module = new KModule;
    module->SetComDevice(&device_);
    device_.SetModule(module);
    device_.AttachModule(module);
    ASSERT_EQ(device_.GetModule(), module);
    ASSERT_EQ(KComModule::RecvModule(), module);
    delete module;
    EXPECT_EQ(device_.GetModule(), nullptr);
    EXPECT_EQ(KComModule::RecvModule(), nullptr);
}

TEST_F(ModuleDeviceTest, DerivedModuleLeavesBeforeItsOwnPartIsGone)
{
    auto* module = new ListeningModule(&device_);
    module->SetComDevice(&device_);
    device_.SetModule(module);
    device_.AttachModule(module);
    delete module;
    EXPECT_TRUE(ListeningModule::heldWhenDestroyed);
    EXPECT_TRUE(ListeningModule::leftWhenDetached);
}

TEST_F(ModuleDeviceTest, DeletingAModuleThatIsNotCurrentLeavesTheOthers)
{
    KModule current;
    current.SetComDevice(&device_);
    device_.SetModule(&current);
    device_.AttachModule(&current);

    auto* old = new KModule;
    old->SetComDevice(&device_);
    delete old;
    EXPECT_EQ(device_.GetModule(), &current);
    EXPECT_EQ(KComModule::RecvModule(), &current);

    device_.SetModule(nullptr);
    device_.AttachModule(nullptr);
}

} // namespace
