#include "ui/history/HistoryViewer.h"

#include <QAction>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollBar>
#include <QSplitter>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "core/model/entities/Chat.h"
#include "core/model/entities/FileTransfer.h"
#include "core/model/entities/User.h"
#include "core/model/events/ModelEvents.h"
#include "core/model/store/AppStore.h"
#include "platform/notifications/NotificationCenter.h"
#include "ui/controls/CloseKeys.h"
#include "ui/controls/RecentFolder.h"
#include "ui/history/FindBar.h"
#include "ui/history/HistoryBlocks.h"
#include "ui/history/HistoryList.h"
#include "ui/history/PrintingTextView.h"

namespace corvaline::ui {
namespace {

std::shared_ptr<ManagedObject> held(ManagedObject* item) {
    return item ? item->shared_from_this() : nullptr;
}

}  // namespace

HistoryViewer* HistoryViewer::initAndShow(ManagedObject* item) {
    if (!AppManagedObjectContext()) {
        return nullptr;  // no store, no history
    }
    auto* window = new HistoryViewer(item);
    window->show();
    return window;
}

HistoryViewer::HistoryViewer(ManagedObject* item)
    : QWidget(nullptr, Qt::Window),
      openedFor_(held(item)),
      list_(new HistoryList(*AppManagedObjectContext(), this)),
      listView_(new QListView),
      text_(new PrintingTextView),
      findBar_(new FindBar(*text_)),
      blocks_(std::make_unique<HistoryBlocks>(*text_->document())) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(tr("History"));
    listView_->setModel(list_);
    listView_->setSelectionMode(QAbstractItemView::SingleSelection);
    listView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    listView_->setUniformItemSizes(true);

    auto* saveButton = new QPushButton(tr("Save..."));
    auto* printButton = new QPushButton(tr("Print..."));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(saveButton);
    buttons->addWidget(printButton);
    auto* right = new QWidget;
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    rightLayout->addWidget(findBar_);
    rightLayout->addWidget(text_, 1);
    rightLayout->addLayout(buttons);
    auto* split = new QSplitter;
    split->addWidget(listView_);
    split->addWidget(right);
    split->setStretchFactor(1, 1);
    split->setSizes({200, 560});
    split->setChildrenCollapsible(false);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(split);

    const auto command = [this](const QKeySequence& keys, auto slot) {
        auto* action = new QAction(this);
        action->setShortcut(keys);
        connect(action, &QAction::triggered, this, slot);
        addAction(action);
    };
    command(QKeySequence::Save, &HistoryViewer::save);
    command(QKeySequence::Print, [this] { text_->print(); });
    command(QKeySequence::Find, [this] { findBar_->field()->setFocus(); });
    closeWithKeys(*this);
    connect(saveButton, &QPushButton::clicked, this, &HistoryViewer::save);
    connect(printButton, &QPushButton::clicked, text_, &PrintingTextView::print);
    connect(listView_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &HistoryViewer::selectionChanged);
    connect(list_, &HistoryList::aboutToUpdate, this, [this] { rebuilding_ = true; });
    connect(list_, &HistoryList::updated, this, &HistoryViewer::listUpdated);
    resize(760, 520);
    listUpdated(true);
}

HistoryViewer::~HistoryViewer() = default;

void HistoryViewer::selectItem(const ManagedObject* item) {
    const int row = list_->rowOf(item);
    if (row < 0) {
        listView_->clearSelection();
        return;
    }
    const QModelIndex index = list_->index(row);
    listView_->setCurrentIndex(index);
    listView_->scrollTo(index);
}

void HistoryViewer::listUpdated(bool rowsCameOrWent) {
    rebuilding_ = false;
    if (openedFor_ && openedFor_->isDeleted()) {
        openedFor_.reset();  // the window holds nothing the store has let go
    }
    // Rows that come or go may take the chosen one with them (and the view then chooses its
    // neighbour): the person's own choice stays while its row does, else the row the window
    // was opened for (a chat's too) is chosen, else none.
    if (rowsCameOrWent) {
        selectItem(list_->rowOf(selected_.get()) >= 0 ? selected_.get() : openedFor_.get());
    }
    selectionChanged();
    if (const int row = list_->rowOf(selected_.get()); row >= 0) {
        text_->setPrintJobName(list_->rows()[static_cast<std::size_t>(row)].displayName);
    }
}

void HistoryViewer::selectionChanged() {
    if (rebuilding_) {
        return;
    }
    const auto rows = listView_->selectionModel()->selectedRows();
    const ListItem* row =
        rows.isEmpty() ? nullptr : &list_->rows()[static_cast<std::size_t>(rows.front().row())];
    std::shared_ptr<ManagedObject> item = row ? held(row->item()) : nullptr;
    if (item == selected_) {
        return;
    }
    logObservations_.clear();
    ++generation_;
    taken_ = 0;
    olderLeft_ = 0;
    oldestTaken_.reset();
    selected_ = item;
    blocks_->clear();
    text_->setPrintJobName(row ? row->displayName : QString());
    if (!item) {
        return;
    }
    text_->setPlainText(tr("loading…"));
    auto& events = ModelEvents::shared();
    const auto soon = [this](const Notification&) { updateLogSoon(); };
    if (auto* user = dynamic_cast<User*>(item.get())) {
        logObservations_.push_back(
            NotificationCenter::defaultCenter().addObserver("logUpdated", user, soon));
        logObservations_.push_back(
            events.observeUserHistoryAppended([this, user](User& changed, LogEntry&) {
                if (&changed == user) {
                    updateLogSoon();
                }
            }));
    } else if (auto* chat = dynamic_cast<Chat*>(item.get())) {
        logObservations_.push_back(
            NotificationCenter::defaultCenter().addObserver("logUpdated", chat, soon));
        logObservations_.push_back(
            events.observeChatHistoryAppended([this, chat](Chat& changed, LogEntry&) {
                if (&changed == chat) {
                    updateLogSoon();
                }
            }));
    }
    // A transfer that was left out while it ran is taken once it has finished.
    logObservations_.push_back(events.observeTransferStateChanged([this](FileTransfer& transfer) {
        const auto users = transfer.user();
        if (transfer.chat() == selected_.get() ||
            std::find(users.begin(), users.end(), selected_.get()) != users.end()) {
            updateLogSoon();
        }
    }));
    updateLog();
}

std::size_t HistoryViewer::logEntriesNumber() const {
    if (auto* user = dynamic_cast<User*>(selected_.get())) {
        return user->logEntriesNumber();
    }
    if (auto* chat = dynamic_cast<Chat*>(selected_.get())) {
        return chat->logEntriesNumber();
    }
    return 0;
}

void HistoryViewer::updateLogSoon() {
    if (!updatePending_) {
        updatePending_ = true;
        QTimer::singleShot(0, this, &HistoryViewer::updateLog);
    }
}

void HistoryViewer::updateLog() {
    updatePending_ = false;
    auto* user = dynamic_cast<User*>(selected_.get());
    auto* chat = dynamic_cast<Chat*>(selected_.get());
    if (!user && !chat) {
        return;
    }
    const std::size_t total = logEntriesNumber();
    if (taken_ == 0 && olderLeft_ == 0) {
        // The first pass: the newest entries at once, the older ones in slices after it. An
        // empty history leaves an empty text.
        const std::size_t first = std::min(total, kFirstEntries);
        const auto newest = user ? user->lastLogEnties(first) : chat->lastLogEnties(first);
        blocks_->clear();
        const int shown = blocks_->append(newest);
        olderLeft_ = total - std::min(total, newest.size());
        oldestTaken_ = newest.empty() ? nullptr : newest.back();
        if (shown > 0 || olderLeft_ > 0) {
            taken_ = total;
        }
        text_->verticalScrollBar()->setValue(0);
        findBar_->refresh();
        if (olderLeft_ > 0) {
            QTimer::singleShot(0, this, [this, generation = generation_] {
                if (generation == generation_) {
                    loadOlder();
                }
            });
        } else {
            emit olderEntriesLoaded();
        }
        return;
    }
    if (total <= taken_) {
        return;
    }
    const std::size_t fresh = total - taken_;
    const auto entries = user ? user->lastLogEnties(fresh) : chat->lastLogEnties(fresh);
    if (blocks_->prepend(entries) > 0) {
        taken_ += fresh;  // transfers left out among them are counted as taken
        text_->verticalScrollBar()->setValue(0);
        findBar_->refresh();
    }
}

void HistoryViewer::loadOlder() {
    auto* user = dynamic_cast<User*>(selected_.get());
    auto* chat = dynamic_cast<Chat*>(selected_.get());
    if ((!user && !chat) || olderLeft_ == 0) {
        return;
    }
    // Pages go in while the next one, taking as long as the last, still fits in the slice.
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    Clock::duration lastPage{};
    do {
        const auto pageStart = Clock::now();
        // Each page starts below the last one, whatever arrived on top meanwhile.
        const auto page = user ? user->logEntriesBefore(*oldestTaken_, kOlderBatch)
                               : chat->logEntriesBefore(*oldestTaken_, kOlderBatch);
        blocks_->append(page);
        olderLeft_ = page.size() < kOlderBatch ? 0 : olderLeft_ - std::min(olderLeft_, page.size());
        if (!page.empty()) {
            oldestTaken_ = page.back();
        }
        lastPage = Clock::now() - pageStart;
    } while (olderLeft_ > 0 && Clock::now() - start + lastPage < kSlice);
    if (olderLeft_ > 0) {
        QTimer::singleShot(0, this, [this, generation = generation_] {
            if (generation == generation_) {
                loadOlder();
            }
        });
        return;
    }
    findBar_->refresh();
    emit olderEntriesLoaded();
}

QString HistoryViewer::proposedFileName() const {
    QString name = text_->printJobName();
    // A peer's name must not lead the file into another folder or hide it.
    name.replace(QChar('/'), QChar('-'));
    name.remove(QChar(0));
    while (name.startsWith(QChar('.')) || name.startsWith(QChar(' '))) {
        name.remove(0, 1);
    }
    if (name.isEmpty()) {
        name = tr("History");
    }
    return name + QStringLiteral(".txt");
}

void HistoryViewer::save() {
    auto* panel = new QFileDialog(this, tr("Save History"), RecentFolder::savingHistory().folder());
    panel->setAttribute(Qt::WA_DeleteOnClose);
    panel->setAcceptMode(QFileDialog::AcceptSave);
    panel->setNameFilter(tr("Text files (*.txt)"));
    panel->setDefaultSuffix(QStringLiteral("txt"));
    panel->selectFile(proposedFileName());
    panel->setWindowModality(Qt::WindowModal);
    connect(panel, &QFileDialog::fileSelected, this, [this](const QString& path) {
        RecentFolder::savingHistory().remember(path);
        saveTo(path);
    });
    panel->open();
}

bool HistoryViewer::saveTo(QString path) {
    if (!path.endsWith(QStringLiteral(".txt"))) {
        path += QStringLiteral(".txt");  // only text files
    }
    QSaveFile file(path);
    const bool written = file.open(QIODevice::WriteOnly) &&
                         file.write(text_->document()->toPlainText().toUtf8()) >= 0 &&
                         file.commit();
    if (!written) {
        auto* box = new QMessageBox(QMessageBox::Critical, tr("History"), file.errorString(),
                                    QMessageBox::Ok, this);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::WindowModal);
        errorBox_ = box;
        box->open();
    }
    return written;
}

}  // namespace corvaline::ui
