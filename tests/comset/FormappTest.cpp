// The base window through Bramble's real position list, and the base command module's hooks.
// The device unit is not linked here: the detach hook records what the module asks.
#include "app/core/Formapp.h"
#include "app/core/Kmodule.h"
#include "bramble/Bramble.h"

#include "TestSupport.h"

#include <QApplication>
#include <QKeyEvent>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

std::vector<std::pair<KComDevice*, KModule*>> detachCalls;

// Counts its destructions; its destructor leaves the device first, as derived modules do,
// and notes whether the device was left while its own part was still whole.
class CountingModule : public KModule {
public:
    explicit CountingModule(int* destroyed, bool* detachedWhileWhole = nullptr)
        : destroyed_(destroyed), detachedWhileWhole_(detachedWhileWhole)
    {
    }
    ~CountingModule() override
    {
        const size_t before = detachCalls.size();
        DetachFromDevice();
        if (detachedWhileWhole_ != nullptr) {
            *detachedWhileWhole_ = detachCalls.size() > before && marker_ == kWhole;
        }
        marker_ = 0;
        ++*destroyed_;
    }

private:
    static constexpr int kWhole = 0x5A5A;
    int* destroyed_;
    bool* detachedWhileWhole_;
    int marker_ = kWhole;
};

// A fresh working folder and a fresh position list per test.
class FormappTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        detachCalls.clear();
        SetModuleDetachHook([](KComDevice* device, KModule* module) { detachCalls.emplace_back(device, module); });
        _StartWinPos();
    }
    void TearDown() override
    {
        _ExitWinPos();
        SetModuleDetachHook(nullptr);
    }

    qmrtest::ScopedWorkDir dir_;
};

struct StoredPosition {
    int found;
    short left, top, width, height;
};

StoredPosition Stored(const char* caption)
{
    StoredPosition p{};
    p.found = _GetWinPos(&p.left, &p.top, &p.width, &p.height, caption);
    return p;
}

} // namespace

TEST_F(FormappTest, ShowMovesToTheStoredPlaceAndKeepsItsSize)
{
    ASSERT_EQ(_SetWinPos(120, 90, 300, 200, "Position A"), 1);
    int destroyed = 0;
    TFormApp form(nullptr, new CountingModule(&destroyed));
    form.setWindowTitle("Position A");
    const QSize size = form.size();
    form.show();
    EXPECT_EQ(form.pos(), QPoint(120, 90));
    EXPECT_EQ(form.size(), size);
    EXPECT_EQ(size, QSize(842, 570));
    form.close();
}

TEST_F(FormappTest, ShowWithoutStoredPlaceKeepsTheFormsOwn)
{
    ASSERT_EQ(_SetWinPos(120, 90, 300, 200, "Another caption"), 1);
    int destroyed = 0;
    TFormApp first(nullptr, new CountingModule(&destroyed));
    first.setWindowTitle("Unknown caption");
    first.show();
    EXPECT_NE(first.pos(), QPoint(120, 90));
    first.close();
}

TEST_F(FormappTest, CloseStoresThePlaceUnderTheCaptionAndDeletesTheModuleOnce)
{
    int destroyed = 0;
    auto* module = new CountingModule(&destroyed);
    TFormApp form(nullptr, module);
    EXPECT_EQ(module->GetForm(), nullptr); // bound by the window's maker, once it is whole
    EXPECT_EQ(form.GetModule(), module);
    form.setWindowTitle("Closing");
    form.show();
    form.move(200, 150);
    form.SetStatus(7);
    EXPECT_EQ(form.GetStatus(), 7);

    EXPECT_TRUE(form.close());
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(form.GetModule(), nullptr);
    EXPECT_EQ(form.GetStatus(), 0);
    StoredPosition p = Stored("Closing");
    EXPECT_EQ(p.found, 1);
    EXPECT_EQ(p.left, 200);
    EXPECT_EQ(p.top, 150);
    EXPECT_EQ(p.width, form.frameGeometry().width());
    EXPECT_EQ(p.height, form.frameGeometry().height());

    // The handler run once more (a derived window's close handler may) stores again but finds
    // no module.
    form.move(260, 170);
    form.FormClose();
    EXPECT_EQ(destroyed, 1);
    p = Stored("Closing");
    EXPECT_NE(p.left, 200);
    EXPECT_EQ(p.left, form.x());
    EXPECT_EQ(p.top, form.y());
}

TEST_F(FormappTest, EmptyCaptionIsStoredUnderTheEmptyText)
{
    int destroyed = 0;
    TFormApp form(nullptr, new CountingModule(&destroyed));
    form.setWindowTitle(QString());
    form.show();
    form.move(33, 44);
    form.close();
    StoredPosition p = Stored("");
    EXPECT_EQ(p.found, 1);
    EXPECT_EQ(p.left, 33);
    EXPECT_EQ(p.top, 44);
}

TEST_F(FormappTest, EscapeLeavesAModelessWindowOpen)
{
    int destroyed = 0;
    TFormApp form(nullptr, new CountingModule(&destroyed));
    form.show();
    QTest::keyClick(&form, Qt::Key_Escape);
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(destroyed, 0);
    form.close();
}

TEST_F(FormappTest, ShowHidesTheStartUpWindow)
{
    QWidget startUp;
    startUp.show();
    ASSERT_TRUE(startUp.isVisible());
    int destroyed = 0;
    TFormApp form(&startUp, new CountingModule(&destroyed));
    EXPECT_EQ(form.GetStartUp(), &startUp);
    // The start-up window is no Qt parent: the instrument window is a window of its own.
    EXPECT_EQ(form.parentWidget(), nullptr);
    form.show();
    EXPECT_FALSE(startUp.isVisible());
    form.close();
}

TEST_F(FormappTest, WindowWithoutModuleClosesQuietly)
{
    TFormApp form(nullptr, nullptr);
    form.setWindowTitle("No module");
    form.show();
    EXPECT_TRUE(form.close());
    EXPECT_EQ(Stored("No module").found, 1);
}

TEST_F(FormappTest, BaseModuleAcceptsEveryHookAndDoesNothing)
{
    KModule module;
    EXPECT_EQ(module.GetForm(), nullptr);
    EXPECT_EQ(module.GetComDevice(), nullptr);
    // No window bound: the repaint has nothing to do.
    module.RefreshForm();

    auto* device = reinterpret_cast<KComDevice*>(0x1000);
    module.SetComDevice(device);
    TFormApp form(nullptr, nullptr);
    module.SetForm(&form);

    char text[] = "RECV text\n";
    int count = 10;
    module.ReceiveData(text, &count);
    module.LogSend("*IDN?");
    module.OnReceive(3, count, text);
    module.StartReplyTimeout();
    module.StopReplyTimeout();
    module.RefreshForm();

    EXPECT_STREQ(text, "RECV text\n");
    EXPECT_EQ(count, 10);
    EXPECT_EQ(module.GetForm(), &form);
    EXPECT_EQ(module.GetComDevice(), device);
    EXPECT_TRUE(detachCalls.empty());
}

TEST_F(FormappTest, ModuleLeavesItsDeviceBeforeItsDerivedPartIsGone)
{
    auto* device = reinterpret_cast<KComDevice*>(0x2000);
    int destroyed = 0;
    bool detachedWhileWhole = false;
    auto* module = new CountingModule(&destroyed, &detachedWhileWhole);
    module->SetComDevice(device);
    delete module;
    EXPECT_EQ(destroyed, 1);
    EXPECT_TRUE(detachedWhileWhole);
    ASSERT_FALSE(detachCalls.empty());
    EXPECT_EQ(detachCalls.front().first, device);
    EXPECT_EQ(detachCalls.front().second, module);
}

TEST_F(FormappTest, PlainModuleLeavesItsDeviceWhenDeleted)
{
    auto* device = reinterpret_cast<KComDevice*>(0x3000);
    auto* module = new KModule;
    module->SetComDevice(device);
    delete module;
    ASSERT_EQ(detachCalls.size(), 1u);
    EXPECT_EQ(detachCalls[0].first, device);

    // A module never given a device asks nothing.
    detachCalls.clear();
    delete new KModule;
    EXPECT_TRUE(detachCalls.empty());
}
