#include "config/ui/NotificationCenter.h"

#include <algorithm>

namespace presto {

NotificationCenter::ObserverId NotificationCenter::addObserver(const QString& name,
                                                               Handler handler) {
    const ObserverId id = nextId_++;
    entries_.push_back(Entry{id, name, std::move(handler)});
    return id;
}

void NotificationCenter::removeObserver(ObserverId id) {
    std::erase_if(entries_, [id](const Entry& entry) { return entry.id == id; });
}

bool NotificationCenter::isRegistered(ObserverId id) const {
    return std::any_of(entries_.begin(), entries_.end(),
                       [id](const Entry& entry) { return entry.id == id; });
}

void NotificationCenter::post(const QString& name, const QVariant& object,
                              const QVariantMap& userInfo) {
    // Handlers post in turn and may add or remove observers, so the list of those to call is
    // fixed first and each is checked again right before its turn.
    std::vector<std::pair<ObserverId, Handler>> due;
    for (const Entry& entry : entries_) {
        if (entry.name == name)
            due.emplace_back(entry.id, entry.handler);
    }
    const Notification notification{name, object, userInfo};
    for (const auto& [id, handler] : due) {
        if (isRegistered(id))
            handler(notification);
    }
}

void Observations::observe(const QString& name, NotificationCenter::Handler handler) {
    ids_.push_back(center_.addObserver(name, std::move(handler)));
}

void Observations::stopObserving() {
    for (NotificationCenter::ObserverId id : ids_)
        center_.removeObserver(id);
    ids_.clear();
}

} // namespace presto
