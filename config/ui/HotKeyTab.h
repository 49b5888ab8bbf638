#pragma once

#include <QWidget>
#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

class QMimeData;

namespace presto {

class DragTableModel;
class DropTableView;

// What the Launch Item and Pasteboard Item tabs share: a table of numbered hot keys, each with a
// name and its combination, that sorts on header clicks and reorders by dragging its rows.
class HotKeyTab : public QWidget {
public:
    // Enables the buttons and opens or closes the drawer for the selected row.
    virtual void arrangeButtonAndDrawer() = 0;

    DropTableView* table() const { return table_; }

protected:
    using QWidget::QWidget;
    ~HotKeyTab() override;

    // Column 0 holds the row number; the name column stretches.
    void setUpTable(DragTableModel* model, int nameColumn, int hotKeyColumn);
    // Keeps the selected row, as a table that only redraws would, without reporting a change.
    // Answers the row selected before.
    int reloadKeepingSelection();
    void reloadAndDeselect();
    // Moves the first dragged row of this table to the drop row (-1: below the last of `count`)
    // through `move`. False, with nothing moved, for data that holds no row of this table.
    bool moveDraggedRow(const QMimeData& data, int row, qsizetype count,
                        const std::function<void(qsizetype from, qsizetype to)>& move);

    DropTableView* table_ = nullptr;

private:
    DragTableModel* tableModel_ = nullptr;
};

// Sorts a list of owned hot keys by `primary` in the order asked, ties by `secondary` ascending
// (both compare-style: negative, 0, positive), through `move(from, to)`, so every hot key stays
// where it is in memory.
template <typename Item, typename Compare, typename Move>
void sortHotKeys(const std::vector<std::unique_ptr<Item>>& list, Compare primary, Compare secondary,
                 Qt::SortOrder order, Move move) {
    std::vector<const Item*> sorted;
    for (const auto& item : list)
        sorted.push_back(item.get());
    std::stable_sort(sorted.begin(), sorted.end(), [&](const Item* a, const Item* b) {
        const int first = primary(a, b);
        if (first != 0)
            return order == Qt::AscendingOrder ? first < 0 : first > 0;
        return secondary(a, b) < 0;
    });
    for (std::size_t target = 0; target < sorted.size(); ++target) {
        const auto it =
            std::find_if(list.begin() + static_cast<std::ptrdiff_t>(target), list.end(),
                         [&](const auto& item) { return item.get() == sorted[target]; });
        move(static_cast<qsizetype>(it - list.begin()), static_cast<qsizetype>(target));
    }
}

} // namespace presto
