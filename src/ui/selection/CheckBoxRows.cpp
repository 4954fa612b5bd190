#include "ui/selection/CheckBoxRows.h"

#include <QTreeView>

#include "ui/roster/RosterModel.h"
#include "ui/selection/CheckBoxSubClass.h"

namespace corvaline::ui {

namespace {

// Rows first..last under `parent`, and the users of each group among them.
void addCheckBoxes(QTreeView& outline, RosterModel& model, SelectionHost& host,
                   const QModelIndex& parent, int first, int last) {
    for (int row = first; row <= last; ++row) {
        const QModelIndex index = model.index(row, 0, parent);
        if (TreeItem* item = model.itemAt(index)) {
            outline.setIndexWidget(index, new CheckBoxSubClass(*item, host));
        }
        if (!parent.isValid()) {
            addCheckBoxes(outline, model, host, index, 0, model.rowCount(index) - 1);
        }
    }
}

}  // namespace

void installCheckBoxes(QTreeView& outline, RosterModel& model, SelectionHost& host) {
    const auto all = [&outline, &model, &host] {
        addCheckBoxes(outline, model, host, {}, 0, model.rowCount() - 1);
    };
    QObject::connect(&model, &QAbstractItemModel::rowsInserted, &outline,
                     [&outline, &model, &host](const QModelIndex& parent, int first, int last) {
                         addCheckBoxes(outline, model, host, parent, first, last);
                     });
    QObject::connect(&model, &QAbstractItemModel::modelReset, &outline, all);
    // A renamed user or group keeps its row: the box takes the new name.
    QObject::connect(&model, &QAbstractItemModel::dataChanged, &outline,
                     [&outline](const QModelIndex& topLeft, const QModelIndex& bottomRight) {
                         for (int row = topLeft.row(); row <= bottomRight.row(); ++row) {
                             if (auto* box = qobject_cast<CheckBoxSubClass*>(
                                     outline.indexWidget(topLeft.siblingAtRow(row)))) {
                                 box->updateTitle();
                             }
                         }
                     });
    all();
}

}  // namespace corvaline::ui
