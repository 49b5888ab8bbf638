#include "config/ui/QtDialogs.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <vector>

namespace presto {

namespace {

// QFileDialog chooses either files or one folder; taking the selection as it stands when the
// user confirms lets folders and files be chosen together instead of opening the folder.
class FilesAndFoldersDialog : public QFileDialog {
public:
    explicit FilesAndFoldersDialog(QWidget* parent) : QFileDialog(parent) {
        setOption(QFileDialog::DontUseNativeDialog);
        setFileMode(QFileDialog::ExistingFiles);
        for (auto* view : findChildren<QAbstractItemView*>())
            view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    }

    QStringList chosen;

protected:
    void accept() override {
        chosen = selectedFiles();
        QDialog::accept();
    }
};

} // namespace

int QtAlertPresenter::run(const AlertRequest& request) {
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(QStringLiteral("Presto"));
    box.setTextFormat(Qt::PlainText);
    box.setIcon(request.style == AlertStyle::Critical ? QMessageBox::Critical
                                                      : QMessageBox::Information);
    box.setText(request.title);
    box.setInformativeText(request.message);
    // The message often is a file name: a "<b>" in it must show as typed.
    if (auto* informative = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel")))
        informative->setTextFormat(Qt::PlainText);
    std::vector<QPushButton*> buttons;
    for (const QString& title : request.buttons)
        buttons.push_back(box.addButton(title, QMessageBox::ActionRole));
    if (!buttons.empty()) {
        box.setDefaultButton(buttons.front());
        box.setEscapeButton(buttons.size() > 1 ? buttons[1] : buttons.front());
    }
    box.exec();
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        if (box.clickedButton() == buttons[i])
            return static_cast<int>(i);
    }
    return -1;
}

std::optional<QStringList> QtFileChooser::choosePaths(const FileChooserRequest& request) {
    FilesAndFoldersDialog dialog(QApplication::activeWindow());
    dialog.setWindowTitle(request.title);
    dialog.setLabelText(QFileDialog::Accept, request.prompt);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.chosen;
}

} // namespace presto
