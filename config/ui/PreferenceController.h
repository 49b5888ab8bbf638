#pragma once

#include "common/PrefSocket.h"
#include "common/PreferenceDomain.h"
#include "config/model/AlertPresenter.h"

#include <QString>
#include <QWidget>
#include <string>

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QLabel;
class QSlider;

namespace presto {

// The preferences panel over the "com.nimbo.Presto" domain. Every change is stored at once; the
// controls only mirror the stored values. Closing the panel writes the domain out and tells the
// daemon to read it again. One instance lives as long as the application; its window may be
// opened and closed many times.
class PreferenceController : public QWidget {
    Q_OBJECT

public:
    // The recommended set, which FlagRecomended stands for; also what a missing key reads as.
    // A missing FlagRecomended reads as whether the others are at that set.
    static constexpr int kDefaultKind = 2;
    static constexpr double kDefaultInterval = 1.0;
    static constexpr int kDefaultKEXTInterval = 5;
    // The hot key interval slider moves in these steps, up to kMaxInterval seconds.
    static constexpr int kIntervalStepsPerSecond = 20;
    static constexpr double kMaxInterval = 2.0;
    static constexpr int kMinKEXTInterval = 1;
    static constexpr int kMaxKEXTInterval = 10;

    // `assistantPath`: where the tray assistant is installed. Writes the recommended set when
    // the domain does not exist yet.
    PreferenceController(AlertPresenter& alerts, const std::string& preferenceFile,
                         const std::string& socketPath, QString assistantPath,
                         QWidget* parent = nullptr);
    // Writes out what was changed, as the panel would on closing, but tells no one.
    ~PreferenceController() override;

    void showWindow();

    // Control actions: each reads its control.
    void changeKindIntervalHotKey();
    void changeValueIntervalHotKey();
    void changeValueIntervalKEXT();
    void changeFlagRecomended();
    void changeFlagShowIcon();

    // The stored values.
    int kindIntervalHotKey() const;
    double valueIntervalHotKey() const;
    int valueIntervalKEXT() const;
    bool flagRecomended() const;
    bool flagShowIcon() const;

    void setDefault();
    bool isDefault() const;
    void updatePref(int kind, double intervalHotKey, int intervalKEXT, bool showIcon,
                    bool recommended);
    void arrangeFlagRecomended();
    void setWindowData();
    bool isInstalledAssist() const;
    // Synchronizes and sends "UPDTPREF"; the window may close.
    bool windowShouldClose();

    QAbstractButton* kindButton(int kind) const;
    QSlider* intervalHotKeySlider() const { return valueIntervalHotKey_; }
    QSlider* intervalKEXTSlider() const { return valueIntervalKEXT_; }
    QCheckBox* recommendedBox() const { return flagRecomended_; }
    QCheckBox* showIconBox() const { return flagShowIcon_; }
    QLabel* showIconNote() const { return mesFlagShowIcon_; }
    QLabel* intervalValue() const { return valueInterval_; }
    // The hot key interval's number, title and scale labels, shown only for kinds 2 and 3.
    QList<QLabel*> intervalTexts() const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    static int intervalToSlider(double seconds);

    AlertPresenter& alerts_;
    QButtonGroup* kindIntervalHotKey_ = nullptr;
    QSlider* valueIntervalHotKey_ = nullptr;
    QSlider* valueIntervalKEXT_ = nullptr;
    QCheckBox* flagRecomended_ = nullptr;
    QCheckBox* flagShowIcon_ = nullptr;
    QLabel* mesFlagShowIcon_ = nullptr;
    QLabel* valueInterval_ = nullptr;
    QLabel* sec0_ = nullptr;
    QLabel* sec1_ = nullptr;
    QLabel* sec2_ = nullptr;
    QLabel* titleHotKeyInterval_ = nullptr;
    QLabel* valueKEXT_ = nullptr;
    PrefSocket prefsocket_;
    PreferenceDomain userDefaults_;
    QString assistantPath_;
};

} // namespace presto
