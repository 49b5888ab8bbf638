// PrestoKeys: X11 alone; a session that needs a desktop's key source goes to PrestoKeysWayland.
#include "capture/KeySource.h"
#include "capture/KeysProgram.h"
#include "common/ProgramVersion.h"
#include "common/Version.h"

#include <cstdio>
#include <unistd.h>

// The installer reads the installed agent's version from this mark without running it.
PRESTO_VERSION_MARK("PrestoKeys", PRESTO_BUNDLE_VERSION);

namespace presto::keys {

const char kProgramName[] = "PrestoKeys";
const char kDescription[] =
    "Presto's key-capture agent: takes the hot key table from Presto.daemon, grabs its keys on "
    "the X11 display and tells the daemon when one is pressed. In a Wayland session it starts "
    "PrestoKeysWayland in its place. It runs for the whole session, started by the systemd user "
    "unit com.nimbo.Presto.keys.service.";

SourceKind firstSource(const SessionFacts& facts, char** argv) {
    // Whatever is not plain X11 is for the Wayland build to decide.
    const SourceKind kind = chooseKeySource(facts, [] { return true; });
    if (kind == SourceKind::X11)
        return kind;
    const std::string wayland = (selfDir() / "PrestoKeysWayland").string();
    argv[0] = const_cast<char*>(wayland.c_str());
    ::execv(wayland.c_str(), argv);
    std::printf("PrestoKeys: %s cannot be started; X11 through XWayland instead\n",
                wayland.c_str());
    return SourceKind::XWayland;
}

std::unique_ptr<KeySource> openDesktopSource(SourceKind, Agent&, const Locations&, std::string&) {
    return nullptr;
}

} // namespace presto::keys
