// Draws the settings window (every page, the add window of each broadcast-target type, the
// shortcut field with its warning) and the About window offscreen and writes them as PNG files
// into the folder given. Runs in a temporary HOME and opens no port.

#include <QApplication>
#include <QButtonGroup>
#include <QLineEdit>
#include <QMenuBar>
#include <QTest>
#include <QToolButton>
#include <cstdio>
#include <filesystem>

#include "ShotFolders.h"
#include "core/model/entities/Me.h"
#include "core/model/roster/UserList.h"
#include "platform/defaults/UserDefaults.h"
#include "support/qt/OffscreenCore.h"
#include "support/qt/OffscreenHome.h"
#include "ui/about/About.h"
#include "ui/settings/AddBroadcastWindow.h"
#include "ui/settings/BroadcastTargets.h"
#include "ui/settings/HotKeyField.h"
#include "ui/settings/SettingsWindow.h"

using namespace corvaline;

namespace {

void save(QWidget& widget, const std::filesystem::path& file) {
    QApplication::processEvents();
    widget.grab().save(QString::fromStdString(file.string()));
    std::printf("%s\n", file.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    const auto folder = shots::shotOutputFolder(argc, argv);
    if (!folder) {
        return 2;
    }
    const std::filesystem::path& out = *folder;
    testing::OffscreenHome offscreenHome("corvaline-shots");
    if (!offscreenHome.made()) {
        return 1;
    }
    QApplication application(argc, argv);
    testing::OffscreenCore core;
    if (!core.made()) {
        return 1;
    }
    {  // the windows and records go before the store closes
        core.list().me()->setValue("name", std::string("Robin Hale"));
        core.list().me()->setValue("jobTitle", std::string("Office manager"));
        core.list().me()->setValue("department", std::string("Front desk"));
        core.context().save();
        auto& settings = UserDefaults::standard();
        settings.setObject("broadcasts", nlohmann::json::array({{{"look", "192.168.7.255"},
                                                                 {"type", "1"},
                                                                 {"value1", "4278692032"},
                                                                 {"value2", "0"}}}));

        QMenuBar menus;
        menus.addMenu(QStringLiteral("File"))
            ->addAction(QStringLiteral("Find"))
            ->setShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_F));
        ui::SettingsWindow window;
        window.hotKeyField()->setMenus(&menus);
        window.move(40, 40);
        window.show();
        const std::pair<const char*, const char*> pages[] = {
            {"General", "settings-general.png"}, {"Messaging", "settings-messaging.png"},
            {"Sounds", "settings-sounds.png"},   {"Files", "settings-files.png"},
            {"Network", "settings-network.png"}, {"User Info", "settings-user-info.png"},
        };
        for (const auto& [page, file] : pages) {
            window.setTabName(QString::fromLatin1(page));
            save(window, out / file);
        }

        window.setTabName(QStringLiteral("Network"));
        auto* targets = window.broadcasts();
        targets->addButton()->click();
        auto* add = targets->addWindow();
        const char* addFiles[] = {"", "add-broadcast-address.png", "add-broadcast-subnet.png",
                                  "add-broadcast-range.png"};
        for (int type = 1; type <= 3; ++type) {
            add->radios()->button(type)->click();
            save(*add, out / addFiles[type]);
        }
        // Add on entries that make no target: the window stays and says why.
        add->field1()->clear();
        add->radios()->button(1)->click();
        add->accept();
        save(*add, out / "add-broadcast-invalid-address.png");
        add->radios()->button(3)->click();
        add->field1()->setText(QStringLiteral("192.168.0.50"));
        add->field2()->setText(QStringLiteral("192.168.0.1"));
        add->accept();
        save(*add, out / "add-broadcast-invalid-range.png");
        add->reject();

        window.setTabName(QStringLiteral("General"));
        QApplication::setActiveWindow(&window);
        auto* field = window.hotKeyField();
        field->setFocus(Qt::TabFocusReason);
        save(window, out / "settings-hotkey-focused.png");
        QTest::keyClick(field, Qt::Key_Space);
        save(window, out / "settings-hotkey-recording.png");
        QTest::keyClick(field, Qt::Key_F, Qt::ControlModifier | Qt::AltModifier);
        save(window, out / "settings-hotkey-conflict.png");
        settings.removeObject("hotKey");
        settings.removeObject("broadcasts");
        window.close();

        ui::About* about = ui::About::show();
        save(*about, out / "about.png");
        about->close();
    }
    return 0;
}
