#pragma once

#include <QWidget>
#include <memory>

#include "platform/observers/ObservationToken.h"
#include "ui/controls/OpenFolder.h"

class QLabel;
class QProgressBar;

namespace corvaline {
class FileTransfer;
}

namespace corvaline::ui {

// One file transfer in a conversation's text: what is sent or received (top line), how it
// goes (status text and progress bar), and the labels that accept, cancel or open the
// received folder. It follows the transfer live and takes its size from "fontSize". An
// incoming offer that waits is accepted at once while "fileTransferAutoAccept" is on; the
// transfer itself ignores a decision it has had already, so a history shown again never
// accepts twice. GUI thread.
class FileTransferView : public QWidget {
    Q_OBJECT
  public:
    explicit FileTransferView(FileTransfer& transfer, QWidget* parent = nullptr);
    ~FileTransferView() override;

    FileTransfer& transfer() const { return *transfer_; }
    // "fontSize" less 3.
    int fontSize() const { return fontSize_; }

    QString topString() const;
    QString leftString() const;
    QString allowString() const;
    QString cancelString() const;
    QLabel* allowLabel() const { return allow_; }
    QLabel* cancelLabel() const { return cancel_; }
    QProgressBar* progressBar() const { return progressBar_; }
    // "Open folder" opens with the desktop's file manager unless told otherwise (tests).
    void setFolderOpener(FolderOpener opener) { openFolder_ = std::move(opener); }

  signals:
    // The item took a new size; the text lays it out again.
    void sizeChanged();

  protected:
    // Presses stay with the item, so that the text under it starts no selection.
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    void updateTopString();
    void updateLeftString();
    void updateAllowString();
    void updateCancelString();
    void updateProgress();
    void updateSizes();
    bool isIncoming() const;

    std::shared_ptr<FileTransfer> transfer_;
    int fontSize_ = 0;
    QLabel* top_;
    QLabel* left_;
    QLabel* allow_;
    QLabel* cancel_;
    QProgressBar* progressBar_;
    FolderOpener openFolder_ = openWithDesktop;
    ObservationToken fontSizeObservation_;
    ObservationToken bytesObservation_;
    ObservationToken filesObservation_;
    ObservationToken stateObservation_;
};

}  // namespace corvaline::ui
