#pragma once

#include <QPushButton>
#include <optional>

namespace corvaline {
class TreeItem;
}

namespace corvaline::ui {

// A flat button in a list row that shows a name after one space, in the colour of the row's
// item (the local user's row is grey). GUI thread.
class ButtonForList : public QPushButton {
    Q_OBJECT
  public:
    explicit ButtonForList(QWidget* parent = nullptr);

    // No title: an empty one. The colour is the item's, or the palette's text colour.
    void setTitle(const std::optional<QString>& title, const TreeItem* rowItem = nullptr);
};

}  // namespace corvaline::ui
