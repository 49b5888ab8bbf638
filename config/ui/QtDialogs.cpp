#include "config/ui/QtDialogs.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <vector>

namespace presto {

namespace {

// The desktop's own dialog where Qt offers one (a portal or the platform theme); it chooses
// files. Qt's own dialog, where there is none, chooses files and folders together: QFileDialog
// picks either files or one folder, and taking the selection as it stands when the user
// confirms lets both be chosen instead of opening the folder.
class FilesAndFoldersDialog : public QFileDialog {
public:
    explicit FilesAndFoldersDialog(QWidget* parent) : QFileDialog(parent) {
        setFileMode(QFileDialog::ExistingFiles);
    }

    QStringList chosen;

protected:
    void showEvent(QShowEvent* event) override {
        // Qt's own dialog makes its views when shown; a desktop dialog has none.
        for (auto* view : findChildren<QAbstractItemView*>())
            view->setSelectionMode(QAbstractItemView::ExtendedSelection);
        QFileDialog::showEvent(event);
    }

    void accept() override {
        chosen = selectedFiles();
        QDialog::accept();
    }
};

} // namespace

QWidget* frontWindow() {
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top->isVisible() && top->windowFlags().testFlag(Qt::WindowStaysOnTopHint))
            return top;
    }
    if (QWidget* active = QApplication::activeWindow())
        return active;
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top->isVisible() && qobject_cast<QMainWindow*>(top))
            return top;
    }
    return nullptr;
}

namespace {

QMessageBox::Icon iconOf(AlertStyle style) {
    switch (style) {
    case AlertStyle::Critical:
        return QMessageBox::Critical;
    case AlertStyle::Question:
        return QMessageBox::Question;
    case AlertStyle::Warning:
        return QMessageBox::Warning;
    case AlertStyle::Informational:
        break;
    }
    return QMessageBox::Information;
}

} // namespace

AlertAnswer QtAlertPresenter::ask(const AlertRequest& request) {
    QWidget* parent = frontWindow();
    QMessageBox box(parent);
    box.setWindowModality(Qt::ApplicationModal);
    if (parent && parent->windowFlags().testFlag(Qt::WindowStaysOnTopHint))
        box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    box.setWindowTitle(QStringLiteral("Presto"));
    box.setTextFormat(Qt::PlainText);
    box.setIcon(iconOf(request.style));
    box.setText(request.title);
    box.setInformativeText(request.message);
    // The message often is a file name: a "<b>" in it must show as typed.
    if (auto* informative = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel")))
        informative->setTextFormat(Qt::PlainText);
    std::vector<QPushButton*> buttons;
    for (const QString& title : request.buttons)
        buttons.push_back(box.addButton(title, QMessageBox::ActionRole));
    if (!buttons.empty()) {
        const auto chosen = static_cast<std::size_t>(request.defaultButton);
        box.setDefaultButton(chosen < buttons.size() ? buttons[chosen] : buttons.front());
        box.setEscapeButton(buttons.size() > 1 ? buttons[1] : buttons.front());
    }
    if (!request.checkBox.isEmpty())
        box.setCheckBox(new QCheckBox(request.checkBox, &box));
    box.exec();
    AlertAnswer answer;
    answer.checked = box.checkBox() && box.checkBox()->isChecked();
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        if (box.clickedButton() == buttons[i])
            answer.button = static_cast<int>(i);
    }
    return answer;
}

std::optional<QStringList> QtFileChooser::choosePaths(const FileChooserRequest& request) {
    FilesAndFoldersDialog dialog(frontWindow());
    dialog.setWindowTitle(request.title);
    dialog.setLabelText(QFileDialog::Accept, request.prompt);
    dialog.setDirectory(startFolder());
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    remember(dialog.chosen);
    return dialog.chosen;
}

QString QtFileChooser::startFolder() const {
    return lastFolder_.isEmpty() ? QDir::homePath() : lastFolder_;
}

void QtFileChooser::remember(const QStringList& chosen) {
    // The folder the user was looking at: the one that holds what they chose.
    if (!chosen.isEmpty())
        lastFolder_ = QFileInfo(chosen.first()).absolutePath();
}

} // namespace presto
