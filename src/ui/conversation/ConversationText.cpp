#include "ui/conversation/ConversationText.h"

#include <QApplication>
#include <QPalette>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextEdit>

#include "core/model/defaults/DefaultsKeys.h"
#include "core/model/entities/FileTransfer.h"
#include "core/model/entities/Me.h"
#include "core/model/entities/Message.h"
#include "core/model/entities/SystemMessage.h"
#include "core/model/roster/UserList.h"
#include "core/model/services/CoreServices.h"
#include "platform/defaults/UserDefaults.h"
#include "ui/conversation/LinkedText.h"
#include "ui/format/DateText.h"
#include "ui/format/ScreenPoints.h"
#include "ui/transfer/TransferItems.h"

namespace corvaline::ui {

namespace {

QDateTime toQDateTime(Date date) {
    return QDateTime::fromMSecsSinceEpoch(
        std::chrono::duration_cast<std::chrono::milliseconds>(date.time_since_epoch()).count());
}

bool hasTimeStamp(LineKind kind) {
    return kind == LineKind::System || kind == LineKind::Header || kind == LineKind::SystemError;
}

bool scrollsToEnd(LineKind kind) {
    return kind == LineKind::Status || kind == LineKind::System || kind == LineKind::SystemError;
}

}  // namespace

ConversationText::ConversationText(QTextEdit& view) : view_(view), items_(new TransferItems(view)) {
    updateParagraphs(view.font());
}

void ConversationText::updateParagraphs(const QFont& font) {
    const double size = screenPoints(font);
    baseParagraph_ = QTextBlockFormat();
    baseParagraph_.setLineHeight(size / 6.0, QTextBlockFormat::LineDistanceHeight);
    fileParagraph_ = baseParagraph_;
    fileParagraph_.setLeftMargin(size);
    fileParagraph_.setTextIndent(0);

    attributesBlack_ = QTextCharFormat();
    attributesBlack_.setFont(font);
    attributesBlack_.setForeground(view_.palette().color(QPalette::Text));
    attributesGray_ = QTextCharFormat();
    attributesGray_.setFont(font);
    attributesGray_.setForeground(Qt::gray);
    attributesRed_ = attributesGray_;
    attributesRed_.setForeground(Qt::red);
    scrollToEnd();
}

void ConversationText::addText(const QString& text, LineKind kind, std::optional<Date> time) {
    QTextDocument& document = *view_.document();
    const bool empty = document.isEmpty();
    const bool separated =
        kind == LineKind::Status ? !empty && lastLineIsStatusAndItPos_ != 0 : !empty;
    QString line;
    if (hasTimeStamp(kind)) {
        const bool forceDay = UserDefaults::standard().boolForKey(defaults::kDisplayTime);
        line = QStringLiteral("%1 - ").arg(
            DateText::format(time ? std::optional(toQDateTime(*time)) : std::nullopt, forceDay));
    }
    line += text;

    QTextCursor cursor(&document);
    cursor.movePosition(QTextCursor::End);
    if (kind == LineKind::Status) {
        if (lastLineIsStatusAndItPos_ >= 0 && lastLineIsStatusAndItPos_ < cursor.position()) {
            cursor.setPosition(lastLineIsStatusAndItPos_);
            cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
            cursor.removeSelectedText();
        } else if (lastLineIsStatusAndItPos_ < 0) {
            lastLineIsStatusAndItPos_ = cursor.position();
        }
    } else {
        lastLineIsStatusAndItPos_ = -1;
    }

    const QTextBlockFormat& paragraph =
        kind == LineKind::MessageText ? fileParagraph_ : baseParagraph_;
    const QTextCharFormat& style = kind == LineKind::MessageText   ? attributesBlack_
                                   : kind == LineKind::SystemError ? attributesRed_
                                                                   : attributesGray_;
    if (separated) {
        cursor.insertBlock(paragraph, style);
    } else {
        cursor.setBlockFormat(paragraph);
        cursor.setBlockCharFormat(style);
    }
    insertLinkedText(cursor, line, style);
    if (scrollsToEnd(kind)) {
        scrollToEnd();
    }
}

QString ConversationText::senderName(const LogEntry& entry) {
    if (!entry.incoming()) {
        auto* list = CoreServices::shared().userList;
        return list && list->me() ? QString::fromStdString(list->me()->name()) : QString();
    }
    const auto users = entry.user();
    return users.empty() ? QString() : QString::fromStdString(users.front()->name());
}

void ConversationText::addEntry(LogEntry& entry) {
    if (const auto* message = dynamic_cast<const Message*>(&entry)) {
        addMessage(*message);
    } else if (auto* transfer = dynamic_cast<FileTransfer*>(&entry)) {
        addFileTransfer(*transfer);
    } else if (const auto* line = dynamic_cast<const SystemMessage*>(&entry)) {
        addSystemMessage(*line);
    }
}

void ConversationText::addMessage(const Message& message) {
    QString label;
    if (message.offline() && message.mass()) {
        label = QApplication::translate("Conversation", "Broadcast offline message");
    } else if (message.offline()) {
        label = QApplication::translate("Conversation", "Offline message");
    } else if (message.mass()) {
        label = QApplication::translate("Conversation", "Broadcast message");
    }
    const QString header = QStringLiteral("%1%2:").arg(
        senderName(message), label.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(label));
    addText(header, LineKind::Header, message.time());
    addText(QString::fromStdString(message.message()), LineKind::MessageText);
}

FileTransferView* ConversationText::addFileTransfer(FileTransfer& transfer) {
    addText(senderName(transfer), LineKind::Header, transfer.time());
    QTextCursor cursor(view_.document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertBlock(fileParagraph_);
    return items_->insert(cursor, transfer);
}

std::vector<FileTransferView*> ConversationText::transferItems() const {
    return items_->items();
}

void ConversationText::addSystemMessage(const SystemMessage& line) {
    addText(QString::fromStdString(line.text()),
            line.error() ? LineKind::SystemError : LineKind::System, line.time());
}

void ConversationText::clear() {
    view_.clear();
    items_->clear();
    lastLineIsStatusAndItPos_ = -1;
}

void ConversationText::scrollToEnd() {
    auto* bar = view_.verticalScrollBar();
    bar->setValue(bar->maximum());
}

}  // namespace corvaline::ui
