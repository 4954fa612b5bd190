#pragma once

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <algorithm>
#include <string>
#include <vector>

namespace corvaline::testing {

// What keeps Alt+letter from reaching each of these actions: a text without a mnemonic, or a
// mnemonic that an earlier action of the same menu has. Separators have none. GUI thread.
inline std::vector<std::string> mnemonicFaults(const QList<QAction*>& actions) {
    std::vector<std::string> faults;
    std::vector<QKeySequence> taken;
    for (const QAction* action : actions) {
        if (action->isSeparator()) {
            continue;
        }
        const QKeySequence key = QKeySequence::mnemonic(action->text());
        if (key.isEmpty()) {
            faults.push_back(action->text().toStdString() + ": no mnemonic");
        } else if (std::find(taken.begin(), taken.end(), key) != taken.end()) {
            faults.push_back(action->text().toStdString() + ": mnemonic taken");
        }
        taken.push_back(key);
    }
    return faults;
}

// The same for a menu bar: its menus' titles, and the items of each menu.
inline std::vector<std::string> mnemonicFaults(const QMenuBar& bar) {
    auto faults = mnemonicFaults(bar.actions());
    for (const QAction* title : bar.actions()) {
        if (title->menu()) {
            for (auto& fault : mnemonicFaults(title->menu()->actions())) {
                faults.push_back(title->text().toStdString() + " > " + fault);
            }
        }
    }
    return faults;
}

}  // namespace corvaline::testing
