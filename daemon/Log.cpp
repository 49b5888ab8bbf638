#include "daemon/Log.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <sys/time.h>
#include <unistd.h>

namespace presto {

const char* getCharSysTime() {
    // Formatted once a second at most: a flood of unknown keys logs two lines each.
    thread_local std::time_t formatted = -1;
    thread_local char text[64] = "\n";
    std::time_t now = std::time(nullptr);
    if (now != formatted) {
        std::tm local{};
        // The reentrant forms: other threads may log while the main loop does.
        if (localtime_r(&now, &local) == nullptr || asctime_r(&local, text) == nullptr)
            std::snprintf(text, sizeof text, "\n");
        formatted = now;
    }
    return text;
}

double gettimeofday_sec() {
    timeval tv{};
    gettimeofday(&tv, nullptr);
    return double(tv.tv_sec) + double(tv.tv_usec) * 0.000001;
}

void logLine(std::string_view text) {
    // One write per line, so lines from several threads never interleave.
    std::fflush(stdout);
    while (!text.empty()) {
        ssize_t n = ::write(STDOUT_FILENO, text.data(), text.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        text.remove_prefix(static_cast<std::size_t>(n));
    }
}

} // namespace presto
