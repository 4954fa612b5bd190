#pragma once

class QTreeView;

namespace corvaline::ui {

class RosterModel;
class SelectionHost;

// Gives every row of the outline (groups and their users) its tick box for the host's
// selection, now and whenever rows come or the list is rebuilt; the boxes follow renames.
// GUI thread.
void installCheckBoxes(QTreeView& outline, RosterModel& model, SelectionHost& host);

}  // namespace corvaline::ui
