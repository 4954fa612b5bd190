#pragma once

#include <QLineEdit>
#include <QPointer>
#include <cstdint>
#include <functional>
#include <optional>

#include "platform/observers/ObservationToken.h"

class QKeyEvent;

namespace corvaline::ui {

// The field in which the user presses the global shortcut: it shows the "hotKey" default with
// the key names of Linux desktops ("Super+Shift+S"), records the next acceptable combination
// once recording has started (a click, or Return or Space while it has the focus; Escape
// cancels), writes it to the default at once and warns when another client or one of the
// application's menus already uses it. GUI thread.
class HotKeyField : public QLineEdit {
    Q_OBJECT
  public:
    // What only the window system knows; each may stay empty (no X: names of a US layout,
    // no trial grab).
    struct Platform {
        // The key's name in the current layout, none when the layout has none.
        std::function<std::optional<QString>(std::uint16_t code)> keyName;
        // The virtual key code of an X key code (a key event's native scan code).
        std::function<std::optional<std::uint16_t>(std::uint32_t scanCode)> codeForScanCode;
        // Another client holds the combination.
        std::function<bool(std::uint32_t flags, std::uint16_t code)> isTaken;
    };

    explicit HotKeyField(QWidget* parent = nullptr);
    ~HotKeyField() override;

    void setPlatform(Platform platform);
    // Menus whose shortcuts a recording must not repeat (submenus included).
    void setMenus(QWidget* menuOwner) { menus_ = menuOwner; }

    // Acceptable combinations: a function key with any flags; else Control or Command; or
    // Option alone with Space or Escape.
    static bool validate(std::uint32_t flags, std::uint16_t code);
    // The modifier names joined by "+", in the order Super, Ctrl, Alt, Shift.
    static QString modifiers(std::uint32_t flags);
    // The modifiers, then the key's name: a fixed name for the special keys, the layout's
    // character (upper case) for the others; empty when the key has no name.
    QString getRepresentation(std::uint32_t flags, std::uint16_t code) const;
    std::optional<QString> keyCodeString(std::uint16_t code) const;
    // Whether an action of `actions` (searched into submenus) has the combination as its
    // shortcut; a shifted symbol (a '?') implies Shift.
    static bool validateInMenu(const QList<QAction*>& actions, std::uint32_t flags,
                               std::uint16_t code);

    bool isRecording() const { return recording_; }
    // The "Shortcut used by another action" line with its caution sign, hidden until a
    // recorded combination conflicts and again when the field loses the focus. The window lays
    // it out near the field (it starts as the field's child).
    QWidget* warningView() const;
    // The warning while shown, else none.
    QWidget* warning() const;

  protected:
    bool event(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    void startRecording();
    void keyDownMonitored(const QKeyEvent& event);
    std::optional<std::uint16_t> codeOf(const QKeyEvent& event) const;
    void showValue();
    void showToolTip();
    void stopKeyMonitoring();

    Platform platform_;
    QPointer<QWidget> menus_;
    QPointer<QWidget> warning_;
    ObservationToken binding_;
    bool recording_ = false;
};

}  // namespace corvaline::ui
