#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <sys/types.h>
#include <vector>

namespace presto::subprocess {

using Clock = std::chrono::steady_clock;

// Starts the program at argv[0] (a path, not looked up in PATH) in a session of its own, with
// stdin from /dev/null, default signal handling and no descriptor of ours beyond 0-2. Nobody
// waits for it: a background reaper collects it when it ends. 0, or the error number.
int spawnDetached(const std::vector<std::string>& argv);
// The same, telling the started program's process number; it starts in `workingFolder` when that
// is a folder, else where the caller is.
int spawnDetached(const std::vector<std::string>& argv, pid_t& pid,
                  const std::string& workingFolder = {});
// The same with `environment` ("NAME=value" entries) in place of ours.
int spawnDetached(const std::vector<std::string>& argv, pid_t& pid,
                  const std::string& workingFolder, const std::vector<std::string>& environment);

// How a program run to its end finished, with everything it wrote.
struct Outcome {
    bool exited = false; // false: ended by a signal
    int status = 0;      // exit status, or the signal number
    std::string out;
    std::string err;
};

// Runs a program looked up in PATH (stdin /dev/null, a session of its own) and waits, without a
// time limit, until it ends. nullopt when it could not be started; `error` then holds the error
// number.
std::optional<Outcome> run(const std::vector<std::string>& argv, int& error);

// A short-lived helper program, looked up in PATH, whose stdin or stdout is a pipe to us. The
// other standard streams are /dev/null, so a helper that leaves a background process behind
// (xclip does) holds none of our pipes open.
class Helper {
public:
    enum class Pipe { ToStdin, FromStdout };

    // nullopt when it could not be started; `error` then holds the error number.
    static std::optional<Helper> start(const std::vector<std::string>& argv, Pipe pipe, int& error);

    Helper(Helper&& other) noexcept;
    Helper& operator=(Helper&&) = delete;
    Helper(const Helper&) = delete;
    Helper& operator=(const Helper&) = delete;
    // A helper still running is killed and reaped.
    ~Helper();

    // Writes all of data to its stdin, then closes it. False on time-out or when it stopped
    // reading.
    bool writeAll(std::span<const std::uint8_t> data, Clock::time_point deadline);
    // Writes all of data to its stdin and keeps the pipe open for more.
    bool write(std::span<const std::uint8_t> data, Clock::time_point deadline);
    // Everything it writes to stdout until it closes it; nullopt on time-out. Reading stops after
    // maxBytes + 1 bytes, so more than maxBytes shows that it had more to say.
    std::optional<std::vector<std::uint8_t>> readAll(Clock::time_point deadline,
                                                     std::size_t maxBytes = SIZE_MAX - 1);
    // True when it exited with status 0 before the deadline.
    bool succeeded(Clock::time_point deadline);

private:
    Helper(pid_t pid, int fd) : pid_(pid), fd_(fd) {}
    void closePipe();
    bool writeOpen(std::span<const std::uint8_t> data, Clock::time_point deadline);

    pid_t pid_ = -1;
    int fd_ = -1;
};

} // namespace presto::subprocess
