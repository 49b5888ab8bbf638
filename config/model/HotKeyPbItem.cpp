#include "config/model/HotKeyPbItem.h"

#include "config/model/ItemPathName.h"

namespace presto {

QString HotKeyPbItem::pbDataName() const {
    return lastPathComponent(pbDataPath_);
}

} // namespace presto
