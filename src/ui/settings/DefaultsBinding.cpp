#include "ui/settings/DefaultsBinding.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalBlocker>
#include <QSpinBox>
#include <functional>
#include <string>

#include "platform/defaults/UserDefaults.h"

namespace corvaline::ui {

namespace {

// Keeps a default's observation for as long as the control it refreshes. GUI thread.
class Binding : public QObject {
  public:
    Binding(QWidget* control, std::string_view key, std::function<void()> refresh)
        : QObject(control), token_(UserDefaults::standard().observe(key, [control, refresh] {
              const QSignalBlocker quiet(control);  // showing a value is no user change
              refresh();
          })) {
        const QSignalBlocker quiet(control);
        refresh();
    }

  private:
    ObservationToken token_;
};

UserDefaults& defaults() {
    return UserDefaults::standard();
}

}  // namespace

void bindBool(QAbstractButton* box, std::string_view key) {
    box->setCheckable(true);
    new Binding(box, key, [box, key] { box->setChecked(defaults().boolForKey(key)); });
    QObject::connect(box, &QAbstractButton::toggled,
                     [key](bool on) { defaults().setBool(key, on); });
}

void bindOnOff(QAbstractButton* box, std::string_view key) {
    box->setCheckable(true);
    new Binding(box, key, [box, key] { box->setChecked(defaults().integerForKey(key) == 1); });
    QObject::connect(box, &QAbstractButton::toggled,
                     [key](bool on) { defaults().setInteger(key, on ? 1 : 0); });
}

void bindInteger(QSpinBox* box, std::string_view key) {
    new Binding(box, key,
                [box, key] { box->setValue(static_cast<int>(defaults().integerForKey(key))); });
    QObject::connect(box, &QSpinBox::valueChanged,
                     [key](int value) { defaults().setInteger(key, value); });
}

void bindChoice(QComboBox* box, std::string_view key) {
    new Binding(box, key, [box, key] {
        box->setCurrentIndex(box->findData(QVariant::fromValue(defaults().integerForKey(key))));
    });
    QObject::connect(box, &QComboBox::activated, [box, key](int index) {
        defaults().setInteger(key, box->itemData(index).toLongLong());
    });
}

void bindText(QLineEdit* field, std::string_view key) {
    new Binding(field, key, [field, key] {
        field->setText(QString::fromStdString(defaults().stringForKey(key)));
    });
    QObject::connect(field, &QLineEdit::editingFinished,
                     [field, key] { defaults().setString(key, field->text().toStdString()); });
}

void bindText(QPlainTextEdit* field, std::string_view key) {
    new Binding(field, key, [field, key] {
        const QString stored = QString::fromStdString(defaults().stringForKey(key));
        if (field->toPlainText() != stored) {
            field->setPlainText(stored);
        }
    });
    QObject::connect(field, &QPlainTextEdit::textChanged, [field, key] {
        defaults().setString(key, field->toPlainText().toStdString());
    });
}

}  // namespace corvaline::ui
