#include "config/ui/PbFController.h"

#include "common/SnapshotFile.h"
#include "config/model/DataStore.h"
#include "config/ui/Cells.h"
#include "config/ui/DropTableView.h"
#include "config/ui/FileDisplay.h"
#include "config/ui/PBTitleController.h"
#include "config/ui/PasteboardPreview.h"

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QImage>
#include <QImageWriter>
#include <QMimeData>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <new>
#include <optional>

namespace presto {

namespace {

constexpr char kTiffMimeType[] = "image/tiff";

struct TakenPasteboard {
    int index;
    QByteArray data;
};

QByteArray tiffOf(const QImage& picture) {
    QByteArray tiff;
    QBuffer buffer(&tiff);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "tiff");
    if (!writer.write(picture))
        tiff.clear();
    return tiff;
}

// Text first, then a picture; a picture offered as TIFF is kept byte for byte, any other is
// converted.
std::optional<TakenPasteboard> takePasteboard(const QMimeData* contents) {
    if (!contents)
        return std::nullopt;
    if (contents->hasText()) {
        QByteArray text = contents->text().toUtf8();
        if (!text.isEmpty())
            return TakenPasteboard{0, std::move(text)};
    }
    QByteArray tiff = contents->data(QLatin1String(kTiffMimeType));
    if (tiff.isEmpty() && contents->hasImage())
        tiff = tiffOf(qvariant_cast<QImage>(contents->imageData()));
    if (!tiff.isEmpty())
        return TakenPasteboard{1, std::move(tiff)};
    return std::nullopt;
}

} // namespace

const QStringList& PbFController::pbTypes() {
    static const QStringList types{QStringLiteral("text/plain;charset=utf-8"),
                                   QLatin1String(kTiffMimeType)};
    return types;
}

const QStringList& PbFController::pbUTIs() {
    static const QStringList utis{QLatin1String(kUtf8PlainTextType), QLatin1String(kTiffType)};
    return utis;
}

PbItemModel::PbItemModel(QObject* parent)
    : DragTableModel({QStringLiteral("No"), QStringLiteral("hotKey"), QStringLiteral("pbTitle")},
                     QLatin1String(kRowType),
                     {QStringLiteral("text/uri-list"), QStringLiteral("text/plain")}, parent) {
    connect(this, &QAbstractItemModel::modelReset, this, [this] {
        QStringList paths;
        for (qsizetype row = 0; store_ && row < store_->countHotKeyPbItem(); ++row)
            paths.append(store_->hotKeyPbItem(row)->pbDataPath());
        presence_.watch(paths);
    });
    connect(&presence_, &PathPresence::changed, this, [this] {
        if (rowCount() > 0)
            emit dataChanged(index(0, 2), index(rowCount() - 1, 2));
    });
}

void PbItemModel::setKeysStatus(const KeysStatus* status) {
    keysStatus_ = status;
    followKeysStatus(*this, status, 1);
}

int PbItemModel::rowCount(const QModelIndex& parent) const {
    return (parent.isValid() || !store_) ? 0 : static_cast<int>(store_->countHotKeyPbItem());
}

QVariant PbItemModel::data(const QModelIndex& index, int role) const {
    const HotKeyPbItem* item = store_ ? store_->hotKeyPbItem(index.row()) : nullptr;
    if (!item)
        return {};
    switch (index.column()) {
    case 0:
        if (role == Qt::DisplayRole)
            return QString::asprintf("%d", index.row() + 1);
        break;
    case 1:
        return hotKeyData(*item, role, keysStatus_);
    case 2: {
        const bool missing = presence_.isMissing(item->pbDataPath());
        if (role == Qt::DisplayRole)
            return lastPathComponent(item->pbDataPath());
        if (role == Qt::DecorationRole)
            return missing ? warningIcon() : pasteboardIcon();
        if (role == Qt::ToolTipRole)
            return missing ? missingPathText(item->pbDataPath()) : item->pbDataPath();
        break;
    }
    default:
        break;
    }
    return {};
}

PbFController::PbFController(NotificationHub& hub, AlertPresenter& alerts, QWidget* parent)
    : HotKeyTab(parent), hub_(hub), alerts_(alerts),
      pbTitleController_(std::make_unique<PBTitleController>(hub, alerts)) {
    model_ = new PbItemModel(this);
    model_->setHeaderTitles({tr("No"), tr("HotKey"), tr("Title")});
    model_->dropHandler = [this](const QMimeData& data, int row) { return acceptDrop(data, row); };
    model_->sortHandler = [this](int column, Qt::SortOrder order) { sortPbItems(column, order); };

    setUpTable(model_, 2, 1);

    addButton_ = new QPushButton(tr("Save Pasteboard"), this);
    deletePbButton_ = new QPushButton(tr("Delete"), this);
    deletePbButton_->setEnabled(false);
    connect(addButton_, &QPushButton::clicked, this, [this] { addPbTitle(); });
    connect(deletePbButton_, &QPushButton::clicked, this, [this] { delPbTitle(); });

    table_->deleteHandler = [this] { delPbTitle(); };
    connect(table_, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        table_->setSelectedRow(index.row());
        handleGetModHotKey();
    });

    drawer_ = new PasteboardPreview(this);
    drawer_->setFixedWidth(240);
    drawer_->hide();

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(addButton_);
    buttons->addWidget(deletePbButton_);
    buttons->addStretch();
    auto* list = new QVBoxLayout;
    list->addWidget(table_);
    list->addLayout(buttons);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(list, 1);
    layout->addWidget(drawer_);

    connect(&hub_, &NotificationHub::ShowPbItemTable, this,
            [this](DataStore* store) { handleShowPbItemTable(store, false); });
    connect(&hub_, &NotificationHub::ShowPbItemTableByTab, this,
            [this](DataStore* store) { handleShowPbItemTable(store, true); });
    connect(&hub_, &NotificationHub::ClosePbItemDrawer, this, &PbFController::closeDrawer);
    connect(&hub_, &NotificationHub::AddPbTitleByMenu, this, &PbFController::addPbTitle);
    connect(&hub_, &NotificationHub::DelPbTitleByMenu, this, &PbFController::delPbTitle);
    connect(&hub_, &NotificationHub::ModHotKey2PbFByMenu, this, &PbFController::handleGetModHotKey);
}

PbFController::~PbFController() {
    hub_.disconnect(this);
}

void PbFController::setDataStore(DataStore* store) {
    dataStore_ = store;
    model_->setDataStore(store);
}

bool PbFController::isDrawerOpen() const {
    return !drawer_->isHidden();
}

void PbFController::openDrawer() {
    drawer_->show();
}

void PbFController::closeDrawer() {
    drawer_->hide();
}

void PbFController::handleShowPbItemTable(DataStore* store, bool byTab) {
    if (store)
        setDataStore(store);
    if (byTab) {
        {
            const QSignalBlocker blocker(table_->selectionModel());
            model_->reload();
            table_->clearSelection();
        }
        selectedRow_ = -1;
        deletePbButton_->setEnabled(false);
        closeDrawer();
        emit hub_.RowValueFromPbF(selectedRow_);
        return;
    }
    reloadKeepingSelection();
    arrangeButtonAndDrawer();
}

void PbFController::alertPasteboard(const QString& title, const QString& message) {
    alerts_.run({title, message, {tr("Cancel")}, AlertStyle::Critical});
}

void PbFController::addPbTitle() {
    const int row = table_->selectedRow();
    std::optional<TakenPasteboard> taken;
    try {
        taken = takePasteboard(QGuiApplication::clipboard()->mimeData());
    } catch (const std::bad_alloc&) {
        alertPasteboard(tr("Pasteboard is too big!"), tr("Needs to Cancel and Try again"));
        return;
    }
    if (!taken) {
        alertPasteboard(tr("Pasteboard is empty!"), tr("Needs to Cancel"));
        return;
    }
    emit hub_.ShowPBTitleFromPbF(note::kKbnNewPasteboard, row, taken->index, dataStore_,
                                 pbTypes().at(taken->index), pbUTIs().at(taken->index),
                                 taken->data);
}

void PbFController::delPbTitle() {
    const int row = table_->selectedRow();
    if (row < 0)
        return;
    emit hub_.DelPbTitle(row);
    arrangeButtonAndDrawer();
}

void PbFController::handleGetModHotKey() {
    HotKeyPbItem* item = dataStore_ ? dataStore_->hotKeyPbItem(table_->selectedRow()) : nullptr;
    if (!item)
        return;
    emit hub_.ModHotKey2HKFromPbF(note::kKbnChangePasteboard, table_->selectedRow(),
                                  {item->pbDataPath()}, dataStore_, item);
}

void PbFController::arrangeButtonAndDrawer() {
    selectedRow_ = table_->selectedRow();
    emit hub_.RowValueFromPbF(selectedRow_);
    emit hub_.CloseHK();
    const HotKeyPbItem* item = dataStore_ ? dataStore_->hotKeyPbItem(selectedRow_) : nullptr;
    if (!item) {
        deletePbButton_->setEnabled(false);
        closeDrawer();
        return;
    }
    deletePbButton_->setEnabled(true);
    openDrawer();
    drawer_->clear();
    const auto snapshot = readSnapshotFile(item->pbDataPath().toStdString());
    if (!snapshot)
        return;
    const QByteArray data(reinterpret_cast<const char*>(snapshot->data.data()),
                          static_cast<qsizetype>(snapshot->data.size()));
    if (snapshot->type == kTiffType)
        drawer_->setImage(data);
    else if (snapshot->type == kUtf8PlainTextType)
        drawer_->setText(data);
}

bool PbFController::acceptDrop(const QMimeData& data, int row) {
    // Anything but a row of this table is taken and changes nothing.
    if (dataStore_) {
        moveDraggedRow(
            data, row, dataStore_->countHotKeyPbItem(),
            [this](qsizetype from, qsizetype to) { dataStore_->moveHotKeyPbItem(from, to); });
    }
    return true;
}

void PbFController::sortPbItems(int column, Qt::SortOrder order) {
    const QString key = model_->columnIds().value(column);
    if (!dataStore_ || (key != QLatin1String("pbTitle") && key != QLatin1String("hotKey")))
        return;
    using Compare = int (*)(const HotKeyPbItem*, const HotKeyPbItem*);
    const Compare byTitle = [](const HotKeyPbItem* a, const HotKeyPbItem* b) {
        return a->pbTitle().compare(b->pbTitle());
    };
    const Compare byKey = [](const HotKeyPbItem* a, const HotKeyPbItem* b) {
        return a->hotKey().compare(b->hotKey());
    };
    const bool titleFirst = key == QLatin1String("pbTitle");
    sortHotKeys(dataStore_->hotKeyPbItems(), titleFirst ? byTitle : byKey,
                titleFirst ? byKey : byTitle, order,
                [this](qsizetype from, qsizetype to) { dataStore_->moveHotKeyPbItem(from, to); });
    reloadAndDeselect();
}

} // namespace presto
