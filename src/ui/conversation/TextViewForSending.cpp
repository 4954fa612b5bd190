#include "ui/conversation/TextViewForSending.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QTextBlock>

#include "core/model/defaults/DefaultsKeys.h"
#include "core/model/entities/Chat.h"
#include "core/model/entities/User.h"
#include "platform/defaults/UserDefaults.h"
#include "ui/conversation/EmojiCleanup.h"
#include "ui/conversation/MessagePieces.h"
#include "ui/conversation/SpellChecker.h"
#include "ui/conversation/SpellHighlighter.h"

namespace corvaline::ui {

TextViewForSending::TextViewForSending(QWidget* parent)
    : QTextEdit(parent), spelling_(new SpellHighlighter(document(), SpellChecker::shared())) {
    setAcceptRichText(false);
    auto& defaults = UserDefaults::standard();
    setContinuousSpellCheckingEnabled(
        defaults.boolForKey(defaults::kContinuousSpellCheckingEnabled));
    setAutomaticSpellingCorrectionEnabled(
        defaults.boolForKey(defaults::kAutomaticSpellingCorrectionEnabled));
    setGrammarCheckingEnabled(defaults.boolForKey(defaults::kGrammarCheckingEnabled));
    connect(this, &QTextEdit::textChanged, this, &TextViewForSending::didChangeText);
}

std::vector<User*> TextViewForSending::users() const {
    return recipients_.users ? recipients_.users() : std::vector<User*>{};
}

bool TextViewForSending::isSendingKey(const QKeyEvent& event) const {
    if (event.key() != Qt::Key_Return && event.key() != Qt::Key_Enter) {
        return false;
    }
    const bool control = event.modifiers() & Qt::ControlModifier;
    const bool returnSends = UserDefaults::standard().integerForKey(defaults::kSendMessageKey) == 1;
    return returnSends ? !control : control;
}

void TextViewForSending::keyPressEvent(QKeyEvent* event) {
    if (isSendingKey(*event)) {
        sendMessage();
        event->accept();
        return;
    }
    // The text as it was before this key: the first key typed into an empty view tells
    // nobody, so a stray key press does not show the other side a typing notice.
    const auto recipients = users();
    if (!recipients_.mass && recipients.size() == 1 && !document()->isEmpty()) {
        recipients.front()->sendIsTyping();
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        insertPlainText(QStringLiteral("\n"));  // a line break with any modifier held
        event->accept();
        return;
    }
    QTextEdit::keyPressEvent(event);
}

QString TextViewForSending::typedText() const {
    // Not toPlainText(): that turns no-break spaces into ordinary ones. Only the separators
    // between paragraphs, where a line break was typed, stand for other characters.
    QString text = document()->toRawText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    return text;
}

void TextViewForSending::sendMessage() {
    const QString text = typedText();
    const auto recipients = users();
    Chat* chat = recipients_.chat ? recipients_.chat() : nullptr;
    if (text.isEmpty() || (!chat && recipients.empty())) {
        return;
    }
    for (const QString& piece : messagePieces(text)) {
        if (chat) {
            chat->sendMessage(piece.toStdString());
        } else {
            recipients.front()->SendMessage(
                piece.toStdString(), recipients_.mass ? std::optional(recipients) : std::nullopt);
        }
    }
    clear();
    if (recipients_.mass) {
        window()->close();
    }
}

void TextViewForSending::didChangeText() {
    if (cleaning_) {
        return;  // our own edits of the clean-up
    }
    cleaning_ = true;
    EmojiCleanup::clean(*document());
    cleaning_ = false;
}

void TextViewForSending::setContinuousSpellCheckingEnabled(bool enabled) {
    spelling_->setEnabled(enabled);
    UserDefaults::standard().setBool(defaults::kContinuousSpellCheckingEnabled, enabled);
}

void TextViewForSending::setAutomaticSpellingCorrectionEnabled(bool enabled) {
    UserDefaults::standard().setBool(defaults::kAutomaticSpellingCorrectionEnabled, enabled);
}

void TextViewForSending::setGrammarCheckingEnabled(bool enabled) {
    UserDefaults::standard().setBool(defaults::kGrammarCheckingEnabled, enabled);
}

bool TextViewForSending::isContinuousSpellCheckingEnabled() const {
    return spelling_->isEnabled();
}

void TextViewForSending::contextMenuEvent(QContextMenuEvent* event) {
    std::unique_ptr<QMenu> menu(createStandardContextMenu(event->pos()));
    QAction* first = menu->actions().value(0);
    QTextCursor word = cursorForPosition(event->pos());
    word.select(QTextCursor::WordUnderCursor);
    const QString misspelt = word.selectedText();
    const auto& checker = SpellChecker::shared();
    if (isContinuousSpellCheckingEnabled() && !misspelt.isEmpty() && misspelt.front().isLetter() &&
        !checker.isCorrect(misspelt)) {
        const QStringList suggestions = checker.suggestions(misspelt);
        for (const QString& suggestion : suggestions) {
            auto* replace = new QAction(suggestion, menu.get());
            connect(replace, &QAction::triggered, this,
                    [word, suggestion]() mutable { word.insertText(suggestion); });
            menu->insertAction(first, replace);
        }
        if (suggestions.isEmpty()) {
            auto* none = new QAction(tr("No Guesses Found"), menu.get());
            none->setEnabled(false);
            menu->insertAction(first, none);
        }
        menu->insertSeparator(first);
    }
    menu->addSeparator();
    auto* spelling = menu->addAction(tr("Check &Spelling While Typing"));
    spelling->setCheckable(true);
    spelling->setChecked(isContinuousSpellCheckingEnabled());
    connect(spelling, &QAction::toggled, this,
            &TextViewForSending::setContinuousSpellCheckingEnabled);
    menu->exec(event->globalPos());
}

User* TextViewForSending::fileRecipient(const QMimeData* data) const {
    if (recipients_.mass || !fileSender_ || !data || !data->hasUrls()) {
        return nullptr;
    }
    if (recipients_.chat && recipients_.chat()) {
        return nullptr;
    }
    const auto recipients = users();
    if (recipients.size() != 1 || recipients.front()->userOffline()) {
        return nullptr;
    }
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile()) {
            return nullptr;
        }
    }
    return recipients.front();
}

bool TextViewForSending::acceptFileDrag(QDragMoveEvent* event) const {
    if (!fileRecipient(event->mimeData())) {
        return false;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    return true;
}

void TextViewForSending::dragEnterEvent(QDragEnterEvent* event) {
    if (!acceptFileDrag(event)) {
        QTextEdit::dragEnterEvent(event);
    }
}

void TextViewForSending::dragMoveEvent(QDragMoveEvent* event) {
    if (!acceptFileDrag(event)) {
        QTextEdit::dragMoveEvent(event);
    }
}

void TextViewForSending::dropEvent(QDropEvent* event) {
    if (!fileRecipient(event->mimeData())) {
        QTextEdit::dropEvent(event);
        return;
    }
    if (performFileDrop(event->mimeData())) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

bool TextViewForSending::performFileDrop(const QMimeData* data) {
    User* to = fileRecipient(data);
    if (!to) {
        return false;
    }
    std::vector<std::filesystem::path> paths;
    for (const QUrl& url : data->urls()) {
        paths.emplace_back(url.toLocalFile().toStdString());
    }
    return fileSender_(paths, *to);
}

}  // namespace corvaline::ui
