#pragma once

class QAction;
class QWidget;

namespace corvaline::ui {

// Escape and Ctrl+W close `window`, as they close a secondary window (settings, history,
// information, About) on a Linux desktop. A focused control that takes one of the keys itself
// (a field recording a shortcut, an open list) gets it first. Answers the action, owned by the
// window. GUI thread.
QAction* closeWithKeys(QWidget& window);

}  // namespace corvaline::ui
