#pragma once

// What the two builds of the key-capture agent do differently; main.cpp is theirs in common.
// PrestoKeys links KeysProgramX11.cpp: X11 alone, small for the X11 sessions it serves all
// session long. PrestoKeysWayland links KeysProgramWayland.cpp: the desktops' sources and the GIO
// they need.
#include "capture/SourceChoice.h"

#include <filesystem>
#include <memory>
#include <string>

namespace presto {

class Agent;
class KeySource;
struct Locations;

namespace keys {

extern const char kProgramName[];
extern const char kDescription[]; // for --help

// The key source to start with. PrestoKeys hands a session that is not plain X11 to
// PrestoKeysWayland beside it, in this process's place.
SourceKind firstSource(const SessionFacts& facts, char** argv);

// The desktop's own source of this kind. Null with `why` empty when this build has none of that
// kind (X11 serves it); null with `why` set when it cannot start.
std::unique_ptr<KeySource> openDesktopSource(SourceKind kind, Agent& agent,
                                             const Locations& locations, std::string& why);

// The folder of this program, where its companions lie.
std::filesystem::path selfDir();

} // namespace keys
} // namespace presto
