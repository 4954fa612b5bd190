// What the core holds of a conversation window: a weak pointer to it, so that the window may
// close (and be deleted) while the model still holds the adapter.
#include <QApplication>

#include "ui/conversation/Conversation.h"

namespace corvaline::ui {

class Conversation::Adapter : public ConversationWindow {
  public:
    explicit Adapter(Conversation* window) : window_(window) {}

    void makeKeyAndFront() override {
        if (!window_) {
            return;
        }
        window_->isMinimized() ? window_->showNormal() : window_->show();
        window_->raise();
        window_->activateWindow();
    }
    bool isVisible() const override { return window_ && window_->isVisible(); }
    bool isMiniaturized() const override { return window_ && window_->isMinimized(); }
    bool isKeyWindow() const override { return window_ && window_->isActiveWindow(); }
    bool isMainWindow() const override { return isKeyWindow(); }
    void showWindow() override {
        showWithoutActivating([](Conversation& window) { window.show(); });
    }
    void deminiaturize() override {
        showWithoutActivating([](Conversation& window) { window.showNormal(); });
    }
    // Above the other windows without taking the focus; the desktop is asked to draw the
    // user's attention to it.
    void raiseToLevel(long) override {
        if (window_) {
            window_->raise();
            QApplication::alert(window_);
        }
    }
    void usersJoined(const std::vector<User*>& users) override {
        if (window_) {
            window_->usersJoined(users);
        }
    }
    void userLeft(User& user) override {
        if (window_) {
            window_->userLeft(user);
        }
    }

    Conversation* window() const { return window_; }

  private:
    template <typename Show>
    void showWithoutActivating(Show show) {
        if (!window_) {
            return;
        }
        window_->setAttribute(Qt::WA_ShowWithoutActivating);
        show(*window_);
        window_->setAttribute(Qt::WA_ShowWithoutActivating, false);
    }

    QPointer<Conversation> window_;
};

std::shared_ptr<ConversationWindow> Conversation::adapter() {
    auto made = adapter_.lock();
    if (!made) {
        made = std::make_shared<Adapter>(this);
        adapter_ = made;
    }
    return made;
}

Conversation* Conversation::from(const std::shared_ptr<ConversationWindow>& window) {
    const auto* adapter = dynamic_cast<const Adapter*>(window.get());
    return adapter ? adapter->window() : nullptr;
}

}  // namespace corvaline::ui
