#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QPlainTextEdit;

namespace corvaline::ui {

class NameValidator;

// The local user's own record: the name peers list (a change is announced at once) and the
// personal fields peers read in the user information; the user id only when asked for.
// GUI thread.
class UserInfoPage : public QWidget {
    Q_OBJECT
  public:
    explicit UserInfoPage(QWidget* parent = nullptr);

    // Refills the fields from the local user's record.
    void reload();
    void setUserIdShown(bool shown);

    QLineEdit* fullName() const { return fullName_; }
    QLineEdit* field(const char* attribute) const;
    QPlainTextEdit* additionalInformation() const { return additional_; }
    QLineEdit* userId() const { return userId_; }

  private:
    void applyName();
    void applyUserId();
    void applyAttribute(const char* attribute, const QString& text);

    QLineEdit* fullName_;
    NameValidator* nameRules_;
    QPlainTextEdit* additional_ = nullptr;
    QLabel* userIdLabel_ = nullptr;
    QLineEdit* userId_ = nullptr;
};

}  // namespace corvaline::ui
