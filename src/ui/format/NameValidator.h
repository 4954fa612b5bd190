#pragma once

#include <QValidator>

#include "core/format/GroupAndUserNameFormatter.h"

namespace corvaline::ui {

// The name rules on a Qt text field: user names lose the characters a name may not hold while
// they are typed; an emptied name reverts, when the field is left, to the name it had when
// editing began (call beginEditing then). GUI thread.
class NameValidator : public QValidator {
    Q_OBJECT
  public:
    NameValidator(bool forUser, QObject* parent);

    void beginEditing(const QString& fieldText);

    State validate(QString& input, int& position) const override;
    void fixup(QString& input) const override;

  private:
    GroupAndUserNameFormatter formatter_;
};

}  // namespace corvaline::ui
