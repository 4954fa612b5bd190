#include "ui/conversation/ButtonForList.h"

#include "core/model/entities/User.h"
#include "ui/format/ButtonText.h"

namespace corvaline::ui {

ButtonForList::ButtonForList(QWidget* parent) : QPushButton(parent) {
    setFlat(true);
}

void ButtonForList::setTitle(const std::optional<QString>& title, const TreeItem* rowItem) {
    if (!title) {
        setText(QString());
        return;
    }
    setText(QStringLiteral(" ") + buttonText(*title));
    const auto* user = dynamic_cast<const User*>(rowItem);
    const QString named = user ? QString::fromStdString(user->color()) : QString();
    QPalette colours = palette();
    const QColor colour = QColor::isValidColorName(named) ? QColor::fromString(named)
                                                          : QPalette().color(QPalette::ButtonText);
    colours.setColor(QPalette::ButtonText, colour);
    setPalette(colours);
}

}  // namespace corvaline::ui
