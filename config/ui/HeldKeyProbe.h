#pragma once

#include "common/HotKeyRec.h"

#include <memory>

namespace presto {

class KeysStatus;

// Whether another program holds a key combination right now, asked before the capture panel
// stores one. Tests answer it with a double.
class HeldKeyProbe {
public:
    virtual ~HeldKeyProbe() = default;
    virtual bool isHeld(const HotKeyRec& rec) = 0;
};

// On X11: a passive grab of the combination, tried on the application's own connection and let
// go at once; the server refuses it while another client grabs the same keys. Null when the
// application does not run on an X server.
std::unique_ptr<HeldKeyProbe> makeXGrabProbe();

// Where nothing can be asked: what the key-capture agent last said of the combination. `status`
// must outlive the probe.
std::unique_ptr<HeldKeyProbe> makeKeysStatusProbe(const KeysStatus& status);

} // namespace presto
