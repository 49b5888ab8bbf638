#include "daemon/FileTransfer.h"

#include "common/FileTree.h"
#include "common/PathText.h"
#include "common/UniqueFd.h"
#include "daemon/Log.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <linux/fs.h>
#include <memory>
#include <stdio.h>
#include <stop_token>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace presto {
namespace {

// The most copied between two looks at a stop request: a stop is seen within a moment even on a
// slow disk.
constexpr std::size_t kChunk = 4u << 20;

OSErr statusOf(int error) {
    switch (error) {
    case 0:
        return kNoErr;
    case ENOENT:
        return kFileNotFoundErr;
    case EACCES:
    case EPERM:
    case EROFS:
        return kAccessDeniedErr;
    case ENOSPC:
    case EDQUOT:
        return kDiskFullErr;
    case ENAMETOOLONG:
        return kBadNameErr;
    case EINVAL:
        return kParamErr;
    case ESTALE:
        return kFileBusyErr;
    case EEXIST:
        return kDuplicateNameErr;
    case ECANCELED:
        return kUserCanceledErr;
    default:
        return kIoErr;
    }
}

std::string realPath(const std::string& path) {
    std::unique_ptr<char, decltype(&std::free)> real(realpath(path.c_str(), nullptr), &std::free);
    return real ? std::string(real.get()) : std::string();
}

// The folder that holds `path` and the item's name in it; false for the root.
bool splitPath(const std::string& path, std::string& folder, std::string& name) {
    folder = path::parentOf(path);
    name = path::lastComponent(path);
    if (name.empty() || name == "." || name == "..") {
        const std::string real = realPath(path::withoutFinalSlashes(path));
        return !real.empty() && real != "/" && splitPath(real, folder, name);
    }
    return true;
}

std::string joinPath(const std::string& folder, const std::string& name) {
    return folder.ends_with('/') ? folder + name : folder + "/" + name;
}

bool isWithin(const std::string& inner, const std::string& outer) {
    return !inner.empty() && !outer.empty() &&
           (inner == outer || inner.starts_with(outer == "/" ? outer : outer + "/"));
}

// A name no one else uses, for the copy in progress.
std::string temporaryName() {
    static std::atomic<unsigned> counter{0};
    return ".presto-transfer-" + std::to_string(getpid()) + "-" + std::to_string(++counter) + "-" +
           std::to_string(arc4random());
}

struct Job {
    const FileTransfer::Options& options;
    std::uint64_t done = 0;
    struct stat root {}; // the source item as it was copied
    // What the two file systems turned out not to offer is not asked again for each file.
    bool clone = true;
    bool kernelCopy = true;

    bool stopped() const { return options.stop.stop_requested(); }
    void add(std::uint64_t bytes) {
        done += bytes;
        if (bytes && options.progress)
            options.progress(done);
    }
    void step(FileTransfer::Step step) const {
        if (options.onStep)
            options.onStep(step);
    }
};

void keepOwnerModeTimes(int fd, const struct stat& st) {
    mode_t mode = st.st_mode & 07777;
    if (fchown(fd, st.st_uid, st.st_gid) != 0)
        mode &= ~static_cast<mode_t>(S_ISUID | S_ISGID);
    fchmod(fd, mode);
    const timespec times[2] = {st.st_atim, st.st_mtim};
    futimens(fd, times);
}

// For what cannot be opened: links and special files. Another user's ownership cannot be kept
// unless we are root; the copy stands all the same, as with cp -p.
void keepOwnerTimesAt(int dirFd, const std::string& name, const struct stat& st) {
    [[maybe_unused]] const int owned =
        fchownat(dirFd, name.c_str(), st.st_uid, st.st_gid, AT_SYMLINK_NOFOLLOW);
    const timespec times[2] = {st.st_atim, st.st_mtim};
    utimensat(dirFd, name.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

bool writeAllAt(int fd, const char* data, std::size_t size, off_t offset) {
    while (size > 0) {
        ssize_t w = pwrite(fd, data, size, offset);
        if (w < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += w;
        size -= static_cast<std::size_t>(w);
        offset += w;
    }
    return true;
}

std::vector<char>& buffer() {
    static thread_local std::vector<char> bytes(1u << 20);
    return bytes;
}

// Copies the bytes [offset, end) of `in` to the same place in `out`. A file that ends early (it
// shrank meanwhile) ends the range.
int copyRange(int in, int out, off_t offset, off_t end, Job& job, bool& kernelCopy) {
    while (offset < end) {
        if (job.stopped())
            return ECANCELED;
        const std::size_t want = static_cast<std::size_t>(std::min<off_t>(end - offset, kChunk));
        ssize_t n;
        if (kernelCopy) {
            loff_t from = offset, to = offset;
            n = copy_file_range(in, &from, out, &to, want, 0);
            if (n < 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS ||
                          errno == EOPNOTSUPP || errno == EBADF)) {
                kernelCopy = false;
                continue;
            }
        } else {
            std::vector<char>& bytes = buffer();
            n = pread(in, bytes.data(), std::min(want, bytes.size()), offset);
            if (n > 0 && !writeAllAt(out, bytes.data(), static_cast<std::size_t>(n), offset))
                return errno;
        }
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            return 0;
        offset += n;
        job.add(static_cast<std::uint64_t>(n));
    }
    return 0;
}

// For files that tell their size only by being read (those of /proc and /sys say 0).
int copyStream(int in, int out, Job& job) {
    std::vector<char>& bytes = buffer();
    for (off_t offset = 0;;) {
        if (job.stopped())
            return ECANCELED;
        ssize_t n = read(in, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        if (n == 0)
            return 0;
        if (!writeAllAt(out, bytes.data(), static_cast<std::size_t>(n), offset))
            return errno;
        offset += n;
        job.add(static_cast<std::uint64_t>(n));
    }
}

int copyData(int in, int out, const struct stat& st, Job& job) {
    if (st.st_size == 0)
        return copyStream(in, out, job);
    // A file system that shares blocks copies nothing at all, holes included.
    if (job.clone) {
        if (ioctl(out, FICLONE, in) == 0) {
            job.add(static_cast<std::uint64_t>(st.st_size));
            return 0;
        }
        job.clone = errno != EOPNOTSUPP && errno != ENOTTY && errno != EXDEV && errno != EINVAL;
    }
    if (st.st_size > off_t(kChunk))
        posix_fadvise(in, 0, 0, POSIX_FADV_SEQUENTIAL);
    // Fewer blocks than bytes: it has holes, and only the data between them is copied.
    if (st.st_blocks * 512 >= st.st_size)
        return copyRange(in, out, 0, st.st_size, job, job.kernelCopy);
    off_t position = 0;
    for (;;) {
        off_t data = lseek(in, position, SEEK_DATA);
        off_t hole = -1;
        if (data >= 0)
            hole = lseek(in, data, SEEK_HOLE);
        else if (errno == ENXIO)
            break; // nothing but a hole up to the end
        else
            data = position, hole = st.st_size; // no way to tell holes: all of it is data
        if (hole <= data)
            break;
        job.add(static_cast<std::uint64_t>(data - position));
        if (int error = copyRange(in, out, data, hole, job, job.kernelCopy))
            return error;
        position = hole;
    }
    const off_t end = lseek(in, 0, SEEK_END);
    if (end < 0)
        return errno;
    if (end > position)
        job.add(static_cast<std::uint64_t>(end - position));
    return ftruncate(out, end) == 0 ? 0 : errno;
}

int openSourceFile(int dirFd, const std::string& name) {
    // Not blocking: a FIFO put in the file's place must not hang the copy in open.
    int fd = openat(dirFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    // A lease holder is asked to let go of the file: wait for it as any reader would.
    if (fd < 0 && errno == EWOULDBLOCK)
        fd = openat(dirFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
    return fd;
}

int copyEntry(int fromDir, const std::string& from, int toDir, const std::string& to, Job& job,
              bool top);

int copyFile(int fromDir, const std::string& from, int toDir, const std::string& to, Job& job,
             bool top) {
    UniqueFd in(openSourceFile(fromDir, from));
    if (!in)
        return errno;
    struct stat st {};
    if (fstat(in.get(), &st) != 0)
        return errno;
    if (!S_ISREG(st.st_mode))
        return ESTALE; // swapped for something else since it was looked at
    if (top) {
        job.root = st;
        job.step(FileTransfer::Step::SourceOpened);
    }
    UniqueFd out(
        openat(toDir, to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!out)
        return errno;
    int error = copyData(in.get(), out.get(), st, job);
    if (error == 0)
        keepOwnerModeTimes(out.get(), st);
    if (close(out.release()) != 0 && error == 0)
        error = errno;
    return error;
}

int copyFolder(int fromDir, const std::string& from, int toDir, const std::string& to, Job& job,
               bool top) {
    UniqueFd source(openat(fromDir, from.c_str(),
                           O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    if (!source)
        return errno;
    struct stat st {};
    if (fstat(source.get(), &st) != 0)
        return errno;
    if (top) {
        job.root = st;
        job.step(FileTransfer::Step::SourceOpened);
    }
    if (mkdirat(toDir, to.c_str(), 0700) != 0)
        return errno;
    UniqueFd copy(openat(toDir, to.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!copy)
        return errno;
    std::vector<std::string> names;
    if (int error = listFolder(source.get(), names))
        return error;
    for (const std::string& name : names)
        if (int error = copyEntry(source.get(), name, copy.get(), name, job, false))
            return error;
    keepOwnerModeTimes(copy.get(), st);
    return 0;
}

int copyLink(int fromDir, const std::string& from, int toDir, const std::string& to,
             const struct stat& st) {
    std::vector<char> target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : PATH_MAX) + 1);
    ssize_t n = readlinkat(fromDir, from.c_str(), target.data(), target.size());
    if (n < 0)
        return errno;
    if (static_cast<std::size_t>(n) >= target.size())
        return ENAMETOOLONG; // it grew while we looked
    target[static_cast<std::size_t>(n)] = 0;
    if (symlinkat(target.data(), toDir, to.c_str()) != 0)
        return errno;
    keepOwnerTimesAt(toDir, to, st);
    return 0;
}

int copyEntry(int fromDir, const std::string& from, int toDir, const std::string& to, Job& job,
              bool top) {
    if (job.stopped())
        return ECANCELED;
    struct stat st {};
    if (fstatat(fromDir, from.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        // One that went after the listing is not part of the copy; the item itself must be.
        return errno == ENOENT && !top ? 0 : errno;
    int error;
    if (S_ISREG(st.st_mode))
        error = copyFile(fromDir, from, toDir, to, job, top);
    else if (S_ISDIR(st.st_mode))
        error = copyFolder(fromDir, from, toDir, to, job, top);
    else {
        if (top) {
            job.root = st;
            job.step(FileTransfer::Step::SourceOpened);
        }
        if (S_ISLNK(st.st_mode))
            return copyLink(fromDir, from, toDir, to, st);
        if (mknodat(toDir, to.c_str(), st.st_mode, st.st_rdev) != 0)
            return errno;
        // mknod's mode passed through our umask; the copy is made either way.
        [[maybe_unused]] const int moded = fchmodat(toDir, to.c_str(), st.st_mode & 07777, 0);
        keepOwnerTimesAt(toDir, to, st);
        return 0;
    }
    return error == ENOENT && !top ? 0 : error;
}

int measureEntry(int dirFd, const std::string& name, std::uint64_t& total,
                 const std::stop_token& stop) {
    if (stop.stop_requested())
        return ECANCELED;
    struct stat st {};
    if (fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno;
    if (S_ISREG(st.st_mode))
        total += static_cast<std::uint64_t>(st.st_size);
    if (!S_ISDIR(st.st_mode))
        return 0;
    UniqueFd fd(
        openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    if (!fd)
        return errno;
    std::vector<std::string> names;
    if (int error = listFolder(fd.get(), names))
        return error;
    for (const std::string& child : names) {
        int error = measureEntry(fd.get(), child, total, stop);
        if (error != 0 && error != ENOENT)
            return error;
    }
    return 0;
}

void logLeftover(int dirFd, const std::string& name, int error) {
    char self[64];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", dirFd);
    char folder[PATH_MAX] = "?";
    ssize_t n = readlink(self, folder, sizeof folder - 1);
    folder[n > 0 ? n : 1] = 0;
    logLine(std::string(getCharSysTime()) + " Presto.daemon the replaced item stays as " + folder +
            "/" + name + ": error " + std::to_string(error) + "\n");
}

// Renames without replacing anything: an item that took the name since the question stays.
int renameNew(int fromDir, const std::string& from, int toDir, const std::string& to) {
    if (renameat2(fromDir, from.c_str(), toDir, to.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL)
        return errno;
    struct stat st {};
    if (fstatat(toDir, to.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
        return EEXIST;
    return renameat(fromDir, from.c_str(), toDir, to.c_str()) == 0 ? 0 : errno;
}

// Puts the item at (fromDir, from) in the place of the one at (toDir, to), which then goes. The
// old item is never left under a hidden name unless it cannot even be put back.
int replaceWith(int fromDir, const std::string& from, int toDir, const std::string& to) {
    struct stat item {
    }, old{};
    if (fstatat(fromDir, from.c_str(), &item, AT_SYMLINK_NOFOLLOW) != 0)
        return errno;
    if (fstatat(toDir, to.c_str(), &old, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? renameNew(fromDir, from, toDir, to) : errno;
    if (!S_ISDIR(item.st_mode) && !S_ISDIR(old.st_mode))
        return renameat(fromDir, from.c_str(), toDir, to.c_str()) == 0 ? 0 : errno;
    // The two swap places in one step; the old one then goes from where the new one was.
    if (renameat2(fromDir, from.c_str(), toDir, to.c_str(), RENAME_EXCHANGE) == 0) {
        if (int error = removeTreeAt(fromDir, from, old))
            logLeftover(fromDir, from, error);
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // A file system that cannot swap: the old item steps aside until the new one is in place.
    const std::string aside = temporaryName();
    if (renameat(toDir, to.c_str(), toDir, aside.c_str()) != 0)
        return errno;
    if (renameat(fromDir, from.c_str(), toDir, to.c_str()) != 0) {
        int error = errno;
        if (renameat(toDir, aside.c_str(), toDir, to.c_str()) != 0)
            logLeftover(toDir, aside, errno);
        return error;
    }
    if (int error = removeTreeAt(toDir, aside, old))
        logLeftover(toDir, aside, error);
    return 0;
}

struct Plan {
    UniqueFd sourceFolder;
    std::string sourceName;
    struct stat source {};
    UniqueFd destFolder;
    struct stat dest {};
    std::string target;
    bool targetExists = false;
};

// Opens both folders and makes the checks both transfers share; kNoErr when it may go ahead.
OSErr prepare(const std::string& source, const std::string& destFolder, const std::string& newName,
              Plan& plan) {
    std::string folder;
    if (!splitPath(source, folder, plan.sourceName))
        return kParamErr;
    plan.sourceFolder.reset(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!plan.sourceFolder || fstatat(plan.sourceFolder.get(), plan.sourceName.c_str(),
                                      &plan.source, AT_SYMLINK_NOFOLLOW) != 0)
        return statusOf(errno == ENOTDIR ? ENOENT : errno);
    plan.destFolder.reset(open(destFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!plan.destFolder || fstat(plan.destFolder.get(), &plan.dest) != 0)
        return errno == ENOENT || errno == ENOTDIR ? kDirNotFoundErr : statusOf(errno);
    plan.target = newName.empty() ? plan.sourceName : newName;
    if (plan.target == "." || plan.target == ".." || plan.target.find('/') != std::string::npos)
        return kBadNameErr;

    struct stat existing {};
    plan.targetExists =
        fstatat(plan.destFolder.get(), plan.target.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0;
    if (plan.targetExists && existing.st_dev == plan.source.st_dev &&
        existing.st_ino == plan.source.st_ino)
        return kParamErr; // onto itself
    // A link is moved or copied as itself: where it lies counts, not where it points.
    const std::string realSource = S_ISLNK(plan.source.st_mode)
                                       ? joinPath(realPath(folder), plan.sourceName)
                                       : realPath(source);
    if (S_ISDIR(plan.source.st_mode) && isWithin(realPath(destFolder), realSource))
        return kParamErr; // into itself
    if (plan.targetExists && S_ISDIR(existing.st_mode) &&
        isWithin(realSource, realPath(joinPath(destFolder, plan.target))))
        return kParamErr; // replacing would delete the source with the old item
    return kNoErr;
}

// The copy under a temporary name in the destination; on failure nothing of it is left.
int copyToTemp(const Plan& plan, Job& job, std::string& temp) {
    const int dir = plan.destFolder.get();
    struct stat st {};
    for (int attempt = 0;; ++attempt) {
        temp = temporaryName();
        if (fstatat(dir, temp.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            break;
        if (attempt == 10)
            return EEXIST; // leftovers of earlier daemons, none of them ours to remove
    }
    int error;
    {
        // A stop removes the partial copy at once, on the stopping thread, even while this one
        // waits in the kernel for a slow source.
        std::stop_callback removeOnStop(job.options.stop, [&] { removeTreeAt(dir, temp); });
        error = copyEntry(plan.sourceFolder.get(), plan.sourceName, dir, temp, job, true);
    }
    if (error == 0 && job.stopped())
        error = ECANCELED; // the copy may be gone already
    if (error != 0)
        removeTreeAt(dir, temp);
    return error;
}

int placeCopy(const Plan& plan, Job& job, const std::string& temp) {
    job.step(FileTransfer::Step::BeforePlacing);
    const int dir = plan.destFolder.get();
    int error = plan.targetExists ? replaceWith(dir, temp, dir, plan.target)
                                  : renameNew(dir, temp, dir, plan.target);
    if (error != 0)
        removeTreeAt(dir, temp);
    return error;
}

} // namespace

OSErr FileTransfer::measure(const std::string& source, std::uint64_t& bytes, std::stop_token stop) {
    bytes = 0;
    std::string folder, name;
    if (!splitPath(source, folder, name))
        return kParamErr;
    UniqueFd fd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd)
        return statusOf(errno == ENOTDIR ? ENOENT : errno);
    return statusOf(measureEntry(fd.get(), name, bytes, stop));
}

OSErr FileTransfer::copyObject(const std::string& source, const std::string& destFolder,
                               const std::string& newName, const Options& options) {
    Plan plan;
    if (OSErr status = prepare(source, destFolder, newName, plan))
        return status;
    Job job{options};
    std::string temp;
    if (int error = copyToTemp(plan, job, temp))
        return statusOf(error);
    return statusOf(placeCopy(plan, job, temp));
}

OSErr FileTransfer::moveObject(const std::string& source, const std::string& destFolder,
                               const std::string& newName, const Options& options) {
    Plan plan;
    if (OSErr status = prepare(source, destFolder, newName, plan))
        return status;
    Job job{options};
    if (plan.source.st_dev == plan.dest.st_dev) {
        // One file system: the item itself goes, in one step.
        job.step(Step::BeforePlacing);
        const int from = plan.sourceFolder.get(), to = plan.destFolder.get();
        int error = plan.targetExists ? replaceWith(from, plan.sourceName, to, plan.target)
                                      : renameNew(from, plan.sourceName, to, plan.target);
        if (error != EXDEV)
            return statusOf(error);
    }
    // Across file systems: the source goes only once its copy is in place, and only while it is
    // the item that was copied (removed through the folder opened at the start, never by path).
    std::string temp;
    if (int error = copyToTemp(plan, job, temp))
        return statusOf(error);
    if (int error = placeCopy(plan, job, temp))
        return statusOf(error);
    job.step(Step::BeforeRemovingSource);
    return statusOf(removeTreeAt(plan.sourceFolder.get(), plan.sourceName, job.root));
}

} // namespace presto
