#include "config/ui/HotKeyController.h"

#include "common/KeyCodeTable.h"
#include "common/KeyName.h"
#include "config/model/DataStore.h"
#include "config/model/HotKey.h"
#include "config/ui/Cells.h"
#include "config/ui/DropTableView.h"
#include "config/ui/FileDisplay.h"
#include "config/ui/HeldKeyProbe.h"
#include "config/ui/KeyInput.h"
#include "config/ui/KeysStatus.h"
#include "config/ui/TableModels.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>

namespace presto {

namespace {

// The display fields with the part of the name each shows, in the order the panel shows them.
constexpr std::pair<HotKeyController::Field, LinuxKeyPart> kFieldParts[] = {
    {HotKeyController::Control, CtrlPart},      {HotKeyController::Option, AltPart},
    {HotKeyController::Command, SuperPart},     {HotKeyController::Shift, ShiftPart},
    {HotKeyController::CapsLock, CapsLockPart}, {HotKeyController::Key, KeyPart}};

} // namespace

// The panel's window. Every key press reaches it, whatever child has the focus, and becomes the
// captured combination; the buttons are clicked with the mouse.
class HotKeyPanel : public QWidget {
public:
    explicit HotKeyPanel(HotKeyController& controller)
        : QWidget(nullptr, Qt::Dialog | Qt::WindowStaysOnTopHint), controller_(controller) {
        setWindowTitle(HotKeyController::tr("HotKey"));
        setFocusPolicy(Qt::StrongFocus);

        auto* layout = new QVBoxLayout(this);
        table = new DropTableView(this);
        table->setModel(&controller.itemModel());
        table->setItemDelegateForColumn(0, new ItemCell(table));
        table->horizontalHeader()->setStretchLastSection(true);
        table->horizontalHeader()->setSectionsClickable(true);
        table->horizontalHeader()->setSortIndicatorShown(true);
        table->horizontalHeader()->setSortIndicator(0, Qt::AscendingOrder);
        connect(table->horizontalHeader(), &QHeaderView::sortIndicatorChanged, table,
                [this](int column, Qt::SortOrder order) {
                    controller_.itemModel().sort(column, order);
                });
        table->setMinimumHeight(110);
        layout->addWidget(table);

        auto* prompt = new QLabel(HotKeyController::tr("Press the key combination."), this);
        layout->addWidget(prompt);

        // One box per modifier in the order the desktops write them, each as wide as its
        // name, so a box never moves whatever is held; the key's box grows with its name.
        auto* fields = new QHBoxLayout;
        HotKeyRec everyModifier;
        everyModifier.eventType = kKeyDownEventType;
        everyModifier.modFlags = kControlBit | kOptionBit | kCommandBit | kShiftBit | kCapsLockBit;
        const QStringList names = hotKeyParts(HotKey(everyModifier));
        const QFontMetrics modifierMetrics(HotKeyController::modifierFont());
        for (const auto& [field, part] : kFieldParts) {
            auto* label = new QLabel(this);
            label->setFrameShape(QFrame::StyledPanel);
            label->setAlignment(Qt::AlignCenter);
            label->setTextFormat(Qt::PlainText);
            if (part != KeyPart) {
                label->setFixedSize(
                    std::max(44, modifierMetrics.horizontalAdvance(names.at(part)) + 16), 44);
            } else {
                label->setMinimumSize(64, 44);
                label->setMargin(6);
            }
            displays[static_cast<std::size_t>(field)] = label;
            fields->addWidget(label);
        }
        fields->addStretch();
        layout->addLayout(fields);
        name = new QLabel(this);
        name->setTextFormat(Qt::PlainText);
        name->setAlignment(Qt::AlignCenter);
        QFont nameFont = font();
        nameFont.setBold(true);
        name->setFont(nameFont);
        layout->addWidget(name);

        auto* buttons = new QHBoxLayout;
        resetButton = new QPushButton(HotKeyController::tr("Reset"), this);
        cancelButton = new QPushButton(HotKeyController::tr("Cancel"), this);
        okButton = new QPushButton(HotKeyController::tr("OK"), this);
        buttons->addWidget(resetButton);
        buttons->addStretch();
        buttons->addWidget(cancelButton);
        buttons->addWidget(okButton);
        layout->addLayout(buttons);
        connect(resetButton, &QPushButton::clicked, this, [this] { controller_.resetButton(); });
        connect(cancelButton, &QPushButton::clicked, this, [this] { controller_.cancelButton(); });
        connect(okButton, &QPushButton::clicked, this, [this] { controller_.okButton(); });

        // Keys go to the panel itself, never to a button or the table.
        table->setFocusPolicy(Qt::NoFocus);
        for (QPushButton* button : {resetButton, cancelButton, okButton}) {
            button->setFocusPolicy(Qt::NoFocus);
            button->setAutoDefault(false);
        }
        resize(420, 300);
    }

    DropTableView* table = nullptr;
    std::array<QLabel*, HotKeyController::FieldCount> displays{};
    QLabel* name = nullptr;
    QPushButton* resetButton = nullptr;
    QPushButton* cancelButton = nullptr;
    QPushButton* okButton = nullptr;

protected:
    bool event(QEvent* event) override {
        // Accepting the override keeps shortcuts and focus keys (Tab, Escape) from taking the
        // press before the panel sees it.
        if (event->type() == QEvent::ShortcutOverride) {
            event->accept();
            return true;
        }
        if (event->type() == QEvent::KeyPress) {
            auto* press = static_cast<QKeyEvent*>(event);
            // Esc alone is the way out of a panel that holds the whole keyboard; with a
            // modifier it is a combination like any other.
            constexpr Qt::KeyboardModifiers kCombining =
                Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
            if (press->key() == Qt::Key_Escape && !(press->modifiers() & kCombining)) {
                controller_.cancelButton();
                return true;
            }
            if (auto keyEvent = keyEventFromQt(*press))
                controller_.keyDown(*keyEvent);
            return true;
        }
        return QWidget::event(event);
    }

    void showEvent(QShowEvent* event) override {
        QWidget::showEvent(event);
        // A window the desktop minimized lost its grab with it; taking it again is harmless.
        keyboardGrabbed_ = false;
        grabAttempts_ = 0;
        grabKeyboardWhileShown();
    }

    void hideEvent(QHideEvent* event) override {
        releaseKeyboardGrab();
        QWidget::hideEvent(event);
    }

    void closeEvent(QCloseEvent* event) override {
        // Closed by the window manager: the same as Cancel.
        controller_.setIsOpen(false);
        QWidget::closeEvent(event);
    }

private:
    // While capturing, the panel holds the whole keyboard on X11: an active grab wins over the
    // passive grabs of the key-capture agent, so a combination that is already a live hot key
    // reaches the panel (and its "already assigned" alert) instead of launching its item.
    // Only the window grabs, not the widget: an alert over the panel still gets its keys.
    void grabKeyboardWhileShown() {
        if (!isVisible() || keyboardGrabbed_)
            return;
        QWindow* handle = windowHandle();
        if (handle && handle->setKeyboardGrabEnabled(true)) {
            keyboardGrabbed_ = true;
            return;
        }
        // The server refuses the grab until the window is mapped. Other platforms (Wayland)
        // have no such grab: there the panel captures what the compositor lets through.
        constexpr int kMaxGrabAttempts = 150;
        if (QGuiApplication::platformName() == QLatin1String("xcb") &&
            ++grabAttempts_ < kMaxGrabAttempts)
            QTimer::singleShot(20, this, [this] { grabKeyboardWhileShown(); });
    }

    void releaseKeyboardGrab() {
        if (keyboardGrabbed_ && windowHandle())
            windowHandle()->setKeyboardGrabEnabled(false);
        keyboardGrabbed_ = false;
    }

    HotKeyController& controller_;
    bool keyboardGrabbed_ = false;
    int grabAttempts_ = 0;
};

HotKeyController::HotKeyController(NotificationHub& hub, AlertPresenter& alerts)
    : hub_(hub), alerts_(alerts),
      model_(std::make_unique<PathListModel>(QStringList{QStringLiteral("itemName")},
                                             QStringLiteral("text/plain"),
                                             QStringList{QStringLiteral("text/uri-list")})) {
    model_->setHeaderTitles({tr("Item")});
    model_->iconOf = [this](const ItemPathName& item) {
        if (tableKbn_ == note::kKbnNewPasteboard || tableKbn_ == note::kKbnChangePasteboard)
            return pasteboardIcon();
        // A Finder function's row carries the Finder's path, which names nothing here.
        return tableKbn_ == note::kKbnFinder ? finderIcon() : fileIcon(item.itemPath());
    };
    model_->textOf = [this](const ItemPathName& item) {
        return (tableKbn_ == note::kKbnNewLaunch || tableKbn_ == note::kKbnChangeLaunch)
                   ? displayName(item.itemPath())
                   : item.itemName();
    };
    model_->isFile = [this](const ItemPathName&) {
        return tableKbn_ == note::kKbnNewLaunch || tableKbn_ == note::kKbnChangeLaunch;
    };
    model_->dropHandler = [this](const QMimeData& data, int row) { return dropOnItems(data, row); };
    model_->sortHandler = [this](int, Qt::SortOrder order) { model_->sortByName(order); };

    connect(&hub_, &NotificationHub::ShowHKFromLI, this, &HotKeyController::handleShowMe);
    connect(&hub_, &NotificationHub::ShowHKFromPbF, this,
            [this](const QString& pbTitle, const QString&, const QString& pbUTI,
                   const QByteArray& pbData, char kbn, int row, DataStore* store) {
                handleShowMeFromPbF(pbTitle, pbUTI, pbData, kbn, row, store);
            });
    connect(
        &hub_, &NotificationHub::ModHotKey2HKFromLI, this,
        [this](char kbn, int row, const QStringList& itemPaths, DataStore* store, HotKey* hotKey) {
            beginModHotKey(kbn, store);
            setItems(itemPaths);
            handleGetModHotKey(row, hotKey);
        });
    connect(&hub_, &NotificationHub::ModHotKey2HKFromFF, this,
            [this](char kbn, int row, const QList<ItemPathName>& ffItemPaths, HotKey* hotKey,
                   DataStore* store) {
                beginModHotKey(kbn, store);
                setItemPathName(ffItemPaths);
                handleGetModHotKey(row, hotKey);
            });
    connect(&hub_, &NotificationHub::ModHotKey2HKFromPbF, this,
            [this](char kbn, int row, const QStringList& pbItemPaths, DataStore* store,
                   HotKey* hotKey) {
                beginModHotKey(kbn, store);
                setItems(pbItemPaths);
                handleGetModHotKey(row, hotKey);
            });
    connect(&hub_, &NotificationHub::CloseHK, this, &HotKeyController::handleCloseMe);
    connect(&hub_, &NotificationHub::ResetHotKey, this, &HotKeyController::resetButton);
}

HotKeyController::~HotKeyController() {
    hub_.disconnect(this);
}

QStringList HotKeyController::items() const {
    return model_->paths();
}

void HotKeyController::setItems(const QStringList& paths) {
    model_->setPaths(paths);
}

void HotKeyController::setItemPathName(const QList<ItemPathName>& items) {
    model_->setItems(items);
}

void HotKeyController::handleShowMe(char kbn, int selectedRow, DataStore* store,
                                    const QStringList& items) {
    tableKbn_ = kbn;
    dataStore_ = store;
    selectedRow_ = selectedRow;
    setItems(items);
    // A record left from an earlier capture stays, but the cleared display says no key yet.
    initAll();
    showResetButton(false);
    showWindow();
}

void HotKeyController::handleShowMeFromPbF(const QString& pbTitle, const QString& pbUTI,
                                           const QByteArray& pbData, char kbn, int selectedRow,
                                           DataStore* store) {
    const QString dir = store ? store->savePbDataDir() : QString();
    pbUTI_ = pbUTI;
    pbData_ = pbData;
    handleShowMe(kbn, selectedRow, store, {QDir(dir).filePath(pbTitle)});
}

void HotKeyController::beginModHotKey(char kbn, DataStore* store) {
    tableKbn_ = kbn;
    dataStore_ = store;
}

void HotKeyController::handleGetModHotKey(int selectedRow, const HotKey* hotKey) {
    selectedRow_ = selectedRow;
    hotKeyRec_ = hotKey ? hotKey->hotKeyRec() : HotKeyRec{};
    oldHotKeyRec_ = hotKeyRec_;
    initAll();
    showWindow();
    showResetButton(tableKbn_ == note::kKbnFinder);
    if (hotKey)
        dspHotKey(*hotKey);
}

void HotKeyController::handleCloseMe() {
    tableKbn_ = note::kKbnNone;
    if (isOpen_)
        closeWindow();
}

void HotKeyController::initAll() {
    display_.fill(QString());
    keyName_.clear();
    refreshDisplay();
}

void HotKeyController::keyDown(const KeyEvent& event) {
    HotKey captured;
    captured.setEvent(event);
    hotKeyRec_ = captured.hotKeyRec();
    dspHotKey(captured);
}

bool HotKeyController::wasKeyDown() const {
    return std::any_of(display_.begin(), display_.end(),
                       [](const QString& text) { return !text.isEmpty(); });
}

void HotKeyController::dspHotKey(const HotKey& hotKey) {
    keyName_ = linuxKeyName(hotKey);
    const QStringList parts = hotKeyParts(hotKey);
    for (const auto& [field, part] : kFieldParts)
        display_[field] = parts.at(part);
    refreshDisplay();
}

void HotKeyController::dspHotKey(const QString& cmd, const QString& opt, const QString& ctrl,
                                 const QString& shift, const QString& caps, const QString& key) {
    display_ = {cmd, opt, ctrl, shift, caps, key};
    refreshDisplay();
}

QFont HotKeyController::modifierFont() {
    QFont font = QApplication::font();
    font.setPointSize(14);
    return font;
}

QFont HotKeyController::keyFont(const QString& label) {
    QFont font(QStringLiteral("Monaco"));
    // Monaco is a Mac font; the closest monospaced face stands in where it is missing.
    font.setStyleHint(QFont::Monospace);
    font.setPointSize(label.size() <= 2 ? 24 : 18);
    return font;
}

void HotKeyController::refreshDisplay() {
    if (!panel_)
        return;
    for (int i = 0; i < FieldCount; ++i) {
        QLabel* label = panel_->displays[static_cast<std::size_t>(i)];
        const QString& text = display_[static_cast<std::size_t>(i)];
        label->setFont(i == Key ? keyFont(text) : modifierFont());
        label->setText(text);
    }
    panel_->name->setText(keyName_);
    panel_->setAccessibleDescription(keyName_);
}

void HotKeyController::okButton() {
    if (model_->items().isEmpty()) {
        alertRefusal(tr("No item choosed!"), tr("Needs to Cancel"));
        return;
    }
    if (!wasKeyDown()) {
        alertRefusal(tr("No HotKey set!"), tr("Needs to Cancel"));
        return;
    }
    const bool change = tableKbn_ == note::kKbnChangeLaunch ||
                        tableKbn_ == note::kKbnChangePasteboard || tableKbn_ == note::kKbnFinder;
    if (change && hotKeyRec_.eventType == oldHotKeyRec_.eventType &&
        hotKeyRec_.modFlags == oldHotKeyRec_.modFlags &&
        hotKeyRec_.keyCode == oldHotKeyRec_.keyCode) {
        closeWindow();
        return;
    }
    const int dup = dataStore_ ? dataStore_->isDupHotKeyRec(hotKeyRec_) : -1;
    if (dup < 0) {
        if (takesTypingKey(hotKeyRec_) && !confirmTypingKey())
            return;
        if (heldKeys_ && heldKeys_->isHeld(hotKeyRec_) && !confirmHeldKey())
            return;
        emit hub_.SetEventCode(this);
        closeWindow();
    } else if (dup < 1000) {
        const HotKeyItem* item = dataStore_->hotKeyItem(dup);
        const QString path =
            item && !item->itemPaths().isEmpty() ? item->itemPaths().first() : QString();
        alertRefusal(
            tr("This HotKey has been already assigned to the following item on 'Launch Item' tab"),
            lastPathComponent(path));
    } else if (dup < 2000) {
        const HotKeyFinderFunction* function = dataStore_->hotKeyFinderFunction(dup - 1000);
        alertRefusal(tr("This HotKey has been already assigned to the following item on "
                        "'Finder Function' tab"),
                     function ? function->finderFunction().functionName() : QString());
    } else {
        const HotKeyPbItem* item = dataStore_->hotKeyPbItem(dup - 2000);
        alertRefusal(tr("This HotKey has been already assigned to the following item on "
                        "'Pasteboard Item' tab"),
                     item ? item->pbTitle() : QString());
    }
}

void HotKeyController::resetButton() {
    emit hub_.ResetEventCode(this);
    closeWindow();
}

void HotKeyController::cancelButton() {
    closeWindow();
}

bool HotKeyController::takesTypingKey(const HotKeyRec& rec) {
    if (rec.modFlags & (kControlBit | kOptionBit | kCommandBit))
        return false;
    // Keypad keys also type, but a keypad is where spare keys are found.
    if (isKeypadKey(rec.keyCode))
        return false;
    constexpr std::uint16_t kReturn = 0x24, kTab = 0x30, kSpace = 0x31, kBackspace = 0x33;
    if (rec.keyCode == kReturn || rec.keyCode == kTab || rec.keyCode == kSpace ||
        rec.keyCode == kBackspace)
        return true;
    // A printable character; function and cursor keys type none.
    const std::uint16_t c = rec.charCodeIgMod ? rec.charCodeIgMod : rec.charCode;
    return c >= 0x20 && c != 0x7F;
}

bool HotKeyController::confirmTypingKey() {
    HotKey captured;
    captured.setHotKeyRec(hotKeyRec_);
    const QString name = linuxKeyName(captured);
    AlertRequest question{tr("\"%1\" will no longer type in any program.").arg(name),
                          tr("A hot key without Control, Alt or Super takes its key away from "
                             "every program for as long as it is set. Store it anyway?"),
                          {tr("OK"), tr("Cancel")},
                          AlertStyle::Critical};
    // Return, pressed by reflex, must not take a letter away from typing everywhere.
    question.defaultButton = 1;
    return alerts_.run(question) == 0;
}

bool HotKeyController::confirmHeldKey() {
    HotKey captured;
    captured.setHotKeyRec(hotKeyRec_);
    const int answer =
        alerts_.run({KeysStatus::describe(KeysStatus::Problem::Held, linuxKeyName(captured)),
                     tr("Pressing it would run that program's action instead of this hot key."),
                     {tr("Choose Another"), tr("Store Anyway")},
                     AlertStyle::Warning});
    return answer == 1;
}

void HotKeyController::alertRefusal(const QString& title, const QString& message) {
    alerts_.run({title, message, {tr("Cancel")}, AlertStyle::Critical});
}

QWidget* HotKeyController::window() {
    if (!panel_) {
        panel_ = std::make_unique<HotKeyPanel>(*this);
        panel_->resetButton->setVisible(resetShown_);
        panel_->resetButton->setEnabled(resetShown_);
        refreshDisplay();
    }
    return panel_.get();
}

QTableView* HotKeyController::itemTable() {
    window();
    return panel_->table;
}

QLabel* HotKeyController::displayField(Field field) {
    window();
    return panel_->displays[static_cast<std::size_t>(field)];
}

QLabel* HotKeyController::nameField() {
    window();
    return panel_->name;
}

QPushButton* HotKeyController::okPushButton() {
    window();
    return panel_->okButton;
}

QPushButton* HotKeyController::resetPushButton() {
    window();
    return panel_->resetButton;
}

QPushButton* HotKeyController::cancelPushButton() {
    window();
    return panel_->cancelButton;
}

void HotKeyController::showResetButton(bool shown) {
    resetShown_ = shown;
    if (panel_) {
        panel_->resetButton->setVisible(shown);
        panel_->resetButton->setEnabled(shown);
    }
}

void HotKeyController::showWindow() {
    const bool firstTime = !panel_;
    QWidget* panel = window();
    // Over the window that asked, the first time; later where the user left it. A file chooser
    // that just closed leaves no active window: then the main window asked.
    QWidget* requester = QApplication::activeWindow();
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (!requester && top != panel && top->isVisible() && qobject_cast<QMainWindow*>(top))
            requester = top;
    }
    if (firstTime && requester)
        panel->move(requester->geometry().center() - panel->rect().center());
    // Minimized by the desktop, the panel would come back minimized with every later show and
    // no request could be seen again.
    panel->setWindowState(panel->windowState() & ~Qt::WindowMinimized);
    panel->show();
    panel->raise();
    panel->activateWindow();
    panel->setFocus();
    isOpen_ = true;
}

void HotKeyController::closeWindow() {
    if (panel_)
        panel_->hide();
    isOpen_ = false;
}

bool HotKeyController::dropOnItems(const QMimeData& data, int row) {
    const auto rows = draggedRows(data, model_->rowType());
    // Files or text from elsewhere are taken and change nothing.
    if (!rows)
        return false;
    model_->moveItem(rows->first(), row < 0 ? model_->items().size() : row);
    return true;
}

} // namespace presto
