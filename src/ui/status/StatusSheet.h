#pragma once

#include <QDialog>

class QPlainTextEdit;
class QPushButton;

namespace corvaline::ui {

// The window-modal sheet in which the user edits the status text of Busy or Away before it is
// applied. It only shows and reports; the status selection decides. GUI thread.
class StatusSheet : public QDialog {
    Q_OBJECT
  public:
    explicit StatusSheet(QWidget* window);

    // Replaces the text without counting as the user typing.
    void setText(const QString& text);
    QString text() const;
    void setButtonTitle(const QString& title);
    QString buttonTitle() const;
    QPlainTextEdit* textEdit() const { return text_; }
    QPushButton* setStatusButton() const { return setStatus_; }
    QPushButton* cancelButton() const { return cancel_; }

  signals:
    void setStatusClicked();
    void cancelClicked();
    // The user changed the text.
    void textEdited();

  protected:
    // Escape and the window's close button count as Cancel.
    void reject() override;
    // Return in the text sets the status (Shift+Return breaks the line), as in a one-line field.
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QPlainTextEdit* text_;
    QPushButton* setStatus_;
    QPushButton* cancel_;
    bool filling_ = false;
};

}  // namespace corvaline::ui
