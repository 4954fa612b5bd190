#include "ui/settings/AddBroadcastWindow.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace corvaline::ui {

AddBroadcastWindow::AddBroadcastWindow(QWidget* parent)
    : QDialog(parent),
      radios_(new QButtonGroup(this)),
      label1_(new QLabel(this)),
      field1_(new QLineEdit(this)),
      label2_(new QLabel(this)),
      field2_(new QLineEdit(this)) {
    setWindowTitle(tr("Add Broadcast Address"));
    auto* layout = new QVBoxLayout(this);
    const std::pair<int, QString> types[] = {{1, tr("Single IP or broadcast address")},
                                             {2, tr("Subnet")},
                                             {3, tr("Range of IP addresses")}};
    for (const auto& [tag, title] : types) {
        auto* radio = new QRadioButton(title, this);
        radios_->addButton(radio, tag);
        layout->addWidget(radio);
    }
    auto* fields = new QFormLayout;
    fields->addRow(label1_, field1_);
    fields->addRow(label2_, field2_);
    layout->addLayout(fields);
    layout->addStretch();
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(tr("Add"), QDialogButtonBox::AcceptRole)->setDefault(true);
    buttons->addButton(QDialogButtonBox::Cancel);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(radios_, &QButtonGroup::idClicked, this, &AddBroadcastWindow::NetwokRadioButton);
    radios_->button(1)->setChecked(true);
    NetwokRadioButton(1);
}

void AddBroadcastWindow::start() {
    radios_->button(1)->setChecked(true);
    NetwokRadioButton(1);
    field1_->setFocus();
    open();
}

void AddBroadcastWindow::NetwokRadioButton(int type) {
    const QString example = tr("Example");
    switch (type) {
        case 2:
            label1_->setText(tr("Subnet/IP address:"));
            field1_->setToolTip(tr("Example: 192.168.0.0 or 192.168.0.5"));
            label2_->setText(tr("Subnet mask:"));
            field2_->setToolTip(tr("%1: 255.255.255.0").arg(example));
            break;
        case 3:
            label1_->setText(tr("First IP address:"));
            field1_->setToolTip(tr("%1: 192.168.0.1").arg(example));
            label2_->setText(tr("Last IP address:"));
            field2_->setToolTip(tr("%1: 192.168.0.50").arg(example));
            break;
        default:
            label1_->setText(tr("IP/broadcast address:"));
            field1_->setToolTip(tr("Example: 192.168.0.1 or 192.168.0.255"));
            break;
    }
    const bool twoFields = type != 1;
    label2_->setVisible(twoFields);
    field2_->setVisible(twoFields);
    adjustSize();
}

int AddBroadcastWindow::type() const {
    return radios_->checkedId();
}

std::optional<BroadcastItem> AddBroadcastWindow::validatedItem() const {
    BroadcastItem item;
    item.setType(type());
    if (type() != 1) {
        item.setSecondValue(field2_->text().trimmed().toStdString());
    }
    item.setFirstValue(field1_->text().trimmed().toStdString());
    if (!item.validate()) {
        return std::nullopt;
    }
    return item;
}

}  // namespace corvaline::ui
