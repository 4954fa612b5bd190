#include "ui/roster/GroupNameDelegate.h"

#include <QLineEdit>

#include "ui/format/NameValidator.h"

namespace corvaline::ui {

QWidget* GroupNameDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&,
                                         const QModelIndex& index) const {
    auto* editor = new QLineEdit(parent);
    auto* rule = new NameValidator(false, editor);
    rule->beginEditing(index.data(Qt::EditRole).toString());
    editor->setValidator(rule);
    return editor;
}

}  // namespace corvaline::ui
