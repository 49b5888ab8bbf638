#include "config/ui/PBTitleController.h"

#include "config/model/DataStore.h"
#include "config/ui/PasteboardPreview.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTabWidget>
#include <QVBoxLayout>

namespace presto {

namespace {

// The title names the snapshot's file in the snapshot folder, so it must be one file name there.
bool isFileName(const QString& title) {
    return !title.contains(u'/') && !title.contains(QChar(0)) && title != QLatin1String(".") &&
           title != QLatin1String("..") && title.toUtf8().size() <= 255;
}

} // namespace

class PBTitlePanel : public QWidget {
public:
    explicit PBTitlePanel(PBTitleController& controller)
        : QWidget(nullptr, Qt::Dialog | Qt::WindowStaysOnTopHint), controller_(controller) {
        setWindowTitle(PBTitleController::tr("Pasteboard Item"));
        auto* layout = new QVBoxLayout(this);
        tabs = new QTabWidget(this);
        text = new PasteboardPreview;
        image = new PasteboardPreview;
        tabs->addTab(text, PBTitleController::tr("Text"));
        tabs->addTab(image, PBTitleController::tr("Picture"));
        layout->addWidget(tabs, 1);

        auto* titleRow = new QHBoxLayout;
        titleRow->addWidget(new QLabel(PBTitleController::tr("Title:"), this));
        title = new QLineEdit(this);
        titleRow->addWidget(title, 1);
        layout->addLayout(titleRow);

        auto* buttons = new QHBoxLayout;
        cancelButton = new QPushButton(PBTitleController::tr("Cancel"), this);
        okButton = new QPushButton(PBTitleController::tr("OK"), this);
        okButton->setDefault(true);
        buttons->addStretch();
        buttons->addWidget(cancelButton);
        buttons->addWidget(okButton);
        layout->addLayout(buttons);
        connect(okButton, &QPushButton::clicked, this, [this] { controller_.okButton(); });
        connect(cancelButton, &QPushButton::clicked, this, [this] { controller_.cancelButton(); });
        connect(title, &QLineEdit::returnPressed, this, [this] { controller_.okButton(); });
        auto* escape = new QShortcut(QKeySequence::Cancel, this);
        connect(escape, &QShortcut::activated, this, [this] { controller_.cancelButton(); });
        resize(400, 320);
    }

    QTabWidget* tabs = nullptr;
    PasteboardPreview* text = nullptr;
    PasteboardPreview* image = nullptr;
    QLineEdit* title = nullptr;
    QPushButton* okButton = nullptr;
    QPushButton* cancelButton = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override {
        // Closed by the window manager: the same as Cancel.
        controller_.isOpen_ = false;
        QWidget::closeEvent(event);
    }

private:
    PBTitleController& controller_;
};

PBTitleController::PBTitleController(NotificationHub& hub, AlertPresenter& alerts)
    : hub_(hub), alerts_(alerts) {
    connect(&hub_, &NotificationHub::ShowPBTitleFromPbF, this, &PBTitleController::handleShowMe);
}

PBTitleController::~PBTitleController() {
    hub_.disconnect(this);
}

void PBTitleController::handleShowMe(char kbn, int selectedRow, int pbIndex, DataStore* store,
                                     const QString& pbType, const QString& pbUTI,
                                     const QByteArray& pbData) {
    dataStore_ = store;
    tableKbn_ = kbn;
    selectedRow_ = selectedRow;
    pbData_ = pbData;
    pbUTI_ = pbUTI;
    pbType_ = pbType;

    window();
    panel_->text->clear();
    panel_->image->clear();
    panel_->title->clear();
    showWindow();
    switch (pbIndex) {
    case 0:
        panel_->tabs->setCurrentIndex(0);
        panel_->text->setText(pbData_);
        break;
    case 1:
        panel_->tabs->setCurrentIndex(1);
        panel_->image->setImage(pbData_);
        break;
    default:
        break;
    }
}

QString PBTitleController::pbTitle() const {
    return panel_ ? panel_->title->text() : QString();
}

void PBTitleController::setPbTitle(const QString& title) {
    window();
    panel_->title->setText(title);
}

bool PBTitleController::alertRetry(const QString& title, const QString& message) {
    AlertRequest request;
    request.style = AlertStyle::Critical;
    request.title = title;
    request.message = message;
    request.buttons = {tr("Retry"), tr("Cancel")};
    return alerts_.run(request) == 0;
}

void PBTitleController::okButton() {
    const QString title = pbTitle();
    bool retry = true;
    if (title.isEmpty())
        retry = alertRetry(tr("Title is empty"), tr("Entry the title"));
    else if (dataStore_ && dataStore_->isDupPbItem(title))
        retry = alertRetry(tr("This item is already on the list"), title);
    else if (!isFileName(title))
        retry = alertRetry(tr("This title cannot be used as a file name"), title);
    else {
        emit hub_.ShowHKFromPbF(title, pbType_, pbUTI_, pbData_, tableKbn_, selectedRow_,
                                dataStore_);
        retry = false;
    }
    if (!retry)
        closeWindow();
}

void PBTitleController::cancelButton() {
    closeWindow();
}

QWidget* PBTitleController::window() {
    if (!panel_)
        panel_ = std::make_unique<PBTitlePanel>(*this);
    return panel_.get();
}

QTabWidget* PBTitleController::tabView() {
    window();
    return panel_->tabs;
}

PasteboardPreview* PBTitleController::textView() {
    window();
    return panel_->text;
}

PasteboardPreview* PBTitleController::imageView() {
    window();
    return panel_->image;
}

QLineEdit* PBTitleController::titleField() {
    window();
    return panel_->title;
}

QPushButton* PBTitleController::okPushButton() {
    window();
    return panel_->okButton;
}

QPushButton* PBTitleController::cancelPushButton() {
    window();
    return panel_->cancelButton;
}

void PBTitleController::showWindow() {
    QWidget* panel = window();
    panel->show();
    panel->raise();
    panel->activateWindow();
    panel_->title->setFocus();
    isOpen_ = true;
}

void PBTitleController::closeWindow() {
    if (panel_)
        panel_->hide();
    isOpen_ = false;
}

} // namespace presto
