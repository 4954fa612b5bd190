#pragma once

#include <QValidator>

#include "core/format/IPFormatter.h"

namespace corvaline::ui {

// A dotted IPv4 address on a Qt text field: corrected while it is typed ("1921" becomes
// "192.1", letters vanish) and completed to four parts when the field is left. GUI thread.
class IPv4Validator : public QValidator {
    Q_OBJECT
  public:
    using QValidator::QValidator;

    State validate(QString& input, int& position) const override;
    void fixup(QString& input) const override;

  private:
    IPFormatter formatter_;
};

}  // namespace corvaline::ui
