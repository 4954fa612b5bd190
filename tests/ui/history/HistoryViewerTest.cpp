#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPrinter>
#include <QScrollBar>
#include <QTextBlock>
#include <filesystem>

#include "core/model/entities/Chat.h"
#include "core/model/entities/FileTransfer.h"
#include "platform/notifications/NotificationCenter.h"
#include "support/TempFolder.h"
#include "ui/history/FindBar.h"
#include "ui/history/HistoryList.h"
#include "ui/history/HistoryViewer.h"
#include "ui/history/PrintingTextView.h"
#include "ui/support/ConversationTest.h"

namespace corvaline::testing {
namespace {

using ui::HistoryViewer;

class HistoryViewerTest : public ConversationTest {
  protected:
    HistoryViewer* open(ManagedObject* item) {
        auto* window = HistoryViewer::initAndShow(item);
        settle();
        return window;
    }

    // Lets the store's announcements and the window's queued work run.
    void settle() {
        run(0.01);
        processEvents();
    }

    // A message recorded and announced as the core does.
    void record(User& user, const std::string& text) {
        addMessage(user, text);
        NotificationCenter::defaultCenter().post("logUpdated", &user);
    }

    QString me() const { return QString::fromStdString(userList_->me()->name()); }

    // Each entry's shaded block, top to bottom: its text and its shade.
    static std::vector<std::pair<QString, QBrush>> shaded(HistoryViewer& window) {
        std::vector<std::pair<QString, QBrush>> entries;
        bool inEntry = false;
        for (auto block = window.textView()->document()->begin(); block.isValid();
             block = block.next()) {
            const auto format = block.blockFormat();
            if (!format.hasProperty(QTextFormat::BackgroundBrush)) {
                inEntry = false;
                continue;
            }
            // The breaks within an entry are line breaks (saved as new lines).
            const QString text = block.text().replace(QChar::LineSeparator, '\n');
            if (!inEntry) {
                entries.push_back({text, format.background()});
            } else {
                entries.back().first += "\n" + text;
            }
            inEntry = true;
        }
        return entries;
    }

    static QStringList blocks(HistoryViewer& window) {
        QStringList texts;
        for (const auto& [text, shade] : shaded(window)) {
            texts << text;
        }
        return texts;
    }

    std::shared_ptr<FileTransfer> addTransfer(User& user, std::int64_t files,
                                              FileTransfer::State state) {
        auto transfer = context_->insert<FileTransfer>();
        transfer->setIncoming(true);
        transfer->addUserObject(user);
        transfer->setFilesNumber(files);
        transfer->setFilesTotalSize(2048);
        transfer->setFolderPath("/tmp/Ann - today");
        transfer->setTransferState(state);
        context_->save();
        return transfer;
    }

    std::shared_ptr<Chat> addChat(std::int64_t room) {
        auto chat = context_->insert<Chat>();
        chat->setRoomId(room);
        context_->save();
        return chat;
    }
};

TEST_F(HistoryViewerTest, NewestFirstAndANewEntryGoesOnTopWithoutRebuilding) {
    addMessage(*ann_, "one", true, 30);
    addMessage(*ann_, "two", false, 20);
    addMessage(*ann_, "three", true, 10);
    auto* window = open(ann_.get());
    ASSERT_EQ(window->selectedItem(), ann_.get());
    auto shown = blocks(*window);
    ASSERT_EQ(shown.size(), 3);
    EXPECT_TRUE(shown[0].endsWith("(Incoming) Ann:\nthree")) << shown[0].toStdString();
    EXPECT_TRUE(shown[1].endsWith("(Outgoing) " + me() + ":\ntwo")) << shown[1].toStdString();
    EXPECT_TRUE(shown[2].endsWith("one"));
    EXPECT_EQ(window->textView()->printJobName(), "Ann");
    EXPECT_EQ(window->takenEntries(), 3u);

    QTextCursor oldTop(window->textView()->document());  // follows the text unless rebuilt
    oldTop.movePosition(QTextCursor::NextCharacter);
    const QString oldTopBlock = oldTop.block().text();
    record(*ann_, "four");
    record(*bob_, "for Bob");
    settle();
    shown = blocks(*window);
    ASSERT_EQ(shown.size(), 4);
    EXPECT_TRUE(shown[0].endsWith("four"));
    EXPECT_TRUE(oldTopBlock.endsWith("three"));
    EXPECT_EQ(oldTop.block().text(), oldTopBlock);  // the blocks that were there stay
    EXPECT_GT(oldTop.position(), 0);
    const auto entries = shaded(*window);
    for (std::size_t i = 1; i < entries.size(); ++i) {
        EXPECT_NE(entries[i - 1].second, entries[i].second) << i;
    }
    EXPECT_EQ(window->textView()->toPlainText().count("\n\n"), 3);  // one empty line apart
}

TEST_F(HistoryViewerTest, ARunningTransferIsNeitherShownNorCountedUntilItFinishes) {
    addMessage(*ann_, "hello", true, 10);
    auto* window = open(ann_.get());
    auto transfer = addTransfer(*ann_, 1, FileTransfer::kRunning);
    NotificationCenter::defaultCenter().post("logUpdated", ann_.get());
    settle();
    EXPECT_EQ(blocks(*window).size(), 1);
    EXPECT_EQ(window->takenEntries(), 1u);

    transfer->setTransferState(FileTransfer::kComplete);
    context_->save();
    settle();
    const auto shown = blocks(*window);
    ASSERT_EQ(shown.size(), 2);
    EXPECT_TRUE(shown[0].contains("1 file (")) << shown[0].toStdString();
    EXPECT_TRUE(shown[0].endsWith("Open Folder"));
    EXPECT_EQ(window->takenEntries(), 2u);
}

TEST_F(HistoryViewerTest, TransfersCountTheirFilesAndBroadcastsSayWhichWay) {
    const struct {
        std::int64_t files;
        const char* text;
    } counts[] = {{1, "1 file ("}, {3, "3 files ("}, {0, "0 file ("}};
    for (const auto& count : counts) {
        addTransfer(*bob_, count.files, FileTransfer::kComplete);
    }
    addMessage(*bob_, "to all", true)->setMass(true);
    addMessage(*bob_, "from me to all", false)->setMass(true);
    context_->save();
    auto* window = open(bob_.get());
    const auto shown = blocks(*window);
    ASSERT_EQ(shown.size(), 5);
    EXPECT_TRUE(shown[0].contains("(Outgoing Broadcast) " + me() + ":"));
    EXPECT_TRUE(shown[1].contains("(Incoming Broadcast) Bob:"));
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(shown[4 - i].contains(counts[i].text)) << shown[4 - i].toStdString();
        EXPECT_TRUE(shown[4 - i].contains("(Incoming) Bob:"));
    }
}

TEST_F(HistoryViewerTest, ASystemLineIsOneGreyHeaderCell) {
    SystemMessage::addText(*context_, "Ann is now offline", nullptr, ann_.get(), false);
    context_->save();
    auto* window = open(ann_.get());
    const auto shown = blocks(*window);
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown[0].endsWith(" - Ann is now offline"));
    EXPECT_FALSE(shown[0].contains('\n'));
    QTextCursor inside(window->textView()->document());
    inside.movePosition(QTextCursor::NextCharacter);
    EXPECT_EQ(inside.charFormat().foreground().color(), QColor(Qt::gray));
}

TEST_F(HistoryViewerTest, TheListOffersUsersRemovedUsersAndChatsThatHaveMessages) {
    eve_->setRemoved(true);
    auto quiet = addChat(11);
    auto busy = addChat(12);
    auto message = context_->insert<Message>();
    message->setMessage("in the chat");
    message->setChat(busy.get());
    context_->save();

    auto* window = open(busy.get());  // a conversation window's chat is selected too
    QStringList names;
    for (const auto& row : window->leftList()->rows()) {
        names << row.displayName;
    }
    ASSERT_EQ(names.size(), 4) << names.join(',').toStdString();
    EXPECT_EQ(names.mid(0, 3), (QStringList{"Ann", "Bob", "Eve (removed)"}));
    EXPECT_EQ(window->leftList()->rowOf(quiet.get()), -1);
    EXPECT_EQ(window->selectedItem(), busy.get());
    EXPECT_TRUE(blocks(*window).front().endsWith("in the chat"));

    // A new user rebuilds the list; the chat the window was opened for stays selected.
    makeUser("A100000004", "Dan", "0");
    context_->save();
    settle();
    EXPECT_EQ(window->leftList()->rows().size(), 5u);
    EXPECT_EQ(window->selectedItem(), busy.get());
}

TEST_F(HistoryViewerTest, RowsChangeInPlaceAndThePersonsChoiceStays) {
    addMessage(*bob_, "from Bob");
    auto* window = open(ann_.get());
    auto& list = *window->leftList();
    window->selectItem(bob_.get());  // the person's own choice
    settle();
    ASSERT_EQ(window->selectedItem(), bob_.get());
    QTextCursor shown(window->textView()->document());  // follows the text unless rebuilt
    shown.movePosition(QTextCursor::End);
    const int end = shown.position();
    const auto rowOf = [&](const User& user) {
        return list.rows()[static_cast<std::size_t>(list.rowOf(&user))];
    };

    const struct {
        const char* what;
        std::function<void()> change;
    } changes[] = {
        {"a status", [&] { ann_->setStatus("2"); }},
        {"a rename that moves the row", [&] { ann_->setName("Zed"); }},
        {"the chosen row's rename", [&] { bob_->setName("Abe"); }},
        {"a new row", [&] { makeUser("A100000004", "Dan", "0"); }},
    };
    for (const auto& [what, change] : changes) {
        SCOPED_TRACE(what);
        change();
        context_->save();
        settle();
        EXPECT_EQ(window->selectedItem(), bob_.get());
        EXPECT_EQ(shown.position(), end);  // the text was not built again
    }
    EXPECT_EQ(rowOf(*ann_).iconName, "Away");
    EXPECT_EQ(rowOf(*ann_).displayName, "Zed");
    EXPECT_EQ(list.rowOf(ann_.get()), 3);  // Abe, Dan, Eve, Zed
    EXPECT_EQ(list.index(list.rowOf(ann_.get())).data(Qt::DisplayRole).toString(), "Zed");
    EXPECT_EQ(window->textView()->printJobName(), "Abe");

    // The chosen row goes: the row the window was opened for is chosen again.
    context_->deleteObject(*bob_);
    context_->save();
    settle();
    EXPECT_EQ(window->selectedItem(), ann_.get());
}

// Under ASan this also shows that nothing reads the freed user.
TEST_F(HistoryViewerTest, AUserDeletedWhileShownLeavesTheListAndTheWindowLetsItGo) {
    User* gus = makeUnheldUser("A100000009", "Gus");
    const std::weak_ptr<ManagedObject> held = gus->weak_from_this();
    auto* window = open(gus);
    ASSERT_EQ(window->selectedItem(), gus);
    deleteAndSave(gus);
    settle();
    EXPECT_TRUE(held.expired());
    EXPECT_EQ(window->selectedItem(), nullptr);
    EXPECT_EQ(window->leftList()->rows().size(), 3u);
    window->selectItem(ann_.get());
    settle();
    EXPECT_EQ(window->selectedItem(), ann_.get());
}

TEST_F(HistoryViewerTest, FromTheMenuNothingIsSelectedAndAnEmptyHistoryIsEmpty) {
    auto* window = open(nullptr);
    EXPECT_EQ(window->selectedItem(), nullptr);
    EXPECT_TRUE(window->textView()->document()->isEmpty());
    window->selectItem(bob_.get());
    settle();
    EXPECT_EQ(window->selectedItem(), bob_.get());
    EXPECT_TRUE(window->textView()->toPlainText().isEmpty());  // not "loading…"
}

TEST_F(HistoryViewerTest, SavingWritesThePlainTextInUtf8OrShowsTheError) {
    addMessage(*ann_, "Привет 👋");
    auto* window = open(ann_.get());
    TempFolder folder;
    const QString path = QString::fromStdString((folder.path() / "Ann.txt").string());
    ASSERT_TRUE(window->saveTo(path));
    QFile saved(path);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(saved.readAll());
    EXPECT_EQ(text, window->textView()->document()->toPlainText());
    EXPECT_TRUE(text.contains(QStringLiteral("Привет 👋")));

    EXPECT_FALSE(window->saveTo(path + "/missing/folder/Ann"));
    ASSERT_NE(window->errorBox(), nullptr);
    EXPECT_FALSE(window->errorBox()->text().isEmpty());
    EXPECT_TRUE(QFile::exists(path));
}

TEST_F(HistoryViewerTest, SaveStartsAtHomeThenInTheFolderLastSavedTo) {
    addMessage(*ann_, "hello");
    auto* window = open(ann_.get());
    const auto saveDialog = [window] {
        window->save();
        auto* panel = window->findChild<QFileDialog*>();
        EXPECT_NE(panel, nullptr);
        return panel;
    };
    auto* panel = saveDialog();
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->directory().canonicalPath(), QDir(QDir::homePath()).canonicalPath());
    const auto folder = home_.path() / "Saved";
    std::filesystem::create_directories(folder);
    emit panel->fileSelected(QString::fromStdString((folder / "Ann.txt").string()));
    delete panel;
    panel = saveDialog();
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->directory().canonicalPath(),
              QDir(QString::fromStdString(folder.string())).canonicalPath());
    delete panel;
}

TEST_F(HistoryViewerTest, AnEntryIsOneParagraphWhoseLineBreaksAreSavedAsNewLines) {
    addMessage(*ann_, "first\r\nsecond\nthird", true, 20);
    addMessage(*ann_, "alone", true, 10);
    auto* window = open(ann_.get());
    auto* document = window->textView()->document();
    EXPECT_EQ(document->blockCount(), 3);  // an entry, the empty line, an entry
    const QString text = document->toPlainText();
    EXPECT_TRUE(text.contains("(Incoming) Ann:\nalone\n\n")) << text.toStdString();
    EXPECT_TRUE(text.endsWith("(Incoming) Ann:\nfirst\nsecond\nthird")) << text.toStdString();
}

TEST_F(HistoryViewerTest, TheProposedFileNameStaysInTheChosenFolder) {
    const struct {
        const char* name;
        const char* proposed;
    } cases[] = {
        {"Ann", "Ann.txt"},
        {"../../etc/passwd", "-..-etc-passwd.txt"},
        {".hidden", "hidden.txt"},
        {"...", "History.txt"},
    };
    auto* window = open(nullptr);
    for (const auto& c : cases) {
        window->textView()->setPrintJobName(c.name);
        EXPECT_EQ(window->proposedFileName(), c.proposed) << c.name;
    }
}

TEST_F(HistoryViewerTest, TheFindBarStepsThroughMatchesAndHighlightsThem) {
    addMessage(*ann_, "apple pie", true, 30);
    addMessage(*ann_, "banana", true, 20);
    addMessage(*ann_, "apple tart", true, 10);
    auto* window = open(ann_.get());
    auto* find = window->findBar();
    find->field()->setText("apple");
    EXPECT_EQ(find->highlightedMatches(), 2);
    EXPECT_EQ(window->textView()->textCursor().selectedText(), "apple");
    const int first = window->textView()->textCursor().position();
    EXPECT_TRUE(find->findNext());
    EXPECT_GT(window->textView()->textCursor().position(), first);
    EXPECT_TRUE(find->findNext());  // round the end
    EXPECT_EQ(window->textView()->textCursor().position(), first);
    find->field()->setText("kiwi");
    EXPECT_FALSE(find->findNext());
    EXPECT_EQ(find->highlightedMatches(), 0);
    auto* status = find->findChild<QLabel*>();
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(status->text(), "Not found");
    find->field()->clear();  // nothing sought, nothing missing
    EXPECT_EQ(status->text(), "");
    EXPECT_FALSE(window->textView()->textCursor().hasSelection());
}

TEST_F(HistoryViewerTest, TheFindBarHighlightsWhatIsInViewAndSeesTextAddedLater) {
    constexpr int kEntries = 50;  // far more than the window shows, all in the first pass
    for (int i = 0; i < kEntries; ++i) {
        addMessage(*ann_, "apple " + std::to_string(i), true, 100 - i);
    }
    auto* window = open(ann_.get());
    auto* text = window->textView();
    auto* find = window->findBar();
    const auto allInView = [text] {
        for (const auto& mark : text->extraSelections()) {
            if (!text->viewport()->rect().intersects(text->cursorRect(mark.cursor))) {
                return false;
            }
        }
        return true;
    };
    find->field()->setText("apple");
    const int inView = find->highlightedMatches();
    EXPECT_GT(inView, 0);
    EXPECT_LT(inView, kEntries);
    EXPECT_TRUE(allInView());
    text->verticalScrollBar()->setValue(text->verticalScrollBar()->maximum());
    EXPECT_GT(find->highlightedMatches(), 0);
    EXPECT_TRUE(allInView());

    find->field()->setText("kiwi");
    EXPECT_FALSE(find->findNext());
    record(*ann_, "kiwis are here");  // the text changes: what was missing may be there now
    settle();
    find->field()->setText("kiwis");
    EXPECT_EQ(text->textCursor().selectedText(), "kiwis");
    EXPECT_EQ(find->highlightedMatches(), 1);
}

TEST_F(HistoryViewerTest, PrintsTheHistoryToAPdfFile) {
    addMessage(*ann_, "printed");
    auto* window = open(ann_.get());
    TempFolder folder;
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    const QString path = QString::fromStdString((folder.path() / "history.pdf").string());
    printer.setOutputFileName(path);
    window->textView()->printTo(printer);
    QFile pdf(path);
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    EXPECT_TRUE(pdf.read(5).startsWith("%PDF"));
    EXPECT_EQ(printer.docName(), "Ann");
    const auto margins = printer.pageLayout().margins(QPageLayout::Point);
    EXPECT_EQ(margins, QMarginsF(10, 20, 10, 20));
}

TEST_F(HistoryViewerTest, ALongHistoryShowsTheNewestAtOnceAndTheRestInSlices) {
    const int total =
        static_cast<int>(HistoryViewer::kFirstEntries + 3 * HistoryViewer::kOlderBatch + 7);
    for (int i = 0; i < total; ++i) {
        auto message = context_->insert<Message>();
        message->setMessage("m" + std::to_string(i));
        message->setIncoming(true);
        message->addUserObject(*ann_);
        const Date when = now() - std::chrono::seconds(total - i);
        message->setTime(when);
        message->setTimeReceived(when);
    }
    context_->save();
    auto* window = HistoryViewer::initAndShow(ann_.get());
    EXPECT_EQ(blocks(*window).size(), static_cast<int>(HistoryViewer::kFirstEntries));
    EXPECT_TRUE(window->loadingOlder());
    record(*ann_, "newest");  // arrives while the older ones are still being built
    for (int turn = 0; turn < 1000 && window->loadingOlder(); ++turn) {
        settle();
    }
    settle();
    const auto shown = blocks(*window);
    ASSERT_EQ(shown.size(), total + 1);
    EXPECT_TRUE(shown.front().endsWith("\nnewest"));
    for (int i = 1; i <= total; ++i) {
        EXPECT_TRUE(shown[i].endsWith(QStringLiteral("\nm%1").arg(total - i))) << i;
    }
    EXPECT_EQ(window->takenEntries(), static_cast<std::size_t>(total + 1));
}

}  // namespace
}  // namespace corvaline::testing
