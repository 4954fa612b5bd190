#include "ui/status/StatusSheet.h"

#include <QDialogButtonBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace corvaline::ui {

StatusSheet::StatusSheet(QWidget* window)
    : QDialog(window),
      text_(new QPlainTextEdit(this)),
      setStatus_(new QPushButton(tr("Set Status"), this)),
      cancel_(new QPushButton(tr("Cancel"), this)) {
    setWindowTitle(tr("Status Text"));
    setWindowModality(Qt::WindowModal);
    auto* prompt = new QLabel(tr("Status text other users see:"), this);
    text_->setTabChangesFocus(true);
    text_->setMinimumWidth(320);
    text_->setFixedHeight(text_->fontMetrics().lineSpacing() * 4 + 12);
    text_->installEventFilter(this);
    setStatus_->setDefault(true);
    // Wide enough for the longest countdown title, so the button never jumps.
    setStatus_->setMinimumWidth(
        setStatus_->fontMetrics().horizontalAdvance(tr("Set Status") + " [00]") + 24);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(setStatus_, QDialogButtonBox::AcceptRole);
    buttons->addButton(cancel_, QDialogButtonBox::RejectRole);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(prompt);
    layout->addWidget(text_);
    layout->addWidget(buttons);
    connect(setStatus_, &QPushButton::clicked, this, &StatusSheet::setStatusClicked);
    connect(cancel_, &QPushButton::clicked, this, &StatusSheet::cancelClicked);
    connect(text_, &QPlainTextEdit::textChanged, this, [this] {
        if (!filling_) {
            emit textEdited();
        }
    });
}

void StatusSheet::setText(const QString& text) {
    filling_ = true;
    text_->setPlainText(text);
    text_->moveCursor(QTextCursor::End);
    filling_ = false;
}

QString StatusSheet::text() const {
    return text_->toPlainText();
}

void StatusSheet::setButtonTitle(const QString& title) {
    setStatus_->setText(title);
}

QString StatusSheet::buttonTitle() const {
    return setStatus_->text();
}

bool StatusSheet::eventFilter(QObject* watched, QEvent* event) {
    if (watched == text_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
            !(key->modifiers() & Qt::ShiftModifier)) {
            setStatus_->click();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void StatusSheet::reject() {
    emit cancelClicked();
}

}  // namespace corvaline::ui
