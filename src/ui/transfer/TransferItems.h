#pragma once

#include <QObject>
#include <QPointer>
#include <QTextObjectInterface>
#include <vector>

class QTextCursor;
class QTextEdit;

namespace corvaline {
class FileTransfer;
}

namespace corvaline::ui {

class FileTransferView;

// The transfer items of one text view: each stands in the text as one object character whose
// size is the item's, and the item widget, a child of the view's viewport, is moved onto that
// character wherever the text draws it, so it scrolls and moves with its line. GUI thread.
class TransferItems : public QObject, public QTextObjectInterface {
    Q_OBJECT
    Q_INTERFACES(QTextObjectInterface)
  public:
    static constexpr int kObjectType = QTextFormat::UserObject + 1;

    explicit TransferItems(QTextEdit& view);
    ~TransferItems() override;

    // Inserts the item of the transfer at the cursor.
    FileTransferView* insert(QTextCursor& cursor, FileTransfer& transfer);
    // The text was emptied: its items go.
    void clear();
    // The items in the order of the text.
    std::vector<FileTransferView*> items() const;

    QSizeF intrinsicSize(QTextDocument* document, int position, const QTextFormat& format) override;
    void drawObject(QPainter* painter, const QRectF& rect, QTextDocument* document, int position,
                    const QTextFormat& format) override;

  private:
    FileTransferView* item(const QTextFormat& format) const;
    // An item took a new size: the text lays its objects out again.
    void relayout();

    QTextEdit& view_;
    std::vector<QPointer<FileTransferView>> items_;
};

}  // namespace corvaline::ui
