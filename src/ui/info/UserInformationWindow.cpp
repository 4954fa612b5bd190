#include "ui/info/UserInformationWindow.h"

#include <QCloseEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QScreen>
#include <QStackedWidget>
#include <QTabBar>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <map>

#include "core/model/entities/User.h"
#include "core/model/events/ModelEvents.h"
#include "core/model/services/CoreServices.h"
#include "ui/controls/CloseKeys.h"
#include "ui/controls/TextHeight.h"
#include "ui/icons/StatusIcons.h"
#include "ui/info/UserInfoText.h"

namespace corvaline::ui {
namespace {

constexpr int kPersonalTab = 0;
constexpr int kSystemTab = 1;
constexpr int kToolTipWidth = 300;
constexpr int kPinnedWidth = 380;
constexpr auto kCloseDelay = std::chrono::milliseconds(500);

// The pinned window each user holds (its `userInfoWindow`), and the one tool tip.
std::map<const User*, QPointer<UserInformationWindow>>& pinnedWindows() {
    static std::map<const User*, QPointer<UserInformationWindow>> windows;
    return windows;
}

QPointer<UserInformationWindow>& currentToolTip() {
    static QPointer<UserInformationWindow> window;
    return window;
}

bool isKeyOf(UserInfoText::Tab tab, std::string_view key) {
    const auto keys = UserInfoText::keys(tab);
    return std::find(keys.begin(), keys.end(), key) != keys.end();
}

QTextBrowser* makeTextView() {
    auto* view = new QTextBrowser;
    view->setOpenLinks(false);
    view->setUndoRedoEnabled(false);
    view->setMinimumHeight(8);
    view->setFrameShape(QFrame::NoFrame);
    return view;
}

}  // namespace

UserInformationWindow::UserInformationWindow(User& user)
    : QWidget(nullptr, Qt::Window),
      user_(std::static_pointer_cast<User>(user.shared_from_this())),
      tabs_(new QTabBar),
      pages_(new QStackedWidget),
      personal_(makeTextView()),
      system_(makeTextView()),
      pin_(new QToolButton) {
    user.RequestUserInfo();  // every view asks for fresh information
    setAttribute(Qt::WA_DeleteOnClose);
    tabs_->addTab(tr("Personal"));
    tabs_->addTab(tr("System"));
    tabs_->setExpanding(false);
    pages_->addWidget(personal_);
    pages_->addWidget(system_);
    pin_->setIcon(QIcon(QStringLiteral(":/icons/Pin.svg")));
    pin_->setToolTip(tr("Keep Open"));
    pin_->setAutoRaise(true);
    pin_->hide();
    auto* pinRow = new QHBoxLayout;
    pinRow->setContentsMargins(0, 0, 0, 0);
    pinRow->addStretch();
    pinRow->addWidget(pin_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(0);
    layout->addLayout(pinRow);
    layout->addWidget(tabs_);
    layout->addWidget(pages_, 1);
    connect(pin_, &QToolButton::clicked, this, &UserInformationWindow::showFull);
    closeWithKeys(*this);  // the pinned window's; a tool tip is never the active window
    connect(tabs_, &QTabBar::currentChanged, this, [this](int index) {
        pages_->setCurrentIndex(index);
        UpdateWindowHeight();
    });
    connect(personal_, &QTextBrowser::selectionChanged, this, [this] {
        if (toolTip_ && QCursor::pos() != shownAt_) {
            shouldCloseToolTip();
        }
    });
    changes_ =
        ModelEvents::shared().observeUserChanged([this](User& changed, std::string_view key) {
            if (&changed != user_.get()) {
                return;
            }
            const bool personal = isKeyOf(UserInfoText::Tab::Personal, key) || key == "userOffline";
            if (personal || isKeyOf(UserInfoText::Tab::System, key)) {
                UpdateInfo(personal);
                UpdateWindowHeight();
            }
        });
    // A user deleted, or removed from the list, takes its windows with it.
    removed_ = ModelEvents::shared().observeUserRemoved([this](User& removed, Group&) {
        if (&removed == user_.get() && (removed.isDeleted() || removed.removed())) {
            close();
        }
    });
    resize(kPinnedWidth, 200);
}

UserInformationWindow::~UserInformationWindow() {
    closeCheck_.cancel();
    auto& pinned = pinnedWindows();
    if (auto found = pinned.find(user_.get()); found != pinned.end() && found->second == this) {
        pinned.erase(found);
    }
}

UserInformationWindow* UserInformationWindow::GetInfo(User& user) {
    auto* window = userInfoWindow(user);
    if (window) {
        user.RequestUserInfo();  // every view asks again
    } else {
        window = new UserInformationWindow(user);
        pinnedWindows()[&user] = window;
    }
    window->showWindow();
    return window;
}

UserInformationWindow* UserInformationWindow::userInfoWindow(const User& user) {
    const auto& pinned = pinnedWindows();
    const auto found = pinned.find(&user);
    return found == pinned.end() ? nullptr : found->second.data();
}

UserInformationWindow* UserInformationWindow::showToolTip(User& user, QPoint position) {
    auto& current = currentToolTip();
    if (current && current->user_.get() != &user) {
        closeToolTip();
    }
    if (current) {
        return current;
    }
    current = new UserInformationWindow(user);
    current->showAsToolTip(position);
    return current;
}

UserInformationWindow* UserInformationWindow::CurrentToolTipInfoWindow() {
    return currentToolTip();
}

void UserInformationWindow::closeToolTip() {
    if (auto window = currentToolTip()) {
        currentToolTip() = nullptr;
        window->close();
    }
}

void UserInformationWindow::shouldCloseToolTip() {
    const QPointer<UserInformationWindow> self(this);
    const auto check = [self] {
        if (self && self->frameGeometry().contains(QCursor::pos())) {
            return;
        }
        closeToolTip();
    };
    if (auto* main = CoreServices::shared().mainQueue) {
        closeCheck_ = main->postAfter(kCloseDelay, check);
    } else {
        QTimer::singleShot(kCloseDelay, check);
    }
}

void UserInformationWindow::showAsToolTip(QPoint position) {
    toolTip_ = true;
    shownAt_ = QCursor::pos();
    setWindowFlags(Qt::ToolTip | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_ShowWithoutActivating);
    tabs_->setCurrentIndex(kPersonalTab);
    tabs_->hide();
    pin_->show();
    const QSize pinned = size();
    resize(kToolTipWidth, height());
    move(position.x(), position.y() + 3);  // hangs 3 points below the pointer
    pinnedGrowth_ = pinned - size();
    setPalette(QToolTip::palette());
    setAutoFillBackground(true);
    for (auto* view : {personal_, system_}) {
        view->viewport()->setAutoFillBackground(false);
    }
    showWindow();
}

void UserInformationWindow::showFull() {
    pin_->hide();
    pinnedWindows()[user_.get()] = this;
    if (currentToolTip() == this) {
        currentToolTip() = nullptr;  // without closing: this window stays
    }
    closeCheck_.cancel();
    toolTip_ = false;
    const QRect tip = geometry();
    setWindowFlags(Qt::Window);
    setAttribute(Qt::WA_ShowWithoutActivating, false);
    tabs_->show();
    setPalette(QPalette());
    setAutoFillBackground(false);
    for (auto* view : {personal_, system_}) {
        view->viewport()->setAutoFillBackground(true);
    }
    // Grows by what the tool tip saved, around the same horizontal centre.
    setGeometry(tip.x() - pinnedGrowth_.width() / 2, tip.y(), tip.width() + pinnedGrowth_.width(),
                tip.height());
    updateTitle();
    show();
    UpdateWindowHeight();
    raise();
    activateWindow();
}

void UserInformationWindow::showWindow() {
    UpdateInfo(true);
    UpdateInfo(false);
    // The parts around the text have their sizes once the window is shown; it is fitted and
    // moved before the event loop draws it.
    show();
    UpdateWindowHeight();
    moveOntoScreen();
    if (!toolTip_) {
        raise();
        activateWindow();
    }
}

void UserInformationWindow::UpdateInfo(bool personal) {
    updateTitle();
    const auto tab = personal ? UserInfoText::Tab::Personal : UserInfoText::Tab::System;
    UserInfoText::write(*(personal ? personal_ : system_)->document(),
                        UserInfoText::lines(*user_, tab, CoreServices::shared().now()));
}

void UserInformationWindow::UpdateWindowHeight() {
    auto* view = pages_->currentIndex() == kSystemTab ? system_ : personal_;
    layout()->activate();
    const int outside = height() - view->viewport()->height();
    const qreal text = textHeightForWidth(*view, view->viewport()->width());
    resize(width(), outside + static_cast<int>(std::ceil(text)));
}

void UserInformationWindow::moveOntoScreen() {
    const QRect frame = frameGeometry();
    const QPoint topLeft = frame.topLeft();
    const QPoint bottomRight = frame.bottomRight();
    QPoint offset;
    for (const auto* screen : QGuiApplication::screens()) {
        const QRect area = screen->geometry();
        if (!area.contains(topLeft) || area.contains(bottomRight)) {
            continue;
        }
        if (bottomRight.x() > area.right()) {
            offset.rx() -= bottomRight.x() - area.right();
        }
        if (bottomRight.y() > area.bottom()) {
            offset.ry() -= bottomRight.y() - area.bottom();
        }
    }
    if (!offset.isNull()) {
        move(pos() + offset);
    }
}

void UserInformationWindow::updateTitle() {
    setWindowTitle(tr("%1: %2").arg(tr("User Info"), QString::fromStdString(user_->name())));
}

void UserInformationWindow::leaveEvent(QEvent* event) {
    if (toolTip_) {
        shouldCloseToolTip();
    }
    QWidget::leaveEvent(event);
}

void UserInformationWindow::closeEvent(QCloseEvent* event) {
    closeCheck_.cancel();
    if (currentToolTip() == this) {
        currentToolTip() = nullptr;
    }
    QWidget::closeEvent(event);
}

}  // namespace corvaline::ui
