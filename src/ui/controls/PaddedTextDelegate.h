#pragma once

#include <QStyledItemDelegate>

namespace corvaline::ui {

// Draws a cell's text either centred a little above the middle or with room kept free on the
// right; editing uses the same room. GUI thread.
class PaddedTextDelegate : public QStyledItemDelegate {
    Q_OBJECT
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void setCentered(bool centered) { centered_ = centered; }
    bool centered() const { return centered_; }
    void setPaddingRight(int padding) { paddingRight_ = padding; }
    int paddingRight() const { return paddingRight_; }

    // Centred: the text's top a third of the free height below the top. Otherwise the bounds
    // less the right padding.
    QRect titleRectForBounds(const QRect& bounds, int textHeight) const;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const override;

  private:
    bool centered_ = false;
    int paddingRight_ = 0;
};

}  // namespace corvaline::ui
