#include "config/ui/DropTableView.h"

#include <QDropEvent>
#include <QHeaderView>
#include <QKeyEvent>

namespace presto {

DropTableView::DropTableView(QWidget* parent) : QTableView(parent) {
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDragDropOverwriteMode(false);
    setDefaultDropAction(Qt::MoveAction);
    setShowGrid(false);
    setWordWrap(false);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(20);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setHighlightSections(false);
}

bool DropTableView::event(QEvent* event) {
    // Delete on a selected row belongs to this table, before the window's Delete command.
    if (event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Delete && key->modifiers() == Qt::NoModifier && deleteHandler &&
            selectedRow() >= 0) {
            event->accept();
            return true;
        }
    }
    return QTableView::event(event);
}

void DropTableView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier && deleteHandler &&
        selectedRow() >= 0) {
        deleteHandler();
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

int DropTableView::selectedRow() const {
    if (!selectionModel())
        return -1;
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void DropTableView::setSelectedRow(int row) {
    if (!model() || row < 0 || row >= model()->rowCount())
        clearSelection();
    else
        selectRow(row);
}

namespace {

// A file manager told "moved" would delete the files it dragged here: what comes from outside is
// only ever copied or linked, and a drag that offers neither is refused.
bool refusedFromOutside(const QDropEvent& event, const QWidget* table) {
    return event.source() != table &&
           !(event.possibleActions() & (Qt::CopyAction | Qt::LinkAction));
}

} // namespace

void DropTableView::dragEnterEvent(QDragEnterEvent* event) {
    if (refusedFromOutside(*event, this)) {
        event->ignore();
        return;
    }
    QTableView::dragEnterEvent(event);
}

void DropTableView::dragMoveEvent(QDragMoveEvent* event) {
    if (refusedFromOutside(*event, this)) {
        event->ignore();
        return;
    }
    QTableView::dragMoveEvent(event);
    if (event->source() != this && event->isAccepted())
        event->setDropAction(event->possibleActions() & Qt::CopyAction ? Qt::CopyAction
                                                                       : Qt::LinkAction);
}

void DropTableView::dropEvent(QDropEvent* event) {
    if (refusedFromOutside(*event, this)) {
        event->ignore();
        return;
    }
    QTableView::dropEvent(event);
    if (event->source() != this && event->isAccepted())
        event->setDropAction(event->possibleActions() & Qt::CopyAction ? Qt::CopyAction
                                                                       : Qt::LinkAction);
}

} // namespace presto
