// The tray icon follows the desktop's tray: it appears when a tray does after the start, goes
// with it, and closing the main window quits only while there is no tray.
#include <QApplication>
#include <QMenu>
#include <QPointer>
#include <QSystemTrayIcon>

#include "app/support/AppTest.h"
#include "app/tray/TrayAvailability.h"

namespace corvaline::testing {
namespace {

// A tray that comes and goes when the test says.
class FakeTray : public app::TrayAvailability {
  public:
    bool isAvailable() const override { return available_; }
    void set(bool available) {
        available_ = available;
        emit availabilityChanged(available);
    }

  private:
    bool available_ = false;
};

class TrayIconTest : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        // Started again, at a time the desktop shows no tray.
        delegate_.reset();
        auto tray = std::make_unique<FakeTray>();
        tray_ = tray.get();
        delegate_ = std::make_unique<app::CVLAppDelegate>(loop_, std::move(tray));
        delegate_->applicationDidFinishLaunching();
    }

    FakeTray* tray_ = nullptr;
};

TEST_F(TrayIconTest, TheIconComesWithATrayAfterTheStartAndGoesWithIt) {
    EXPECT_EQ(delegate_->trayIcon(), nullptr);
    EXPECT_TRUE(QApplication::quitOnLastWindowClosed());

    tray_->set(true);
    QPointer<QSystemTrayIcon> icon = delegate_->trayIcon();
    ASSERT_NE(icon, nullptr);
    EXPECT_TRUE(icon->isVisible());
    EXPECT_FALSE(icon->icon().isNull());
    ASSERT_NE(icon->contextMenu(), nullptr);
    EXPECT_TRUE(icon->contextMenu()->actions().contains(delegate_->quitAction()));
    EXPECT_FALSE(QApplication::quitOnLastWindowClosed());

    window().close();  // into the tray
    EXPECT_FALSE(window().isVisible());
    tray_->set(false);
    EXPECT_TRUE(icon.isNull());
    EXPECT_EQ(delegate_->trayIcon(), nullptr);
    EXPECT_TRUE(window().isVisible()) << "out of reach without the tray";
    EXPECT_TRUE(QApplication::quitOnLastWindowClosed());

    tray_->set(true);
    icon = delegate_->trayIcon();
    ASSERT_NE(icon, nullptr);
    tray_->set(true);  // another tray took over: the icon docks in it anew
    EXPECT_TRUE(icon.isNull());
    EXPECT_NE(delegate_->trayIcon(), nullptr);
    EXPECT_FALSE(QApplication::quitOnLastWindowClosed());
}

}  // namespace
}  // namespace corvaline::testing
