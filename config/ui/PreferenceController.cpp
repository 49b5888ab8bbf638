#include "config/ui/PreferenceController.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QShortcut>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>
#include <cmath>
#include <filesystem>

namespace presto {

namespace {

constexpr char kAssistantName[] = "PrestoAssist";

QLabel* makeLabel(const QString& text, QWidget* parent, Qt::Alignment alignment = Qt::AlignLeft) {
    auto* label = new QLabel(text, parent);
    label->setAlignment(alignment | Qt::AlignVCenter);
    // Hidden texts keep their place, so the window does not jump when the kind changes.
    QSizePolicy policy = label->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    label->setSizePolicy(policy);
    return label;
}

} // namespace

PreferenceController::PreferenceController(AlertPresenter& alerts,
                                           const std::string& preferenceFile,
                                           const std::string& socketPath, QString assistantPath,
                                           QWidget* parent)
    : QWidget(parent, Qt::Dialog), alerts_(alerts), prefsocket_(socketPath),
      userDefaults_(preferenceFile), assistantPath_(std::move(assistantPath)) {
    setWindowTitle(tr("Preferences"));

    auto* launchBox = new QGroupBox(tr("A hot key of one item"), this);
    auto* launch = new QGridLayout(launchBox);
    kindIntervalHotKey_ = new QButtonGroup(this);
    const QString kindTitles[] = {
        tr("Launch the item at once"),
        tr("Open the file manager's selection with the item, then launch it"),
        tr("Launch after the interval; pressed twice, open the selection with the item"),
        tr("Open the selection with the item after the interval; pressed twice, only launch it"),
    };
    for (int kind = 0; kind < 4; ++kind) {
        auto* button = new QRadioButton(kindTitles[kind], launchBox);
        kindIntervalHotKey_->addButton(button, kind);
        launch->addWidget(button, kind, 0, 1, 4);
    }
    titleHotKeyInterval_ = makeLabel(tr("Double-press interval:"), launchBox);
    valueIntervalHotKey_ = new QSlider(Qt::Horizontal, launchBox);
    valueIntervalHotKey_->setRange(0, static_cast<int>(kMaxInterval * kIntervalStepsPerSecond));
    valueIntervalHotKey_->setTickInterval(kIntervalStepsPerSecond / 2);
    valueIntervalHotKey_->setTickPosition(QSlider::TicksBelow);
    valueInterval_ = makeLabel(QString(), launchBox, Qt::AlignRight);
    valueInterval_->setMinimumWidth(48);
    sec0_ = makeLabel(tr("0"), launchBox);
    sec1_ = makeLabel(tr("1"), launchBox, Qt::AlignHCenter);
    sec2_ = makeLabel(tr("2 sec"), launchBox, Qt::AlignRight);
    launch->addWidget(titleHotKeyInterval_, 4, 0);
    launch->addWidget(valueIntervalHotKey_, 4, 1, 1, 3);
    launch->addWidget(valueInterval_, 4, 4);
    launch->addWidget(sec0_, 5, 1);
    launch->addWidget(sec1_, 5, 2);
    launch->addWidget(sec2_, 5, 3);

    auto* agentBox = new QGroupBox(tr("Key-capture agent"), this);
    auto* agent = new QGridLayout(agentBox);
    valueIntervalKEXT_ = new QSlider(Qt::Horizontal, agentBox);
    valueIntervalKEXT_->setRange(kMinKEXTInterval, kMaxKEXTInterval);
    valueIntervalKEXT_->setTickInterval(1);
    valueIntervalKEXT_->setTickPosition(QSlider::TicksBelow);
    valueKEXT_ = makeLabel(QString(), agentBox, Qt::AlignRight);
    valueKEXT_->setMinimumWidth(48);
    agent->addWidget(makeLabel(tr("Check for changes every:"), agentBox), 0, 0);
    agent->addWidget(valueIntervalKEXT_, 0, 1);
    agent->addWidget(valueKEXT_, 0, 2);

    flagShowIcon_ = new QCheckBox(tr("Show the PrestoAssist icon in the panel"), this);
    mesFlagShowIcon_ = makeLabel(QStringLiteral(" "), this);
    flagRecomended_ = new QCheckBox(tr("Recommended settings"), this);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(launchBox);
    layout->addWidget(agentBox);
    layout->addWidget(flagShowIcon_);
    layout->addWidget(mesFlagShowIcon_);
    layout->addSpacing(8);
    layout->addWidget(flagRecomended_);
    layout->addStretch();

    connect(kindIntervalHotKey_, &QButtonGroup::idClicked, this,
            [this] { changeKindIntervalHotKey(); });
    connect(valueIntervalHotKey_, &QSlider::valueChanged, this,
            [this] { changeValueIntervalHotKey(); });
    connect(valueIntervalKEXT_, &QSlider::valueChanged, this,
            [this] { changeValueIntervalKEXT(); });
    connect(flagRecomended_, &QCheckBox::clicked, this, [this] { changeFlagRecomended(); });
    connect(flagShowIcon_, &QCheckBox::clicked, this, [this] { changeFlagShowIcon(); });
    auto* escape = new QShortcut(QKeySequence::Cancel, this);
    connect(escape, &QShortcut::activated, this, [this] { close(); });

    if (!std::filesystem::exists(preferenceFile)) {
        setDefault();
        userDefaults_.synchronize();
    } else if (!userDefaults_.getBool(kFlagShowIcon)) {
        userDefaults_.setBool(kFlagShowIcon, true);
        userDefaults_.synchronize();
    }
    setWindowData();
}

PreferenceController::~PreferenceController() {
    userDefaults_.synchronize();
}

void PreferenceController::showWindow() {
    setWindowData();
    show();
    raise();
    activateWindow();
}

int PreferenceController::kindIntervalHotKey() const {
    return static_cast<int>(userDefaults_.getInteger(kKindIntervalHotKey).value_or(kDefaultKind));
}

double PreferenceController::valueIntervalHotKey() const {
    return userDefaults_.getReal(kValueIntervalHotKey).value_or(kDefaultInterval);
}

int PreferenceController::valueIntervalKEXT() const {
    return static_cast<int>(
        userDefaults_.getInteger(kValueIntervalKEXT).value_or(kDefaultKEXTInterval));
}

bool PreferenceController::flagRecomended() const {
    // Missing, it says what the values say, so the box never claims a set that is not there.
    if (const auto flag = userDefaults_.getBool(kFlagRecomended))
        return *flag;
    return isDefault();
}

bool PreferenceController::flagShowIcon() const {
    return userDefaults_.getBool(kFlagShowIcon).value_or(true);
}

void PreferenceController::updatePref(int kind, double intervalHotKey, int intervalKEXT,
                                      bool showIcon, bool recommended) {
    userDefaults_.setInteger(kKindIntervalHotKey, kind);
    userDefaults_.setReal(kValueIntervalHotKey, intervalHotKey);
    userDefaults_.setInteger(kValueIntervalKEXT, intervalKEXT);
    userDefaults_.setBool(kFlagShowIcon, showIcon);
    userDefaults_.setBool(kFlagRecomended, recommended);
}

void PreferenceController::setDefault() {
    updatePref(kDefaultKind, kDefaultInterval, kDefaultKEXTInterval, true, true);
    setWindowData();
}

bool PreferenceController::isDefault() const {
    return kindIntervalHotKey() == kDefaultKind && valueIntervalHotKey() == kDefaultInterval &&
           valueIntervalKEXT() == kDefaultKEXTInterval && flagShowIcon();
}

void PreferenceController::arrangeFlagRecomended() {
    if (isDefault())
        setDefault();
    else
        userDefaults_.setBool(kFlagRecomended, false);
}

bool PreferenceController::isInstalledAssist() const {
    return QFileInfo::exists(assistantPath_);
}

void PreferenceController::changeKindIntervalHotKey() {
    const int kind = kindIntervalHotKey_->checkedId();
    userDefaults_.setInteger(kKindIntervalHotKey, kind);
    // A delayed kind with no delay would never see a second press.
    if ((kind == 2 || kind == 3) && valueIntervalHotKey() == 0.0)
        userDefaults_.setReal(kValueIntervalHotKey, 0.25);
    arrangeFlagRecomended();
    setWindowData();
}

void PreferenceController::changeValueIntervalHotKey() {
    const double seconds =
        static_cast<double>(valueIntervalHotKey_->value()) / kIntervalStepsPerSecond;
    valueInterval_->setText(QString::asprintf("%.2f", seconds));
    userDefaults_.setReal(kValueIntervalHotKey, seconds);
    if (seconds == 0.0) {
        const int kind = kindIntervalHotKey();
        if (kind == 2)
            userDefaults_.setInteger(kKindIntervalHotKey, 0);
        else if (kind == 3)
            userDefaults_.setInteger(kKindIntervalHotKey, 1);
        valueIntervalHotKey_->setEnabled(false);
        valueIntervalHotKey_->update();
    }
    arrangeFlagRecomended();
    setWindowData();
}

void PreferenceController::changeValueIntervalKEXT() {
    userDefaults_.setInteger(kValueIntervalKEXT, valueIntervalKEXT_->value());
    arrangeFlagRecomended();
    setWindowData();
}

void PreferenceController::changeFlagRecomended() {
    const bool recommended = flagRecomended_->isChecked();
    userDefaults_.setBool(kFlagRecomended, recommended);
    if (recommended)
        setDefault();
    else
        setWindowData();
}

void PreferenceController::changeFlagShowIcon() {
    const bool showIcon = flagShowIcon_->isChecked();
    userDefaults_.setBool(kFlagShowIcon, showIcon);
    if (!isInstalledAssist() && showIcon) {
        AlertRequest request;
        request.style = AlertStyle::Critical;
        request.title = tr("PrestoAssist is not yet installed!!");
        request.message = tr("The icon will not be shown");
        request.buttons = {tr("OK")};
        alerts_.run(request);
    }
    arrangeFlagRecomended();
    setWindowData();
}

int PreferenceController::intervalToSlider(double seconds) {
    return static_cast<int>(std::lround(seconds * kIntervalStepsPerSecond));
}

void PreferenceController::setWindowData() {
    const int kind = kindIntervalHotKey();
    const double interval = valueIntervalHotKey();
    {
        const QSignalBlocker kindBlocker(kindIntervalHotKey_);
        if (QAbstractButton* button = kindIntervalHotKey_->button(kind)) {
            button->setChecked(true);
        } else if (QAbstractButton* checked = kindIntervalHotKey_->checkedButton()) {
            // A kind no button stands for: none is shown as chosen.
            kindIntervalHotKey_->setExclusive(false);
            checked->setChecked(false);
            kindIntervalHotKey_->setExclusive(true);
        }
    }
    {
        const QSignalBlocker sliderBlocker(valueIntervalHotKey_);
        valueIntervalHotKey_->setValue(intervalToSlider(interval));
    }
    valueInterval_->setText(QString::asprintf("%.2f", interval));
    {
        const QSignalBlocker sliderBlocker(valueIntervalKEXT_);
        valueIntervalKEXT_->setValue(valueIntervalKEXT());
    }
    valueKEXT_->setText(tr("%1 sec").arg(valueIntervalKEXT()));
    flagRecomended_->setChecked(flagRecomended());
    flagShowIcon_->setChecked(flagShowIcon());

    const bool delayed = kind > 1;
    valueIntervalHotKey_->setEnabled(delayed);
    for (QLabel* text : intervalTexts())
        text->setVisible(delayed);

    mesFlagShowIcon_->setText(QStringLiteral(" "));
    if (flagShowIcon() && !isInstalledAssist())
        mesFlagShowIcon_->setText(tr("%1 is not yet installed!!").arg(kAssistantName));
}

QList<QLabel*> PreferenceController::intervalTexts() const {
    return {valueInterval_, sec0_, sec1_, sec2_, titleHotKeyInterval_};
}

QAbstractButton* PreferenceController::kindButton(int kind) const {
    return kindIntervalHotKey_->button(kind);
}

bool PreferenceController::windowShouldClose() {
    userDefaults_.synchronize();
    prefsocket_.sendMessage(kUpdatePrefMessage, 8);
    return true;
}

void PreferenceController::closeEvent(QCloseEvent* event) {
    // Only a panel that is open tells the daemon; closing a hidden one is nothing.
    if (isVisible() && !windowShouldClose()) {
        event->ignore();
        return;
    }
    event->accept();
}

} // namespace presto
