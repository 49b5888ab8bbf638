#pragma once

#include <QTableView>
#include <functional>

namespace presto {

// A one-selection table whose rows can be dragged within it and onto which files can be dropped.
class DropTableView : public QTableView {
public:
    explicit DropTableView(QWidget* parent = nullptr);

    // The selected row, -1 when none.
    int selectedRow() const;
    // Selects the row, or clears the selection for a row outside the table.
    void setSelectedRow(int row);
    // What the Delete key does to the selected row; nothing when unset.
    std::function<void()> deleteHandler;

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
};

} // namespace presto
