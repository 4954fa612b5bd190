#include "ui/transfer/TransferItems.h"

#include <QAbstractTextDocumentLayout>
#include <QEvent>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextEdit>
#include <QTextLayout>

#include "ui/transfer/FileTransferView.h"

namespace corvaline::ui {

namespace {

// The format property that names the item of an object character.
constexpr int kItemIndex = QTextFormat::UserProperty + 1;

// Resizing the viewport without a new layout (only its height changed) shows other lines.
class ViewportResizes : public QObject {
  public:
    ViewportResizes(QWidget& viewport, TransferItems& items) : QObject(&items), items_(items) {
        viewport.installEventFilter(this);
    }

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Resize) {
            items_.place();
        }
        return false;
    }

  private:
    TransferItems& items_;
};

}  // namespace

TransferItems::TransferItems(QTextEdit& view) : QObject(&view), view_(view) {
    auto* layout = view.document()->documentLayout();
    layout->registerHandler(kObjectType, this);
    // Every new layout (new lines, another width, another item size) and every scroll can
    // move an item's line, drawn or not.
    connect(layout, &QAbstractTextDocumentLayout::update, this, &TransferItems::place);
    connect(view.verticalScrollBar(), &QScrollBar::valueChanged, this, &TransferItems::place);
    connect(view.horizontalScrollBar(), &QScrollBar::valueChanged, this, &TransferItems::place);
    new ViewportResizes(*view.viewport(), *this);
}

TransferItems::~TransferItems() {
    clear();
}

FileTransferView* TransferItems::insert(QTextCursor& cursor, FileTransfer& transfer) {
    auto* view = new FileTransferView(transfer, view_.viewport());
    view->hide();  // until the text lays its line out
    connect(view, &FileTransferView::sizeChanged, this, &TransferItems::relayout);
    QTextCharFormat format;
    format.setObjectType(kObjectType);
    format.setProperty(kItemIndex, int(items_.size()));
    // Known before the character goes in: the text lays it out (and places it) at once.
    QTextCursor at(view_.document());
    at.setPosition(cursor.selectionStart());
    at.setKeepPositionOnInsert(true);
    items_.push_back({view, at});
    cursor.insertText(QString(QChar::ObjectReplacementCharacter), format);
    // From now on text inserted before the character moves it, and this cursor with it.
    items_.back().at.setKeepPositionOnInsert(false);
    place();
    return view;
}

void TransferItems::clear() {
    for (auto& item : std::exchange(items_, {})) {
        delete item.view.data();
    }
}

std::vector<FileTransferView*> TransferItems::items() const {
    std::vector<FileTransferView*> shown;
    for (const auto& item : items_) {
        if (item.view) {
            shown.push_back(item.view);
        }
    }
    return shown;
}

FileTransferView* TransferItems::item(const QTextFormat& format) const {
    const int index = format.intProperty(kItemIndex);
    return index >= 0 && index < int(items_.size()) ? items_[std::size_t(index)].view.data()
                                                    : nullptr;
}

QSizeF TransferItems::intrinsicSize(QTextDocument*, int, const QTextFormat& format) {
    const auto* view = item(format);
    return view ? QSizeF(view->size()) : QSizeF();
}

void TransferItems::drawObject(QPainter*, const QRectF&, QTextDocument*, int, const QTextFormat&) {
    // The item is a widget that draws itself; place() keeps it where this would draw.
}

QRect TransferItems::placeOf(const Item& item) const {
    const QTextDocument& document = *view_.document();
    const int position = item.at.position();
    if (document.characterAt(position) != QChar::ObjectReplacementCharacter) {
        return {};
    }
    const QTextBlock block = document.findBlock(position);
    const QTextLayout* layout = block.layout();
    const int inBlock = position - block.position();
    const QTextLine line = layout ? layout->lineForTextPosition(inBlock) : QTextLine();
    if (!line.isValid()) {
        return {};
    }
    // The object stands on its line's base line, as the text draws it (in document
    // coordinates; the viewport shows them scrolled).
    const QSize size = item.view->size();
    const QPointF inDocument =
        layout->position() +
        QPointF(line.cursorToX(inBlock), line.y() + line.ascent() - size.height());
    const QPoint scrolled(view_.horizontalScrollBar()->value(), view_.verticalScrollBar()->value());
    return QRect(inDocument.toPoint() - scrolled, size);
}

void TransferItems::place() {
    const QRect visible = view_.viewport()->rect();
    for (const auto& item : items_) {
        if (!item.view) {
            continue;
        }
        const QRect rect = placeOf(item);
        const bool shown = rect.isValid() && rect.intersects(visible);
        if (shown && item.view->pos() != rect.topLeft()) {
            item.view->move(rect.topLeft());
        }
        item.view->setVisible(shown);
    }
}

void TransferItems::relayout() {
    auto* document = view_.document();
    document->markContentsDirty(0, document->characterCount());
}

}  // namespace corvaline::ui
