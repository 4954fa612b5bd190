#include "ui/transfer/FileTransferView.h"

#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QFontInfo>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QScrollBar>
#include <QTest>
#include <fstream>
#include <functional>
#include <map>

#include "core/model/entities/FileTransfer.h"
#include "core/model/events/ModelEvents.h"
#include "core/net/FILEserver.h"
#include "platform/notifications/NotificationCenter.h"
#include "ui/conversation/Conversation.h"
#include "ui/conversation/TextViewForReading.h"
#include "ui/format/ByteCounts.h"
#include "ui/support/ConversationTest.h"

namespace corvaline::testing {
namespace {

using ui::FileTransferView;

// Receives the URLs the desktop would open.
class UrlCatcher : public QObject {
    Q_OBJECT
  public:
    UrlCatcher() { QDesktopServices::setUrlHandler("file", this, "open"); }
    ~UrlCatcher() override { QDesktopServices::unsetUrlHandler("file"); }
    QList<QUrl> opened;
  public slots:
    void open(const QUrl& url) { opened.append(url); }
};

// The four texts of an item: top line, status, accept label, cancel label.
struct Texts {
    QString top, left, allow, cancel;
    bool operator==(const Texts&) const = default;
};

void PrintTo(const Texts& texts, std::ostream* out) {
    *out << '"' << texts.top.toStdString() << "\" \"" << texts.left.toStdString() << "\" \""
         << texts.allow.toStdString() << "\" \"" << texts.cancel.toStdString() << '"';
}

Texts texts(const FileTransferView& view) {
    return {view.topString(), view.leftString(), view.allowString(), view.cancelString()};
}

class FileTransferViewTest : public ConversationTest {
  protected:
    void SetUp() override {
        ConversationTest::SetUp();
        setDefault("fileTransferAutoAccept", false);
    }

    // A history record of a transfer with Ann, as the store keeps it.
    std::shared_ptr<FileTransfer> record(bool incoming, std::int64_t state, std::int64_t files,
                                         std::int64_t transferred, std::int64_t bytes) {
        auto transfer = context_->insert<FileTransfer>();
        transfer->setIncoming(incoming);
        transfer->setFilesNumber(files);
        transfer->setFilesTransferred(transferred);
        transfer->setFilesTotalSize(bytes);
        transfer->setTransferState(state);
        transfer->setFolderPath((home_.path() / "Received").string());
        transfer->setTime(now());
        transfer->addUserObject(*ann_);
        context_->save();
        return transfer;
    }
};

TEST_F(FileTransferViewTest, EveryStateShowsItsTextsAndLabels) {
    const QString size = ui::byteCountText(3000);
    struct Row {
        bool incoming;
        std::int64_t state, files, transferred;
        Texts expected;
    };
    const std::vector<Row> rows = {
        {false, 5, 1, 0, {"Ready to send 1 file (" + size + ")", "Waiting...", "", "Cancel"}},
        {true, 5, 3, 0, {"3 incoming files", "(" + size + ")", "Accept", "Cancel"}},
        {false, 1, 3, 1, {"Sending 3 files; 2 left", size + " left...", "", "Cancel"}},
        {true, 1, 3, 0, {"Receiving 3 files; 3 left", size + " left...", "", "Cancel"}},
        {true, 6, 3, 3, {"3 files received", "Complete", "", "Open folder"}},
        {false, 6, 3, 3, {"3 files sent", "Complete", "", ""}},
        {false, 0, 3, 0, {"0 file sent", "Canceled", "", ""}},
        {true, 0, 1, 1, {"1 file received", "Canceled", "", ""}},
        {true, 7, 3, 2, {"2 files received", "Failed", "", ""}},
        {true, 2, 3, 0, {"Response not given on time", "Timed out", "", ""}},
        {false, 2, 3, 0, {"Response not received on time", "Timed out", "", ""}},
        {true, 3, 3, 0, {"Recipient has no rights to accept files", "Failed", "", ""}},
        {false, 3, 3, 0, {"Recipient has no rights to accept files", "Failed", "", ""}},
        {true, 4, 3, 0, {"No access to selected folder", "Failed", "", ""}},
        {false, 4, 3, 0, {"Recipient has no access to selected folder", "Failed", "", ""}},
        {true, 9, 3, 0, {"", "", "", ""}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::Message() << "incoming " << row.incoming << " state " << row.state);
        FileTransferView view(*record(row.incoming, row.state, row.files, row.transferred, 3000));
        EXPECT_EQ(texts(view), row.expected);
    }
}

TEST_F(FileTransferViewTest, LabelsFollowTheTransferAndClicksDecideOrOpenTheFolder) {
    auto transfer = record(true, FileTransfer::kWaiting, 3, 0, 3000);
    FileTransferView view(*transfer);
    view.show();
    transfer->setTransferState(FileTransfer::kRunning);
    EXPECT_EQ(texts(view), (Texts{"Receiving 3 files; 3 left", ui::byteCountText(3000) + " left...",
                                  "", "Cancel"}));
    transfer->setFilesTransferred(2);
    EXPECT_EQ(view.topString(), "Receiving 3 files; 1 left");

    transfer->setFilesTransferred(3);
    transfer->setTransferState(FileTransfer::kComplete);
    EXPECT_EQ(view.progressBar()->value(), view.progressBar()->maximum());
    UrlCatcher desktop;
    QTest::mouseClick(view.cancelLabel(), Qt::LeftButton);
    const QString folder = QString::fromStdString((home_.path() / "Received").string());
    EXPECT_EQ(desktop.opened, QList<QUrl>{QUrl::fromLocalFile(folder)});
    EXPECT_EQ(view.findChild<QMessageBox*>(), nullptr);
    // Where the desktop has no folder opener, a message says so and shows the path.
    view.setFolderOpener([](const QUrl&) { return false; });
    QTest::mouseClick(view.cancelLabel(), Qt::LeftButton);
    auto* box = view.findChild<QMessageBox*>();
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isVisible());
    EXPECT_TRUE(box->text().contains(folder)) << box->text().toStdString();
    delete box;
    // A label without text takes no click.
    QTest::mouseClick(view.allowLabel(), Qt::LeftButton);
    EXPECT_EQ(transfer->transferState(), FileTransfer::kComplete);
}

TEST_F(FileTransferViewTest, SizesFollowFontSizeForEveryItemAtOnce) {
    setDefault("fontSize", 13);
    record(true, FileTransfer::kComplete, 1, 1, 10);
    record(false, FileTransfer::kCancelled, 1, 0, 10);
    auto* window = ui::Conversation::from(ui::Conversation::open({ann_.get()}, nullptr, false, {}));
    ASSERT_NE(window, nullptr);
    processEvents();
    const auto items = window->transferItems();
    ASSERT_EQ(items.size(), 2u);
    const struct {
        int fontSize;
        QSize size;
        int textPixels;  // as many at any resolution: the text keeps its room in the item
    } cases[] = {
        {13, {250, 45}, 11}, {18, {300, 55}, 12}, {12, {350, 80}, 16}, {24, {350, 80}, 16}};
    for (const auto& c : cases) {
        setDefault("fontSize", c.fontSize);
        for (auto* item : items) {
            EXPECT_EQ(item->size(), c.size) << c.fontSize;
            EXPECT_EQ(item->fontSize(), c.fontSize - 3);
            EXPECT_EQ(QFontInfo(item->font()).pixelSize(), c.textPixels) << c.fontSize;
        }
    }
    // The items stand on their own lines, the later one lower, once the text is drawn.
    window->conversationTextView()->viewport()->repaint();
    EXPECT_TRUE(items[0]->isVisible());
    EXPECT_LT(items[0]->y() + items[0]->height(), items[1]->y() + 1);

    // Emptied, the text lets its items go; a later transfer takes its place in full size.
    window->clearConversation();
    EXPECT_TRUE(window->transferItems().empty());
    record(true, FileTransfer::kWaiting, 2, 0, 10);
    NotificationCenter::defaultCenter().post("logUpdated", ann_.get());
    ASSERT_EQ(window->transferItems().size(), 1u);
    EXPECT_GE(window->conversationTextView()->document()->size().height(), 80);
}

// Where the text lays out the line of its (only) item, in viewport coordinates.
QRect lineOfItem(const QTextEdit& text) {
    QTextCursor object = text.document()->find(QString(QChar::ObjectReplacementCharacter));
    object.setPosition(object.selectionStart());
    return text.cursorRect(object);
}

TEST_F(FileTransferViewTest, AnItemStaysOnItsLineOrHidesWhenTheTextIsLaidOutAgain) {
    const std::string words =
        QString(QStringLiteral("words that wrap ")).repeated(30).toStdString();
    for (int at = 0; at < 8; ++at) {
        addMessage(*ann_, words, true, 100 - at);
    }
    record(true, FileTransfer::kWaiting, 2, 0, 10);
    const struct {
        const char* what;
        std::function<void(ui::Conversation&)> change;
    } cases[] = {
        {"the window narrowed", [](ui::Conversation& window) { window.resize(300, 500); }},
        {"the members' pane shown in a window that cannot grow",
         [](ui::Conversation& window) {
             window.setMaximumWidth(window.width());
             window.toggleRightPane(false);
         }},
        {"a larger fontSize", [this](ui::Conversation&) { setDefault("fontSize", 30); }},
    };
    for (const auto& c : cases) {
        setDefault("fontSize", 18);
        auto* window =
            ui::Conversation::from(ui::Conversation::open({ann_.get()}, nullptr, false, {}));
        ASSERT_NE(window, nullptr);
        window->resize(700, 500);
        window->show();
        processEvents();
        auto& text = *window->conversationTextView();
        const auto items = window->transferItems();
        ASSERT_EQ(items.size(), 1u);
        const FileTransferView& item = *items.front();
        const auto expectOnItsLine = [&](const char* when) {
            text.viewport()->repaint();  // the text draws whatever lines are in view
            const QRect line = lineOfItem(text);
            EXPECT_EQ(item.isVisible(), line.intersects(text.viewport()->rect())) << when;
            if (item.isVisible()) {
                EXPECT_NEAR(item.x(), line.x(), 2) << when;
                EXPECT_GE(item.y(), line.top() - 1) << when;
                EXPECT_LE(item.geometry().bottom(), line.bottom() + 1) << when;
            }
        };
        expectOnItsLine("shown");
        EXPECT_TRUE(item.isVisible());
        c.change(*window);
        processEvents();
        expectOnItsLine(c.what);
        text.verticalScrollBar()->setValue(text.verticalScrollBar()->maximum());
        expectOnItsLine(c.what);
        delete window;
        processEvents();
    }
}

TEST_F(FileTransferViewTest, AfterARestartAWaitingOrRunningTransferShowsFailed) {
    record(true, FileTransfer::kWaiting, 3, 0, 3000);
    record(false, FileTransfer::kRunning, 2, 1, 3000);
    const auto id = ann_->userId();
    ann_.reset();
    restart();
    auto ann = userList_->getUserById(id, std::nullopt);
    ASSERT_NE(ann, nullptr);
    auto* window = ui::Conversation::from(ui::Conversation::open({ann.get()}, nullptr, false, {}));
    const auto items = window->transferItems();
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(texts(*items[0]), (Texts{"0 file received", "Failed", "", ""}));
    EXPECT_EQ(texts(*items[1]), (Texts{"1 file sent", "Failed", "", ""}));
}

// The real core: an offer sent to ourselves over 127.0.0.1 arrives as a waiting incoming
// transfer, which the item accepts at once with "fileTransferAutoAccept" on.
class FileTransferItemTransferTest : public FileTransferViewTest {
  protected:
    void SetUp() override {
        FileTransferViewTest::SetUp();
        CoreServices::shared().mainQueue = &real_;
        setDefault("fileTransferPath", (home_.path() / "Downloads").string());
        ann_->setIp("127.0.0.1");
        files_ = FILEserver::create(std::shared_ptr<Executor>(std::shared_ptr<void>(), &real_));
        appended_ = ModelEvents::shared().observeUserHistoryAppended([this](User&, LogEntry& e) {
            auto* transfer = dynamic_cast<FileTransfer*>(&e);
            if (transfer && transfer->incoming()) {
                incoming_ = std::static_pointer_cast<FileTransfer>(transfer->shared_from_this());
            }
        });
    }

    void TearDown() override {
        appended_ = {};
        files_.reset();
        FileTransferViewTest::TearDown();
    }

    bool runUntil(const std::function<bool()>& done) {
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!done() && std::chrono::steady_clock::now() < limit) {
            real_.runUntil(done, Duration(0.1));
        }
        return done();
    }

    std::filesystem::path makeFile(const std::string& name, std::size_t size) {
        const auto path = home_.path() / "out" / name;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << std::string(size, 'c');
        return path;
    }

    MainLoop real_;
    std::shared_ptr<FILEserver> files_;
    std::shared_ptr<FileTransfer> incoming_;
    ObservationToken appended_;
};

TEST_F(FileTransferItemTransferTest, AutoAcceptTakesAWaitingOfferOnceAndShownAgainNothingMore) {
    setDefault("fileTransferAutoAccept", true);
    auto sent = files_->outgoingFiles(
        {makeFile("a.bin", 1000), makeFile("b.bin", 2000), makeFile("c.bin", 3000)}, *ann_);
    ASSERT_NE(sent, nullptr);
    FileTransferView outgoing(*sent);
    EXPECT_EQ(outgoing.topString(), "Ready to send 3 files (" + ui::byteCountText(6000) + ")");
    ASSERT_TRUE(runUntil([&] { return incoming_ != nullptr; }));
    ASSERT_EQ(incoming_->transferState(), FileTransfer::kWaiting);

    int decisions = 0;
    auto states = incoming_->observe("transferState", [&] { ++decisions; });
    auto first = std::make_unique<FileTransferView>(*incoming_);
    EXPECT_EQ(decisions, 1);
    EXPECT_EQ(first->topString(), "Receiving 3 files; 3 left");
    EXPECT_EQ(first->allowString(), "");
    // The history shown again in a new window: the item reads the state and decides nothing.
    FileTransferView again(*incoming_);
    EXPECT_EQ(decisions, 1);
    EXPECT_EQ(again.topString(), "Receiving 3 files; 3 left");

    ASSERT_TRUE(runUntil([&] { return !incoming_->isRunning() && !sent->isRunning(); }));
    EXPECT_EQ(texts(again), (Texts{"3 files received", "Complete", "", "Open folder"}));
    EXPECT_EQ(texts(outgoing), (Texts{"3 files sent", "Complete", "", ""}));
    EXPECT_EQ(std::filesystem::file_size(std::filesystem::path(incoming_->folderPath()) / "c.bin"),
              3000u);
    // A finished transfer ignores a late accept from an item shown once more.
    FileTransferView late(*incoming_);
    EXPECT_EQ(incoming_->transferState(), FileTransfer::kComplete);
}

TEST_F(FileTransferItemTransferTest, AcceptAndCancelAreClicksOnTheLabels) {
    auto sent = files_->outgoingFiles({makeFile("a.bin", 10)}, *ann_);
    ASSERT_NE(sent, nullptr);
    ASSERT_TRUE(runUntil([&] { return incoming_ != nullptr; }));
    FileTransferView item(*incoming_);
    item.show();
    EXPECT_EQ(texts(item),
              (Texts{"1 incoming file", "(" + ui::byteCountText(10) + ")", "Accept", "Cancel"}));
    QTest::mouseClick(item.cancelLabel(), Qt::LeftButton);
    EXPECT_EQ(incoming_->transferState(), FileTransfer::kCancelled);
    ASSERT_TRUE(runUntil([&] { return !sent->isRunning(); }));
    EXPECT_EQ(sent->transferState(), FileTransfer::kCancelled);

    incoming_.reset();
    auto second = files_->outgoingFiles({makeFile("b.bin", 10)}, *ann_);
    ASSERT_TRUE(runUntil([&] { return incoming_ != nullptr; }));
    FileTransferView accepted(*incoming_);
    accepted.show();
    QTest::mouseClick(accepted.allowLabel(), Qt::LeftButton);
    ASSERT_TRUE(runUntil([&] { return !incoming_->isRunning() && !second->isRunning(); }));
    EXPECT_EQ(accepted.leftString(), "Complete");
}

TEST_F(FileTransferItemTransferTest, AFolderDroppedOnTheWindowArrivesWhole) {
    setDefault("fileTransferAutoAccept", true);
    const std::map<std::string, std::size_t> tree = {
        {"Docs/a.bin", 70'000}, {"Docs/sub/b.txt", 12}, {"Docs/sub/deeper/empty", 0}};
    for (const auto& [name, size] : tree) {
        makeFile(name, size);
    }
    ui::ConversationHooks hooks;
    std::shared_ptr<FileTransfer> sent;
    hooks.outgoingFiles = [&](const std::vector<std::filesystem::path>& paths, User& to) {
        sent = files_->outgoingFiles(paths, to);
        return sent != nullptr;
    };
    auto* window =
        ui::Conversation::from(ui::Conversation::open({ann_.get()}, nullptr, false, hooks));
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString((home_.path() / "out" / "Docs")))});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window, &enter);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window, &drop);
    ASSERT_TRUE(drop.isAccepted());
    ASSERT_TRUE(runUntil([&] { return incoming_ != nullptr; }));
    FileTransferView item(*incoming_);  // as the receiving window shows it: accepted at once
    ASSERT_TRUE(runUntil([&] { return !incoming_->isRunning() && !sent->isRunning(); }));
    EXPECT_EQ(item.leftString(), "Complete");
    for (const auto& [name, size] : tree) {
        const auto copy = std::filesystem::path(incoming_->folderPath()) / name;
        EXPECT_TRUE(std::filesystem::is_regular_file(copy)) << name;
        EXPECT_EQ(std::filesystem::file_size(copy), size) << name;
    }
}

}  // namespace
}  // namespace corvaline::testing

#include "FileTransferViewTest.moc"
