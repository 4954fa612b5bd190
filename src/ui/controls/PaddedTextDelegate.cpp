#include "ui/controls/PaddedTextDelegate.h"

#include <QPainter>

namespace corvaline::ui {

QRect PaddedTextDelegate::titleRectForBounds(const QRect& bounds, int textHeight) const {
    if (centered_) {
        const int offset = (bounds.height() - textHeight) / 3;
        return bounds.adjusted(0, offset, 0, 0);
    }
    return bounds.adjusted(0, 0, -paddingRight_, 0);
}

void PaddedTextDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
    QStyleOptionViewItem cell = option;
    const int textHeight = cell.fontMetrics.height();
    cell.rect = titleRectForBounds(option.rect, textHeight);
    QStyledItemDelegate::paint(painter, cell, index);
}

void PaddedTextDelegate::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                                              const QModelIndex& index) const {
    QStyleOptionViewItem cell = option;
    cell.rect = option.rect.adjusted(0, 0, -paddingRight_, 0);
    QStyledItemDelegate::updateEditorGeometry(editor, cell, index);
}

}  // namespace corvaline::ui
