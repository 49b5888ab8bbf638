#pragma once

#include "capture/KeySource.h"
#include "capture/SourceChoice.h"

namespace presto {

// What is left when no source works on the session: every hot key is told as not offered, so the
// configuration application can mark each one and say why.
class UnofferedKeys : public KeySource {
public:
    explicit UnofferedKeys(Listener listener) : listener_(std::move(listener)) {}

    std::string name() const override { return sourceTitle(SourceKind::None); }
    bool connected() const override { return true; }
    int fd() const override { return -1; }
    void setHotKeys(std::vector<HotKeyRec> hotKeys) override {
        for (const HotKeyRec& rec : hotKeys)
            if (listener_.problem)
                listener_.problem(rec, GrabProblem::Unoffered);
        if (listener_.renewed)
            listener_.renewed(0, static_cast<int>(hotKeys.size()));
    }
    void dispatchEvents(const PressHandler&) override {}

private:
    Listener listener_;
};

} // namespace presto
