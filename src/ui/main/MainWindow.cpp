#include "ui/main/MainWindow.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "ui/icons/StatusIcons.h"

namespace corvaline::ui {

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent),
      statusButtons_(new QButtonGroup(this)),
      pages_(new QStackedWidget(this)),
      roster_(new QWidget(this)),
      stoppedPage_(new QWidget(this)),
      errorMessage_(new QLabel(this)),
      signIn_(new QPushButton(tr("Sign In"), this)) {
    setWindowTitle(tr("Corvaline"));
    setWindowIcon(applicationIcon());
    setObjectName("mainWindow");

    auto* statusRow = new QHBoxLayout;
    statusRow->setSpacing(2);
    statusRow->addWidget(addStatusButton(0, tr("Available"), "Normal"));
    statusRow->addWidget(addStatusButton(1, tr("Busy"), "Dnd"));
    statusRow->addWidget(addStatusButton(2, tr("Away"), "Away"));
    statusButtons_->setExclusive(true);

    errorMessage_->setTextFormat(Qt::PlainText);
    errorMessage_->setWordWrap(true);
    errorMessage_->setAlignment(Qt::AlignCenter);
    errorMessage_->setText(
        tr("Corvaline stopped because another copy started with your identity on the "
           "network. Sign in to use Corvaline on this computer again."));
    auto* stoppedLayout = new QVBoxLayout(stoppedPage_);
    stoppedLayout->addStretch();
    stoppedLayout->addWidget(errorMessage_);
    stoppedLayout->addWidget(signIn_, 0, Qt::AlignHCenter);
    stoppedLayout->addStretch();
    connect(signIn_, &QPushButton::clicked, this, &MainWindow::signInClicked);

    pages_->addWidget(roster_);
    pages_->addWidget(stoppedPage_);

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addLayout(statusRow);
    layout->addWidget(pages_, 1);
    setCentralWidget(central);
    resize(280, 480);
}

QToolButton* MainWindow::addStatusButton(int tag, const QString& title, const char* icon) {
    auto* button = new QToolButton(this);
    button->setText(title);
    button->setIcon(statusIcon(icon));
    button->setCheckable(true);
    button->setAutoRaise(true);
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    statusButtons_->addButton(button, tag);
    return button;
}

QAbstractButton* MainWindow::statusButton(int tag) const {
    return statusButtons_->button(tag);
}

void MainWindow::setRosterView(QWidget* view) {
    const bool stopped = servicesStopped();
    pages_->removeWidget(roster_);
    roster_->deleteLater();
    roster_ = view;
    pages_->insertWidget(0, roster_);
    showServicesStopped(stopped);
}

void MainWindow::showServicesStopped(bool stopped) {
    pages_->setCurrentWidget(stopped ? stoppedPage_ : roster_);
}

bool MainWindow::servicesStopped() const {
    return pages_->currentWidget() == stoppedPage_;
}

}  // namespace corvaline::ui
