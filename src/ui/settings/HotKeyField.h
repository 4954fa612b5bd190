#pragma once

#include <QLineEdit>
#include <QPointer>
#include <cstdint>
#include <functional>
#include <optional>

#include "platform/observers/ObservationToken.h"

class QKeyEvent;

namespace corvaline::ui {

class ShortcutWarning;

// The field in which the user presses the global shortcut: it shows the "hotKey" default as
// modifier symbols and the key's name, records the next acceptable combination while it has
// the focus, writes it to the default at once and warns when another client or one of the
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
    // The modifier symbols, in the order Control, Option, Shift, Command.
    static QString modifiers(std::uint32_t flags);
    // The fixed names of the special keys; the others come from the layout.
    QString getRepresentation(std::uint32_t flags, std::uint16_t code) const;
    std::optional<QString> keyCodeString(std::uint16_t code) const;
    // Whether an action of `actions` (searched into submenus) has the combination as its
    // shortcut; a shifted symbol (a '?') implies Shift.
    static bool validateInMenu(const QList<QAction*>& actions, std::uint32_t flags,
                               std::uint16_t code);

    bool isRecording() const { return recording_; }
    // The "Shortcut used by another action" popup, while shown.
    QWidget* warning() const;

  protected:
    bool event(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    void keyDownMonitored(const QKeyEvent& event);
    std::optional<std::uint16_t> codeOf(const QKeyEvent& event) const;
    void showValue();
    void showToolTip();
    void stopKeyMonitoring();

    Platform platform_;
    QPointer<QWidget> menus_;
    ShortcutWarning* warning_ = nullptr;
    ObservationToken binding_;
    bool recording_ = false;
};

}  // namespace corvaline::ui
