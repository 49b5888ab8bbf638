#pragma once

#include "common/HotKeyRec.h"
#include "config/model/AlertPresenter.h"
#include "config/model/ItemPathName.h"
#include "config/model/KeyEvent.h"
#include "config/ui/NotificationHub.h"

#include <QByteArray>
#include <QFont>
#include <QObject>
#include <QStringList>
#include <array>
#include <memory>

class QLabel;
class QMimeData;
class QPushButton;
class QTableView;
class QWidget;

namespace presto {

class DataStore;
class HeldKeyProbe;
class HotKey;
class HotKeyPanel;
class PathListModel;

// The capture panel: shows what a hot key is for, takes the next key press as its combination,
// refuses a combination bound elsewhere and hands an accepted one to the application controller
// by "SetEventCode". One instance lives as long as the application; its window is made the first
// time it is shown.
class HotKeyController : public QObject {
    Q_OBJECT

public:
    // Display fields, one per modifier and one for the key. The panel shows them in the order
    // the desktops write shortcuts: Ctrl, Alt, Super, Shift, Caps Lock, key.
    enum Field { Command, Option, Control, Shift, CapsLock, Key, FieldCount };

    HotKeyController(NotificationHub& hub, AlertPresenter& alerts);
    ~HotKeyController() override;

    // What the application controller reads after "SetEventCode".
    const HotKeyRec& hotKeyRec() const { return hotKeyRec_; }
    void setHotKeyRec(const HotKeyRec& rec) { hotKeyRec_ = rec; }
    void setOldHKRec(const HotKeyRec& rec) { oldHotKeyRec_ = rec; }
    char tableKbn() const { return tableKbn_; }
    void setTableKbn(char kbn) { tableKbn_ = kbn; }
    int selectedRow() const { return selectedRow_; }
    void setSelectedRow(int row) { selectedRow_ = row; }
    const QString& pbUTI() const { return pbUTI_; }
    void setPbUTI(const QString& uti) { pbUTI_ = uti; }
    const QByteArray& pbData() const { return pbData_; }
    void setPbData(const QByteArray& data) { pbData_ = data; }
    void setData(DataStore* store) { dataStore_ = store; }
    // The rows' paths in row order: the launch order of a new launch hot key.
    QStringList items() const;
    void setItems(const QStringList& paths);
    void setItemPathName(const QList<ItemPathName>& items);
    bool isOpen() const { return isOpen_; }
    void setIsOpen(bool open) { isOpen_ = open; }
    // Asked before a combination is stored; none asks nothing. It must outlive the panel.
    void setHeldKeyProbe(HeldKeyProbe* probe) { heldKeys_ = probe; }

    // Takes a key press as the combination; every press is taken.
    void keyDown(const KeyEvent& event);
    // Whether a combination shows, that is whether a key was pressed since the panel opened.
    bool wasKeyDown() const;
    // Shows the combination by the names Linux desktops give its keys.
    void dspHotKey(const HotKey& hotKey);
    // Empty strings leave their field blank.
    void dspHotKey(const QString& cmd, const QString& opt, const QString& ctrl,
                   const QString& shift, const QString& caps, const QString& key);
    const QString& displayText(Field field) const { return display_[field]; }
    // The whole combination as the desktops write it, "Ctrl+Alt+T"; empty before a key press.
    const QString& keyName() const { return keyName_; }
    // The fonts of the display: the user font at 14 points for the modifiers' names, Monaco at
    // 24 points for a key label of up to two characters and 18 beyond.
    static QFont modifierFont();
    static QFont keyFont(const QString& label);

    // Whether the combination, once a hot key, would take a key away from typing everywhere: a
    // key that types (or edits text) without Control, Alt or Super. Stored only after asking.
    static bool takesTypingKey(const HotKeyRec& rec);

    void okButton();
    void resetButton();
    void cancelButton();

    // The panel's window, made on first use.
    QWidget* window();
    QTableView* itemTable();
    PathListModel& itemModel() { return *model_; }
    QLabel* displayField(Field field);
    QLabel* nameField();
    QPushButton* okPushButton();
    QPushButton* resetPushButton();
    QPushButton* cancelPushButton();

private:
    friend class HotKeyPanel;

    void handleShowMe(char kbn, int selectedRow, DataStore* store, const QStringList& items);
    void handleShowMeFromPbF(const QString& pbTitle, const QString& pbUTI, const QByteArray& pbData,
                             char kbn, int selectedRow, DataStore* store);
    // The panel's items are set by the caller, after the table code and the data store.
    void beginModHotKey(char kbn, DataStore* store);
    void handleGetModHotKey(int selectedRow, const HotKey* hotKey);
    void handleCloseMe();
    void initAll();
    void showWindow();
    void closeWindow();
    void showResetButton(bool shown);
    void refreshDisplay();
    void alertRefusal(const QString& title, const QString& message);
    bool confirmTypingKey();
    bool confirmHeldKey();
    bool dropOnItems(const QMimeData& data, int row);

    NotificationHub& hub_;
    AlertPresenter& alerts_;
    HotKeyRec hotKeyRec_;
    HotKeyRec oldHotKeyRec_;
    DataStore* dataStore_ = nullptr;
    HeldKeyProbe* heldKeys_ = nullptr;
    std::unique_ptr<PathListModel> model_;
    char tableKbn_ = '0';
    int selectedRow_ = -1;
    QString pbUTI_;
    QByteArray pbData_;
    bool isOpen_ = false;
    bool resetShown_ = false;
    std::array<QString, FieldCount> display_;
    QString keyName_;
    std::unique_ptr<HotKeyPanel> panel_;
};

} // namespace presto
