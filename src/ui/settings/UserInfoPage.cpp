#include "ui/settings/UserInfoPage.h"

#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

#include "core/model/entities/Me.h"
#include "core/model/roster/UserList.h"
#include "core/model/services/CoreServices.h"
#include "core/model/store/AppStore.h"
#include "ui/format/NameValidator.h"

namespace corvaline::ui {

namespace {

// The personal attributes of the user-information record, with their labels.
struct Attribute {
    const char* key;
    const char* label;
};
constexpr Attribute kAttributes[] = {
    {"firstName", QT_TRANSLATE_NOOP("corvaline::ui::UserInfoPage", "First name:")},
    {"lastName", QT_TRANSLATE_NOOP("corvaline::ui::UserInfoPage", "Last name:")},
    {"jobTitle", QT_TRANSLATE_NOOP("corvaline::ui::UserInfoPage", "Job title:")},
    {"department", QT_TRANSLATE_NOOP("corvaline::ui::UserInfoPage", "Department:")},
};

Me* me() {
    auto* list = CoreServices::shared().userList;
    return list ? list->me().get() : nullptr;
}

QString textOf(const Me& me, const char* key) {
    const Value& value = me.value(key);
    const auto* text = std::get_if<std::string>(&value);
    return text ? QString::fromStdString(*text) : QString();
}

}  // namespace

UserInfoPage::UserInfoPage(QWidget* parent)
    : QWidget(parent), fullName_(new QLineEdit(this)), nameRules_(new NameValidator(true, this)) {
    // Tab goes from field to field in the order they are made: made top to bottom.
    auto* form = new QFormLayout(this);
    fullName_->setObjectName(QStringLiteral("name"));
    fullName_->setValidator(nameRules_);
    fullName_->setToolTip(tr("The name other users see in their lists"));
    form->addRow(tr("Full name:"), fullName_);
    connect(fullName_, &QLineEdit::editingFinished, this, &UserInfoPage::applyName);
    for (const auto& attribute : kAttributes) {
        auto* field = new QLineEdit(this);
        field->setObjectName(QString::fromLatin1(attribute.key));
        form->addRow(tr(attribute.label), field);
        connect(field, &QLineEdit::editingFinished, this,
                [this, field, key = attribute.key] { applyAttribute(key, field->text()); });
    }
    additional_ = new QPlainTextEdit(this);
    additional_->setObjectName(QStringLiteral("additionalInformation"));
    additional_->setTabChangesFocus(true);
    additional_->setFixedHeight(additional_->fontMetrics().lineSpacing() * 4 + 12);
    form->addRow(tr("Additional information:"), additional_);
    connect(additional_, &QPlainTextEdit::textChanged, this,
            [this] { applyAttribute("additionalInformation", additional_->toPlainText()); });
    userIdLabel_ = new QLabel(tr("User ID:"), this);
    userId_ = new QLineEdit(this);
    userId_->setObjectName(QStringLiteral("userId"));
    form->addRow(userIdLabel_, userId_);
    connect(userId_, &QLineEdit::editingFinished, this, &UserInfoPage::applyUserId);
    setUserIdShown(false);
    reload();
}

QLineEdit* UserInfoPage::field(const char* attribute) const {
    return findChild<QLineEdit*>(QString::fromLatin1(attribute));
}

void UserInfoPage::reload() {
    Me* local = me();
    if (!local) {
        return;
    }
    fullName_->setText(QString::fromStdString(local->name()));
    nameRules_->beginEditing(fullName_->text());
    for (const auto& attribute : kAttributes) {
        field(attribute.key)->setText(textOf(*local, attribute.key));
    }
    const QSignalBlocker quiet(additional_);
    additional_->setPlainText(textOf(*local, "additionalInformation"));
    userId_->setText(QString::fromStdString(local->userId()));
}

void UserInfoPage::setUserIdShown(bool shown) {
    userIdLabel_->setVisible(shown);
    userId_->setVisible(shown);
}

void UserInfoPage::applyName() {
    Me* local = me();
    const std::string name = fullName_->text().toStdString();
    if (!local || name.empty() || name == local->name()) {
        return;
    }
    local->setName(name);  // announced to everyone ("UC")
    nameRules_->beginEditing(fullName_->text());
    SaveAppContextIfChanged();
}

void UserInfoPage::applyUserId() {
    Me* local = me();
    const std::string id = userId_->text().trimmed().toStdString();
    if (!local || id.empty() || id == local->userId()) {
        return;
    }
    local->setUserId(id);  // goes offline under the old id and comes back under the new one
    SaveAppContextIfChanged();
}

void UserInfoPage::applyAttribute(const char* attribute, const QString& text) {
    Me* local = me();
    if (!local || textOf(*local, attribute) == text) {
        return;
    }
    // Peers read these in the user information they ask for.
    local->setValue(attribute, text.isEmpty() ? Value() : Value(text.toStdString()));
    SaveAppContextIfChanged();
}

}  // namespace corvaline::ui
