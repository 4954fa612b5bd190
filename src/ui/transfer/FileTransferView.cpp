#include "ui/transfer/FileTransferView.h"

#include <QGridLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QProgressBar>
#include <algorithm>

#include "core/model/defaults/DefaultsKeys.h"
#include "core/model/entities/FileTransfer.h"
#include "platform/defaults/UserDefaults.h"
#include "ui/format/ByteCounts.h"
#include "ui/format/ScreenPoints.h"

namespace corvaline::ui {

namespace {

// States the peer's or an older program's records may carry besides the engine's own.
constexpr std::int64_t kNoAnswerInTime = 2;
constexpr std::int64_t kNoRights = 3;

// The progress bar's steps; byte counts do not fit its integer range.
constexpr int kProgressSteps = 1000;

// Sizes and text in screen points (ui/format/ScreenPoints.h), so the text keeps its room in
// the item at any resolution: two lines of text and the bar fill the item's height.
struct ItemSize {
    int width, height, textPoints;
};

ItemSize itemSize(int fontSize) {
    switch (fontSize) {
        case 10:
            return {250, 45, 11};
        case 15:
            return {300, 55, 12};
        default:
            return {350, 80, 16};
    }
}

QLabel* makeLabel(bool clickable) {
    auto* label = new QLabel;
    label->setTextFormat(Qt::PlainText);
    if (clickable) {
        label->setCursor(Qt::PointingHandCursor);
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, palette.color(QPalette::Link));
        label->setPalette(palette);
    }
    return label;
}

}  // namespace

FileTransferView::FileTransferView(FileTransfer& transfer, QWidget* parent)
    : QWidget(parent),
      transfer_(std::static_pointer_cast<FileTransfer>(transfer.shared_from_this())),
      top_(makeLabel(false)),
      left_(makeLabel(false)),
      allow_(makeLabel(true)),
      cancel_(makeLabel(true)),
      progressBar_(new QProgressBar) {
    progressBar_->setRange(0, kProgressSteps);
    progressBar_->setTextVisible(false);
    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->setVerticalSpacing(1);
    layout->addWidget(top_, 0, 0, 1, 3);
    layout->addWidget(progressBar_, 1, 0, 1, 3);
    layout->addWidget(left_, 2, 0);
    layout->addWidget(allow_, 2, 1);
    layout->addWidget(cancel_, 2, 2);
    layout->setColumnStretch(0, 1);
    updateSizes();

    fontSizeObservation_ =
        UserDefaults::standard().observe(defaults::kFontSize, [this] { updateSizes(); });
    bytesObservation_ = transfer_->observe("bytesReceived", [this] {
        updateLeftString();
        updateProgress();
    });
    filesObservation_ = transfer_->observe("filesTransferred", [this] { updateTopString(); });
    stateObservation_ = transfer_->observe("transferState", [this] {
        updateTopString();
        updateLeftString();
        updateAllowString();
        updateCancelString();
        updateProgress();
    });
    updateTopString();
    updateLeftString();
    updateAllowString();
    updateCancelString();
    updateProgress();

    if (isIncoming() && transfer_->transferState() == FileTransfer::kWaiting &&
        UserDefaults::standard().boolForKey(defaults::kFileTransferAutoAccept)) {
        transfer_->ContinueTransfer(FileTransfer::kRunning);
    }
}

FileTransferView::~FileTransferView() = default;

bool FileTransferView::isIncoming() const {
    return transfer_->incoming();
}

QString FileTransferView::topString() const {
    return top_->text();
}

QString FileTransferView::leftString() const {
    return left_->text();
}

QString FileTransferView::allowString() const {
    return allow_->text();
}

QString FileTransferView::cancelString() const {
    return cancel_->text();
}

void FileTransferView::updateTopString() {
    const bool incoming = isIncoming();
    const auto files = [](std::int64_t count) { return count < 2 ? tr("file") : tr("files"); };
    const std::int64_t number = transfer_->filesNumber();
    const std::int64_t transferred = transfer_->filesTransferred();
    QString text;
    switch (std::int64_t(transfer_->transferState())) {
        case FileTransfer::kCancelled:
        case FileTransfer::kComplete:
        case FileTransfer::kFailed:
            text = (incoming ? tr("%1 %2 received") : tr("%1 %2 sent"))
                       .arg(transferred)
                       .arg(files(transferred));
            break;
        case FileTransfer::kRunning:
            text = (incoming ? tr("Receiving %1 %2; %3 left") : tr("Sending %1 %2; %3 left"))
                       .arg(number)
                       .arg(files(number))
                       .arg(number - transferred);
            break;
        case kNoAnswerInTime:
            text =
                incoming ? tr("Response not given on time") : tr("Response not received on time");
            break;
        case kNoRights:
            text = tr("Recipient has no rights to accept files");
            break;
        case FileTransfer::kNoFolder:
            text = incoming ? tr("No access to selected folder")
                            : tr("Recipient has no access to selected folder");
            break;
        case FileTransfer::kWaiting:
            text = incoming ? tr("%1 incoming %2").arg(number).arg(files(number))
                            : tr("Ready to send %1 %2 (%3)")
                                  .arg(number)
                                  .arg(files(number))
                                  .arg(byteCountText(transfer_->filesTotalSize()));
            break;
        default:
            break;
    }
    top_->setText(text);
}

void FileTransferView::updateLeftString() {
    QString text;
    switch (std::int64_t(transfer_->transferState())) {
        case FileTransfer::kCancelled:
            text = tr("Canceled");
            break;
        case FileTransfer::kRunning:
            text = tr("%1 left...")
                       .arg(byteCountText(std::max<std::int64_t>(
                           transfer_->filesTotalSize() - transfer_->bytesReceived(), 0)));
            break;
        case kNoAnswerInTime:
            text = tr("Timed out");
            break;
        case kNoRights:
        case FileTransfer::kNoFolder:
        case FileTransfer::kFailed:
            text = tr("Failed");
            break;
        case FileTransfer::kWaiting:
            text = isIncoming() ? tr("(%1)").arg(byteCountText(transfer_->filesTotalSize()))
                                : tr("Waiting...");
            break;
        case FileTransfer::kComplete:
            text = tr("Complete");
            break;
        default:
            break;
    }
    if (text != left_->text()) {
        left_->setText(text);
    }
}

void FileTransferView::updateAllowString() {
    const QString text = isIncoming() && transfer_->transferState() == FileTransfer::kWaiting
                             ? tr("Accept")
                             : QString();
    if (text != allow_->text()) {
        allow_->setText(text);
    }
}

void FileTransferView::updateCancelString() {
    QString text;
    const auto state = transfer_->transferState();
    if (state == FileTransfer::kRunning || state == FileTransfer::kWaiting) {
        text = tr("Cancel");
    } else if (state == FileTransfer::kComplete && isIncoming()) {
        text = tr("Open folder");
    }
    if (text != cancel_->text()) {
        cancel_->setText(text);
    }
}

void FileTransferView::updateProgress() {
    const std::int64_t total = transfer_->filesTotalSize();
    const bool complete = transfer_->transferState() == FileTransfer::kComplete;
    if (total <= 0) {
        progressBar_->setValue(complete ? kProgressSteps : 0);
        return;
    }
    // A completed record reads a little more than its total after a restart.
    const std::int64_t done =
        complete ? total : std::clamp<std::int64_t>(transfer_->bytesReceived(), 0, total);
    progressBar_->setValue(int(done * kProgressSteps / total));
}

void FileTransferView::updateSizes() {
    fontSize_ = int(UserDefaults::standard().integerForKey(defaults::kFontSize)) - 3;
    const ItemSize size = itemSize(fontSize_);
    setFont(withScreenPoints(font(), size.textPoints));
    progressBar_->setFixedHeight(std::max(4, size.height / 8));
    setFixedSize(size.width, size.height);
    emit sizeChanged();
}

void FileTransferView::mousePressEvent(QMouseEvent* event) {
    event->accept();
}

void FileTransferView::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    const auto shows = [&at](const QLabel* label) {
        return !label->text().isEmpty() && label->geometry().contains(at);
    };
    if (shows(cancel_)) {
        if (transfer_->transferState() == FileTransfer::kComplete) {
            openFolder(window(), QString::fromStdString(transfer_->folderPath()), openFolder_);
        } else {
            transfer_->ContinueTransfer(FileTransfer::kCancelled);
        }
    } else if (shows(allow_)) {
        transfer_->ContinueTransfer(FileTransfer::kRunning);
    }
    event->accept();
}

}  // namespace corvaline::ui
