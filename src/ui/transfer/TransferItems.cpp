#include "ui/transfer/TransferItems.h"

#include <QAbstractTextDocumentLayout>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextEdit>

#include "ui/transfer/FileTransferView.h"

namespace corvaline::ui {

namespace {

// The format property that names the item of an object character.
constexpr int kItemIndex = QTextFormat::UserProperty + 1;

}  // namespace

TransferItems::TransferItems(QTextEdit& view) : QObject(&view), view_(view) {
    view.document()->documentLayout()->registerHandler(kObjectType, this);
}

TransferItems::~TransferItems() {
    clear();
}

FileTransferView* TransferItems::insert(QTextCursor& cursor, FileTransfer& transfer) {
    auto* view = new FileTransferView(transfer, view_.viewport());
    view->hide();  // until the text draws its line
    connect(view, &FileTransferView::sizeChanged, this, &TransferItems::relayout);
    QTextCharFormat format;
    format.setObjectType(kObjectType);
    format.setProperty(kItemIndex, int(items_.size()));
    items_.emplace_back(view);
    cursor.insertText(QString(QChar::ObjectReplacementCharacter), format);
    return view;
}

void TransferItems::clear() {
    for (auto& view : std::exchange(items_, {})) {
        delete view.data();
    }
}

std::vector<FileTransferView*> TransferItems::items() const {
    std::vector<FileTransferView*> shown;
    for (const auto& view : items_) {
        if (view) {
            shown.push_back(view);
        }
    }
    return shown;
}

FileTransferView* TransferItems::item(const QTextFormat& format) const {
    const int index = format.intProperty(kItemIndex);
    return index >= 0 && index < int(items_.size()) ? items_[std::size_t(index)].data() : nullptr;
}

QSizeF TransferItems::intrinsicSize(QTextDocument*, int, const QTextFormat& format) {
    const auto* view = item(format);
    return view ? QSizeF(view->size()) : QSizeF();
}

void TransferItems::drawObject(QPainter*, const QRectF& rect, QTextDocument*, int,
                               const QTextFormat& format) {
    auto* view = item(format);
    if (!view) {
        return;
    }
    // The text draws in document coordinates; the item lives in the viewport's.
    const QPoint origin = rect.topLeft().toPoint() - QPoint(view_.horizontalScrollBar()->value(),
                                                            view_.verticalScrollBar()->value());
    if (view->pos() != origin) {
        view->move(origin);
    }
    if (view->isHidden()) {
        view->show();
    }
}

void TransferItems::relayout() {
    auto* document = view_.document();
    document->markContentsDirty(0, document->characterCount());
}

}  // namespace corvaline::ui
