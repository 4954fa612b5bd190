#include "ui/controls/PaddedTextDelegate.h"

#include <QApplication>
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
    initStyleOption(&cell, index);  // the font the row asks for decides the text's height
    cell.rect = titleRectForBounds(option.rect, cell.fontMetrics.height());
    if (centered_) {
        // The title rectangle already holds the text's place: the text starts at its top, or
        // the style would centre it once more in the rest of the cell, below the middle.
        cell.displayAlignment = (cell.displayAlignment & Qt::AlignHorizontal_Mask) | Qt::AlignTop;
    }
    const QWidget* widget = cell.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &cell, painter, widget);
}

void PaddedTextDelegate::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                                              const QModelIndex& index) const {
    QStyleOptionViewItem cell = option;
    cell.rect = option.rect.adjusted(0, 0, -paddingRight_, 0);
    QStyledItemDelegate::updateEditorGeometry(editor, cell, index);
}

}  // namespace corvaline::ui
