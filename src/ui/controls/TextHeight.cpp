#include "ui/controls/TextHeight.h"

#include <QAbstractTextDocumentLayout>
#include <QTextDocument>
#include <QTextEdit>
#include <memory>

namespace corvaline::ui {

qreal textHeightForWidth(const QTextEdit& view, qreal width) {
    const QTextDocument& own = *view.document();
    std::unique_ptr<QTextDocument> copy(own.clone());
    copy->setDocumentMargin(own.documentMargin());
    copy->setDefaultFont(own.defaultFont());
    copy->setTextWidth(width);
    return copy->documentLayout()->documentSize().height();
}

}  // namespace corvaline::ui
