#pragma once

#include "config/model/AlertPresenter.h"
#include "config/ui/NotificationHub.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <memory>

class QLineEdit;
class QPushButton;
class QTabWidget;

namespace presto {

class DataStore;
class PasteboardPreview;
class PBTitlePanel;

// The title panel of a new clipboard snapshot: shows what was taken from the clipboard (text on
// the first tab, a picture on the second), asks for the title, which becomes the snapshot's file
// name, and hands everything on to the capture panel with "ShowHKFromPbF". Nothing is stored
// here. Its window is made the first time it is shown.
class PBTitleController : public QObject {
    Q_OBJECT

public:
    PBTitleController(NotificationHub& hub, AlertPresenter& alerts);
    ~PBTitleController() override;

    // Button actions.
    void okButton();
    void cancelButton();

    QString pbTitle() const;
    void setPbTitle(const QString& title);

    bool isOpen() const { return isOpen_; }
    const QString& pbType() const { return pbType_; }
    const QString& pbUTI() const { return pbUTI_; }
    const QByteArray& pbData() const { return pbData_; }
    char tableKbn() const { return tableKbn_; }
    int selectedRow() const { return selectedRow_; }
    DataStore* dataStore() const { return dataStore_; }

    QWidget* window();
    QTabWidget* tabView();
    PasteboardPreview* textView();
    PasteboardPreview* imageView();
    QLineEdit* titleField();
    QPushButton* okPushButton();
    QPushButton* cancelPushButton();

private:
    friend class PBTitlePanel;

    void handleShowMe(char kbn, int selectedRow, int pbIndex, DataStore* store,
                      const QString& pbType, const QString& pbUTI, const QByteArray& pbData);
    void showWindow();
    void closeWindow();
    // True when the user chose Retry.
    bool alertRetry(const QString& title, const QString& message);

    NotificationHub& hub_;
    AlertPresenter& alerts_;
    QString pbType_;
    QString pbUTI_;
    QByteArray pbData_;
    char tableKbn_ = '0';
    int selectedRow_ = -1;
    DataStore* dataStore_ = nullptr;
    bool isOpen_ = false;
    std::unique_ptr<PBTitlePanel> panel_;
};

} // namespace presto
