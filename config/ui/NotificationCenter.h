#pragma once

#include <QString>
#include <QVariant>
#include <QVariantMap>
#include <cstdint>
#include <functional>
#include <vector>

namespace presto {

// One posted notification: its name, its object (none, a row number, one of the application's
// objects or a string-keyed dictionary) and, rarely, a user-info dictionary.
struct Notification {
    QString name;
    QVariant object;
    QVariantMap userInfo;
};

// The in-process hub through which the windows of the configuration application talk. Delivery
// is synchronous: post() returns after every observer of the name has run, in the order they
// registered, so a poster may rely on their effects in its next statement.
class NotificationCenter {
public:
    using Handler = std::function<void(const Notification&)>;
    using ObserverId = std::uint64_t;

    ObserverId addObserver(const QString& name, Handler handler);
    // An observer removed while a post is running is not called any more by that post.
    void removeObserver(ObserverId id);
    void post(const QString& name, const QVariant& object = {}, const QVariantMap& userInfo = {});

    std::size_t observerCount() const { return entries_.size(); }

private:
    struct Entry {
        ObserverId id;
        QString name;
        Handler handler;
    };
    bool isRegistered(ObserverId id) const;

    std::vector<Entry> entries_;
    ObserverId nextId_ = 1;
};

// The registrations of one object; they end with it, so a destroyed controller is never called.
class Observations {
public:
    explicit Observations(NotificationCenter& center) : center_(center) {}
    ~Observations() { stopObserving(); }
    Observations(const Observations&) = delete;
    Observations& operator=(const Observations&) = delete;

    void observe(const QString& name, NotificationCenter::Handler handler);
    void stopObserving();

    NotificationCenter& center() const { return center_; }

private:
    NotificationCenter& center_;
    std::vector<NotificationCenter::ObserverId> ids_;
};

} // namespace presto
