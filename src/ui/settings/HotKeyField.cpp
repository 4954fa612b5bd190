#include "ui/settings/HotKeyField.h"

#include <QAction>
#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QStyle>

#include "core/model/defaults/DefaultsKeys.h"
#include "platform/defaults/UserDefaults.h"
#include "ui/settings/VirtualKeys.h"

namespace corvaline::ui {

namespace {

// A caution sign and one line, inside the window: it moves with the window and never covers
// another program.
QWidget* makeWarning(QWidget* parent) {
    auto* warning = new QWidget(parent);
    warning->setObjectName(QStringLiteral("shortcutWarning"));
    auto* layout = new QHBoxLayout(warning);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* label = new QLabel(HotKeyField::tr("Shortcut used by another action"), warning);
    label->setObjectName(QStringLiteral("warningText"));
    const int h = label->sizeHint().height();
    auto* sign = new QLabel(warning);
    sign->setPixmap(warning->style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(h, h));
    layout->addWidget(sign);
    layout->addWidget(label, 1);
    warning->hide();
    return warning;
}

// The keys named by the layout rather than by a fixed symbol: the main block and F20.
bool namedByLayout(std::uint16_t code) {
    return code < 36 || (code >= 37 && code <= 47) || code == 50 || code == 90 || code > 126;
}

bool isFunctionKey(std::uint16_t code) {
    static constexpr std::uint16_t kFunctionKeys[] = {
        122, 120, 99, 118, 96, 97, 98, 100, 101, 109, 103, 111, 105, 107, 113, 106, 64, 79, 80, 90};
    return std::ranges::find(kFunctionKeys, code) != std::end(kFunctionKeys);
}

}  // namespace

HotKeyField::HotKeyField(QWidget* parent) : QLineEdit(parent) {
    // Made once every member is set: adding a child already sends this field events.
    warning_ = makeWarning(this);
    setReadOnly(true);
    // Tab reaches it without recording; a click, Return or Space starts the recording.
    setFocusPolicy(Qt::StrongFocus);
    setAlignment(Qt::AlignCenter);
    setPlaceholderText(tr("Click to record a shortcut"));
    setToolTip(tr("Click here or press Space, then press the keys of the shortcut (Esc cancels)"));
    binding_ = UserDefaults::standard().observe(defaults::kHotKey, [this] { showValue(); });
    showValue();
}

HotKeyField::~HotKeyField() = default;

void HotKeyField::setPlatform(Platform platform) {
    platform_ = std::move(platform);
    showValue();
}

bool HotKeyField::validate(std::uint32_t flags, std::uint16_t code) {
    if (isFunctionKey(code)) {
        return true;
    }
    if (flags == 0) {
        return false;
    }
    if (flags & (kControlFlag | kCommandFlag)) {
        return true;
    }
    if (!(flags & kOptionFlag)) {
        return false;  // Shift alone is not enough
    }
    return code == 49 || code == 53;
}

QString HotKeyField::modifiers(std::uint32_t flags) {
    QStringList names;
    if (flags & kCommandFlag) {
        names.append(tr("Super"));
    }
    if (flags & kControlFlag) {
        names.append(tr("Ctrl"));
    }
    if (flags & kOptionFlag) {
        names.append(tr("Alt"));
    }
    if (flags & kShiftFlag) {
        names.append(tr("Shift"));
    }
    return names.join(QLatin1Char('+'));
}

std::optional<QString> HotKeyField::keyCodeString(std::uint16_t code) const {
    const VirtualKey* key = virtualKey(code);
    if (!namedByLayout(code)) {
        if (!key) {
            return std::nullopt;
        }
        return QCoreApplication::translate("KeyNames", key->name);
    }
    std::optional<QString> name;
    if (platform_.keyName) {
        name = platform_.keyName(code);
    } else if (key) {
        name = QString::fromUtf8(key->name);
    }
    if (name) {
        *name = name->toUpper();  // the letter as printed on the key
    }
    return name;
}

QString HotKeyField::getRepresentation(std::uint32_t flags, std::uint16_t code) const {
    const auto name = keyCodeString(code);
    if (!name || name->isEmpty()) {
        return {};
    }
    const QString held = modifiers(flags);
    return held.isEmpty() ? *name : held + QLatin1Char('+') + *name;
}

bool HotKeyField::validateInMenu(const QList<QAction*>& actions, std::uint32_t flags,
                                 std::uint16_t code) {
    for (QAction* action : actions) {
        if (action->menu() &&
            validateInMenu(action->menu()->actions(), flags & kModifierFlags, code)) {
            return true;
        }
        for (const QKeySequence& shortcut : action->shortcuts()) {
            if (shortcut.isEmpty()) {
                continue;
            }
            const QKeyCombination combination = shortcut[0];
            const auto qtModifiers = combination.keyboardModifiers();
            const auto key =
                virtualKeyForQtKey(combination.key(), qtModifiers.testFlag(Qt::KeypadModifier));
            if (!key || key->code != code) {
                continue;
            }
            std::uint32_t mask = flagsFromQtModifiers(qtModifiers.toInt());
            if (key->shiftImplied) {
                mask |= kShiftFlag;
            }
            if ((mask & kModifierFlags) == (flags & kModifierFlags)) {
                return true;
            }
        }
    }
    return false;
}

QWidget* HotKeyField::warningView() const {
    return warning_;
}

QWidget* HotKeyField::warning() const {
    return warning_ && warning_->isVisible() ? warning_.data() : nullptr;
}

void HotKeyField::showValue() {
    if (recording_) {
        return;
    }
    const auto value = UserDefaults::standard().arrayForKey(defaults::kHotKey);
    if (!value || value->size() < 2 || !value->front().is_number() || !value->back().is_number()) {
        return;
    }
    const auto flags = value->front().get<std::uint32_t>();
    const auto code = static_cast<std::uint16_t>(value->back().get<std::uint32_t>() & 0xFFFF);
    setText(getRepresentation(flags, code));
}

std::optional<std::uint16_t> HotKeyField::codeOf(const QKeyEvent& event) const {
    if (platform_.codeForScanCode && event.nativeScanCode() != 0) {
        if (auto code = platform_.codeForScanCode(event.nativeScanCode())) {
            return code;
        }
    }
    const auto key =
        virtualKeyForQtKey(event.key(), event.modifiers().testFlag(Qt::KeypadModifier));
    if (!key) {
        return std::nullopt;
    }
    return key->code;
}

void HotKeyField::startRecording() {
    if (!isEnabled()) {
        return;
    }
    stopKeyMonitoring();  // the warning of an earlier recording goes
    recording_ = true;
    selectAll();  // the whole text stays selected while recording
}

void HotKeyField::keyDownMonitored(const QKeyEvent& event) {
    const std::uint32_t flags = flagsFromQtModifiers(event.modifiers().toInt());
    const auto code = codeOf(event);
    if (flags == 0 && event.key() == Qt::Key_Escape) {
        stopKeyMonitoring();  // cancelled: the shortcut stays as it was
        return;
    }
    if (!code || !validate(flags, *code)) {
        return;  // consumed: the key does not reach the field
    }
    const QString text = getRepresentation(flags, *code);
    if (text.isEmpty()) {
        return;
    }
    setText(text);
    // Written at once, so that quitting before the window closes keeps it.
    UserDefaults::standard().setObject(defaults::kHotKey, nlohmann::json::array({flags, *code}));
    stopKeyMonitoring();  // the focus stays, so that Tab goes on from here
    // Warned after the recording: a conflicting combination is kept all the same.
    const bool taken = platform_.isTaken && platform_.isTaken(flags, *code);
    if (taken || (menus_ && validateInMenu(menus_->actions(), flags, *code))) {
        showToolTip();
    }
}

void HotKeyField::showToolTip() {
    if (warning_) {
        warning_->show();
    }
}

void HotKeyField::stopKeyMonitoring() {
    recording_ = false;
    if (warning_) {
        warning_->hide();
    }
    deselect();
}

bool HotKeyField::event(QEvent* event) {
    if (recording_) {
        if (event->type() == QEvent::ShortcutOverride) {
            event->accept();  // no menu shortcut fires while a shortcut is recorded
            return true;
        }
        if (event->type() == QEvent::KeyPress) {
            keyDownMonitored(static_cast<const QKeyEvent&>(*event));
            return true;  // Tab too: every key press is consumed
        }
    } else if (event->type() == QEvent::KeyPress) {
        const auto& key = static_cast<const QKeyEvent&>(*event);
        const bool starts =
            key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter || key.key() == Qt::Key_Space;
        if (starts && (key.modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            startRecording();
            return true;
        }
    }
    return QLineEdit::event(event);
}

void HotKeyField::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    if (!recording_) {
        deselect();  // only a recording shows the text selected, so the two states differ
    }
}

void HotKeyField::focusOutEvent(QFocusEvent* event) {
    stopKeyMonitoring();
    QLineEdit::focusOutEvent(event);
}

void HotKeyField::mousePressEvent(QMouseEvent* event) {
    QLineEdit::mousePressEvent(event);
    startRecording();
}

void HotKeyField::hideEvent(QHideEvent* event) {
    stopKeyMonitoring();
    QLineEdit::hideEvent(event);
}

void HotKeyField::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange && !isEnabled()) {
        stopKeyMonitoring();
    }
    QLineEdit::changeEvent(event);
}

}  // namespace corvaline::ui
