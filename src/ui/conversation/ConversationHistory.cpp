// The history side of a conversation window: new entries, the status line, the typing notice.
#include <QLabel>

#include "core/model/entities/Chat.h"
#include "core/model/entities/LogEntry.h"
#include "core/model/entities/User.h"
#include "core/model/entities/UserStatus.h"
#include "core/model/services/CoreServices.h"
#include "ui/conversation/Conversation.h"
#include "ui/conversation/ConversationText.h"

namespace corvaline::ui {

namespace {

// A typing notice shows at least this long.
constexpr Duration kTypingShown{3.0};

}  // namespace

std::size_t Conversation::logCount() const {
    if (chat_) {
        return chat_->logEntriesNumber();
    }
    return user_ ? user_->logEntriesNumber() : 0;
}

void Conversation::updateLog(std::optional<std::size_t> counted) {
    hideTyping(true);
    const std::size_t count = counted ? *counted : logCount();
    if (count <= logEntries_) {
        // Equal: nothing new. Fewer: entries were removed from the store; what is shown stays,
        // and only entries that come after the ones left are shown later.
        logEntries_ = count;
        return;
    }
    const auto entries = chat_ ? chat_->lastLogEnties(count - logEntries_)
                               : user_->lastLogEnties(count - logEntries_);
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
        text_->addEntry(**entry);
    }
    text_->scrollToEnd();
    logEntries_ = count;
}

void Conversation::updateUserStatus() {
    if (chat_ || !user_) {
        return;
    }
    const QString name = QString::fromStdString(user_->name());
    QString line;
    if (user_->userOffline()) {
        line = tr("%1 is offline. However, you can leave them a message.").arg(name);
    } else {
        const auto status = statusFromCode(user_->status()).value_or(UserStatus::Away);
        const QString state = status == UserStatus::Available ? tr("is available")
                              : status == UserStatus::Busy    ? tr("is busy")
                                                              : tr("is away");
        line = QStringLiteral("%1 %2").arg(name, state);
        const QString statusText = QString::fromStdString(user_->statusString());
        if (status != UserStatus::Available && !statusText.isEmpty()) {
            line += QStringLiteral(" (%1)").arg(statusText);
        }
    }
    text_->addText(line, LineKind::Status);
}

void Conversation::typingChanged(User& user) {
    if (!typing_->isHidden() || !user.typingReceived()) {
        return;
    }
    typing_->show();
    auto* main = CoreServices::shared().mainQueue;
    if (!typingTimer_.isScheduled() && main) {
        QPointer<Conversation> self(this);
        typingTimer_ = main->postAfter(kTypingShown, [self] {
            if (self) {
                self->hideTyping(false);
            }
        });
    }
}

void Conversation::hideTyping(bool direct) {
    if (user_ && direct) {
        user_->setTypingReceived(std::nullopt);
    }
    const auto received = user_ ? user_->typingReceived() : std::nullopt;
    auto* main = CoreServices::shared().mainQueue;
    if (received && main) {
        const Duration age = CoreServices::shared().now() - *received;
        if (age < kTypingShown) {
            // Looked at again after as long as the notice is old, but never sooner than the
            // rest of its time: a notice that has just come would otherwise be looked at
            // again and again without pause.
            const Duration wait = std::max(age, kTypingShown - age);
            typingTimer_.cancel();
            QPointer<Conversation> self(this);
            typingTimer_ = main->postAfter(wait, [self] {
                if (self) {
                    self->hideTyping(false);
                }
            });
            return;
        }
    }
    typing_->hide();
    typingTimer_.cancel();
    typingTimer_ = {};
}

}  // namespace corvaline::ui
