#include "app/branding/Customizer.h"

#include <QCoreApplication>
#include <QMenu>
#include <QMenuBar>

namespace corvaline::app {

void Customizer::customizeMenu(QMenuBar* bar) {
    const auto actions = bar ? bar->actions() : QList<QAction*>{};
    if (actions.isEmpty()) {
        return;
    }
    //: Words before the product name in the title of the application menu; empty in English.
    const QString prefix = QCoreApplication::translate("MainMenu", "", "application menu");
    actions.front()->setText((prefix + QStringLiteral(" &Corvaline")).trimmed());
}

}  // namespace corvaline::app
