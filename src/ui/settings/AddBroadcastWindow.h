#pragma once

#include <QDialog>
#include <optional>

#include "core/model/broadcast/BroadcastItem.h"

class QButtonGroup;
class QLabel;
class QLineEdit;

namespace corvaline::ui {

// The window in which a new broadcast target is typed: a single address (1), a subnet (2) or
// an address range (3), with the labels and tool tips of the chosen type. The fields correct
// addresses as they are typed. Add closes the window only on an entry that validates, and
// otherwise says what is wrong; the fields keep their texts for the next use. GUI thread.
class AddBroadcastWindow : public QDialog {
    Q_OBJECT
  public:
    explicit AddBroadcastWindow(QWidget* parent = nullptr);

    // Back to a single address, then shown window-modal.
    void start();
    // Applies the labels and tool tips of the type (radio tag) and shows one or two fields.
    void NetwokRadioButton(int type);
    int type() const;
    // The entry made of the fields, if it validates.
    std::optional<BroadcastItem> validatedItem() const;
    // Add: closes the window only when the entry validates.
    void accept() override;

    QLabel* label1() const { return label1_; }
    QLabel* label2() const { return label2_; }
    QLineEdit* field1() const { return field1_; }
    QLineEdit* field2() const { return field2_; }
    QButtonGroup* radios() const { return radios_; }
    // What is wrong with the entry Add was last pressed on; hidden while nothing is.
    QLabel* problem() const { return problem_; }

  private:
    BroadcastItem typedItem() const;
    QString problemText(const BroadcastItem& item) const;

    QButtonGroup* radios_;
    QLabel* label1_;
    QLineEdit* field1_;
    QLabel* label2_;
    QLineEdit* field2_;
    QLabel* problem_;
};

}  // namespace corvaline::ui
