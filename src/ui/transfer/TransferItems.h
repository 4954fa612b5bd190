#pragma once

#include <QObject>
#include <QPointer>
#include <QTextCursor>
#include <QTextObjectInterface>
#include <vector>

class QTextEdit;

namespace corvaline {
class FileTransfer;
}

namespace corvaline::ui {

class FileTransferView;

// The transfer items of one text view: each stands in the text as one object character whose
// size is the item's, and the item widget, a child of the view's viewport, is placed on that
// character whenever the text is laid out again or scrolls, so it moves with its line; an item
// whose line is out of view is hidden. GUI thread.
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

    // Puts every item on its character as the text lays it out now, hiding those out of view.
    void place();

  private:
    struct Item {
        QPointer<FileTransferView> view;
        QTextCursor at;  // before the item's character; follows the text's edits
    };

    FileTransferView* item(const QTextFormat& format) const;
    // An item took a new size: the text lays its objects out again.
    void relayout();
    // Where the text lays out the item's character, in viewport coordinates; empty when it
    // does not lay it out (yet).
    QRect placeOf(const Item& item) const;

    QTextEdit& view_;
    std::vector<Item> items_;
};

}  // namespace corvaline::ui
