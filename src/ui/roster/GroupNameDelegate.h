#pragma once

#include <QStyledItemDelegate>

namespace corvaline::ui {

// Edits a group's name in place through the group-name rule: any text goes, an emptied name
// keeps the one the group had. Main thread.
class GroupNameDelegate : public QStyledItemDelegate {
    Q_OBJECT
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
};

}  // namespace corvaline::ui
