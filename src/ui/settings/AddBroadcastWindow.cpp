#include "ui/settings/AddBroadcastWindow.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "ui/format/IPv4Validator.h"

namespace corvaline::ui {

AddBroadcastWindow::AddBroadcastWindow(QWidget* parent)
    : QDialog(parent),
      radios_(new QButtonGroup(this)),
      label1_(new QLabel(this)),
      field1_(new QLineEdit(this)),
      label2_(new QLabel(this)),
      field2_(new QLineEdit(this)),
      problem_(new QLabel(this)) {
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
    for (QLineEdit* field : {field1_, field2_}) {
        field->setValidator(new IPv4Validator(field));
    }
    problem_->setTextFormat(Qt::PlainText);
    problem_->setWordWrap(true);
    problem_->setStyleSheet(QStringLiteral("color: #c00000"));
    problem_->hide();
    layout->addWidget(problem_);
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
    problem_->hide();
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
    problem_->hide();  // it spoke of the fields of another type
    const bool twoFields = type != 1;
    label2_->setVisible(twoFields);
    field2_->setVisible(twoFields);
    adjustSize();
}

int AddBroadcastWindow::type() const {
    return radios_->checkedId();
}

BroadcastItem AddBroadcastWindow::typedItem() const {
    BroadcastItem item;
    item.setType(type());
    if (type() != 1) {
        item.setSecondValue(field2_->text().trimmed().toStdString());
    }
    item.setFirstValue(field1_->text().trimmed().toStdString());
    return item;
}

std::optional<BroadcastItem> AddBroadcastWindow::validatedItem() const {
    BroadcastItem item = typedItem();
    if (!item.validate()) {
        return std::nullopt;
    }
    return item;
}

QString AddBroadcastWindow::problemText(const BroadcastItem& item) const {
    const auto notAnAddress = [](const QLineEdit* field, const QString& example) {
        const QString typed = field->text().trimmed();
        // An empty field left completes to 0.0.0.0, which is no address either.
        return typed.isEmpty() || typed == QStringLiteral("0.0.0.0")
                   ? tr("Type an IP address, such as %1.").arg(example)
                   : tr("\u201C%1\u201D is not an IP address: type four numbers from 0 to 255 "
                        "separated by dots, such as %2.")
                         .arg(typed, example);
    };
    using Fault = BroadcastItem::Fault;
    switch (item.fault()) {
        case Fault::FirstAddress:
            return notAnAddress(field1_, type() == 3 ? QStringLiteral("192.168.0.1")
                                                     : QStringLiteral("192.168.0.255"));
        case Fault::SecondAddress: {
            if (type() != 2) {
                return notAnAddress(field2_, QStringLiteral("192.168.0.50"));
            }
            const QString mask = field2_->text().trimmed();
            return mask.isEmpty() || mask == QStringLiteral("0.0.0.0")
                       ? tr("Type a subnet mask, such as 255.255.255.0.")
                       : tr("\u201C%1\u201D is not a subnet mask, such as 255.255.255.0.")
                             .arg(mask);
        }
        case Fault::RangeReversed:
            return tr("The first address comes after the last one.");
        case Fault::RangeTooLong:
            return tr("The range is too long: the last address may lie at most %1 addresses "
                      "after the first.")
                .arg(BroadcastItem::kLongestRange);
        case Fault::None:
            break;
    }
    return {};
}

void AddBroadcastWindow::accept() {
    // Typed texts are completed when their field is left; so are texts put in otherwise.
    for (QLineEdit* field : {field1_, field2_}) {
        QString text = field->text();
        if (!text.isEmpty() && !field->hasAcceptableInput()) {
            field->validator()->fixup(text);
            field->setText(text);
        }
    }
    const QString problem = problemText(typedItem());
    if (problem.isEmpty()) {
        problem_->hide();
        QDialog::accept();
        return;
    }
    problem_->setText(problem);
    problem_->show();
    adjustSize();  // room for the message
    QLineEdit* wrong =
        typedItem().fault() == BroadcastItem::Fault::FirstAddress ? field1_ : field2_;
    wrong->setFocus();
    wrong->selectAll();
}

}  // namespace corvaline::ui
