#include "daemon/FileTransfer.h"

#include "common/FileTree.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <memory>
#include <stdio.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace presto {
namespace {

constexpr std::size_t kChunk = 64u << 20;
constexpr std::size_t kWholeFile = std::size_t(1) << 62;

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
    default:
        return kIoErr;
    }
}

std::string baseName(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string joinPath(const std::string& folder, const std::string& name) {
    return folder.ends_with('/') ? folder + name : folder + "/" + name;
}

std::string realPath(const std::string& path) {
    std::unique_ptr<char, decltype(&std::free)> real(realpath(path.c_str(), nullptr), &std::free);
    return real ? std::string(real.get()) : std::string();
}

bool isWithin(const std::string& inner, const std::string& outer) {
    return !inner.empty() && !outer.empty() &&
           (inner == outer || inner.starts_with(outer == "/" ? outer : outer + "/"));
}

// A name no one else uses, for the copy in progress.
std::string temporaryName() {
    static std::atomic<unsigned> counter{0};
    std::string name = ".presto-transfer-";
    name.append(std::to_string(getpid())).append("-").append(std::to_string(++counter));
    return name.append("-").append(std::to_string(static_cast<unsigned>(random())));
}

struct Counter {
    const FileTransfer::Progress* progress;
    std::uint64_t done = 0;
    void add(std::uint64_t bytes) {
        done += bytes;
        if (progress && *progress)
            (*progress)(done);
    }
};

void keepOwnerModeTimes(int fd, const std::string& path, const struct stat& st, bool link) {
    bool owned =
        (link ? lchown(path.c_str(), st.st_uid, st.st_gid) : fchown(fd, st.st_uid, st.st_gid)) == 0;
    if (!link) {
        mode_t mode = st.st_mode & 07777;
        if (!owned)
            mode &= ~static_cast<mode_t>(S_ISUID | S_ISGID);
        fchmod(fd, mode);
    }
    const timespec times[2] = {st.st_atim, st.st_mtim};
    if (link)
        utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
    else
        futimens(fd, times);
}

int copyData(int in, int out, std::uint64_t size, Counter& counter) {
    // A file system that shares blocks copies nothing at all.
    if (ioctl(out, FICLONE, in) == 0) {
        counter.add(size);
        return 0;
    }
    posix_fadvise(in, 0, 0, POSIX_FADV_SEQUENTIAL);
    // Without anyone watching, the kernel copies the whole file in one go.
    const std::size_t chunk = counter.progress && *counter.progress ? kChunk : kWholeFile;
    bool kernelCopy = true;
    for (;;) {
        if (kernelCopy) {
            ssize_t n = copy_file_range(in, nullptr, out, nullptr, chunk, 0);
            if (n > 0) {
                counter.add(static_cast<std::uint64_t>(n));
                continue;
            }
            if (n == 0)
                return 0;
            if (errno == EINTR)
                continue;
            if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
                return errno;
            kernelCopy = false;
        }
        static thread_local std::vector<char> buffer(1u << 20);
        ssize_t n = read(in, buffer.data(), buffer.size());
        if (n == 0)
            return 0;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        for (ssize_t written = 0; written < n;) {
            ssize_t w = write(out, buffer.data() + written, static_cast<std::size_t>(n - written));
            if (w < 0) {
                if (errno == EINTR)
                    continue;
                return errno;
            }
            written += w;
        }
        counter.add(static_cast<std::uint64_t>(n));
    }
}

int copyItem(const std::string& from, const std::string& to, Counter& counter);

int copyFile(const std::string& from, const std::string& to, const struct stat& st,
             Counter& counter) {
    int in = open(from.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (in < 0)
        return errno;
    int out = open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (out < 0) {
        int error = errno;
        close(in);
        return error;
    }
    int error = copyData(in, out, static_cast<std::uint64_t>(st.st_size), counter);
    if (error == 0)
        keepOwnerModeTimes(out, to, st, false);
    if (close(out) != 0 && error == 0)
        error = errno;
    close(in);
    return error;
}

int copyFolder(const std::string& from, const std::string& to, const struct stat& st,
               Counter& counter) {
    if (mkdir(to.c_str(), 0700) != 0)
        return errno;
    DIR* dir = opendir(from.c_str());
    if (!dir)
        return errno;
    std::vector<std::string> names;
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(std::move(name));
    }
    closedir(dir);
    for (const std::string& name : names)
        if (int error = copyItem(joinPath(from, name), joinPath(to, name), counter))
            return error;
    int fd = open(to.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return errno;
    keepOwnerModeTimes(fd, to, st, false);
    close(fd);
    return 0;
}

int copyLink(const std::string& from, const std::string& to, const struct stat& st) {
    std::vector<char> target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : PATH_MAX) + 1);
    ssize_t n = readlink(from.c_str(), target.data(), target.size());
    if (n < 0)
        return errno;
    if (static_cast<std::size_t>(n) >= target.size())
        return ENAMETOOLONG; // it grew while we looked
    if (symlink(std::string(target.data(), static_cast<std::size_t>(n)).c_str(), to.c_str()) != 0)
        return errno;
    keepOwnerModeTimes(-1, to, st, true);
    return 0;
}

int copyItem(const std::string& from, const std::string& to, Counter& counter) {
    struct stat st {};
    if (lstat(from.c_str(), &st) != 0)
        return errno;
    if (S_ISREG(st.st_mode))
        return copyFile(from, to, st, counter);
    if (S_ISDIR(st.st_mode))
        return copyFolder(from, to, st, counter);
    if (S_ISLNK(st.st_mode))
        return copyLink(from, to, st);
    if (mknod(to.c_str(), st.st_mode, st.st_rdev) != 0)
        return errno;
    return 0;
}

// Puts the finished copy at `temp` in the place of whatever is at `target`. On failure the old
// item stays and the caller still owns `temp`.
int placeOver(const std::string& temp, const std::string& target) {
    if (renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EEXIST && errno != EINVAL)
        return errno;
    // The two swap places in one step, whatever their kinds; the old one then goes.
    if (renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE) == 0) {
        removeTree(temp);
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // A file system that cannot swap: the old item steps aside until the new one is in place.
    const std::string aside = joinPath(target.substr(0, target.find_last_of('/')), temporaryName());
    if (rename(target.c_str(), aside.c_str()) != 0)
        return errno == ENOENT ? (rename(temp.c_str(), target.c_str()) == 0 ? 0 : errno) : errno;
    if (rename(temp.c_str(), target.c_str()) != 0) {
        int error = errno;
        rename(aside.c_str(), target.c_str());
        return error;
    }
    removeTree(aside);
    return 0;
}

struct Plan {
    struct stat source {};
    std::string target;
    bool targetExists = false;
};

// The checks both transfers share; kNoErr when the transfer may go ahead.
OSErr prepare(const std::string& source, const std::string& destFolder, const std::string& newName,
              Plan& plan) {
    if (lstat(source.c_str(), &plan.source) != 0)
        return statusOf(errno);
    struct stat folder {};
    if (stat(destFolder.c_str(), &folder) != 0 || !S_ISDIR(folder.st_mode))
        return kDirNotFoundErr;
    const std::string name = newName.empty() ? baseName(source) : newName;
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos)
        return kBadNameErr;
    plan.target = joinPath(destFolder, name);

    struct stat existing {};
    plan.targetExists = lstat(plan.target.c_str(), &existing) == 0;
    if (plan.targetExists && existing.st_dev == plan.source.st_dev &&
        existing.st_ino == plan.source.st_ino)
        return kParamErr; // onto itself
    // A link is moved or copied as itself: where it lies counts, not where it points.
    std::string parent = source.substr(0, source.find_last_of('/') + 1);
    const std::string realSource =
        S_ISLNK(plan.source.st_mode)
            ? joinPath(realPath(parent.empty() ? "." : parent), baseName(source))
            : realPath(source);
    if (S_ISDIR(plan.source.st_mode) && isWithin(realPath(destFolder), realSource))
        return kParamErr; // into itself
    if (plan.targetExists && S_ISDIR(existing.st_mode) &&
        isWithin(realSource, realPath(plan.target)))
        return kParamErr; // replacing would delete the source with the old item
    return kNoErr;
}

OSErr copyToTemp(const std::string& source, const std::string& destFolder, std::string& temp,
                 const FileTransfer::Progress& progress) {
    Counter counter{&progress};
    for (int attempt = 0;; ++attempt) {
        temp = joinPath(destFolder, temporaryName());
        int error = copyItem(source, temp, counter);
        if (error == 0)
            return kNoErr;
        if (error == EEXIST && attempt < 10 && counter.done == 0)
            continue;
        removeTree(temp);
        return statusOf(error);
    }
}

} // namespace

std::uint64_t FileTransfer::measure(const std::string& source) {
    struct stat st {};
    if (lstat(source.c_str(), &st) != 0)
        return 0;
    if (S_ISREG(st.st_mode))
        return static_cast<std::uint64_t>(st.st_size);
    if (!S_ISDIR(st.st_mode))
        return 0;
    std::uint64_t total = 0;
    if (DIR* dir = opendir(source.c_str())) {
        while (dirent* entry = readdir(dir)) {
            std::string name = entry->d_name;
            if (name != "." && name != "..")
                total += measure(joinPath(source, name));
        }
        closedir(dir);
    }
    return total;
}

OSErr FileTransfer::copyObject(const std::string& source, const std::string& destFolder,
                               const std::string& newName, const Progress& progress) {
    Plan plan;
    if (OSErr status = prepare(source, destFolder, newName, plan))
        return status;
    std::string temp;
    if (OSErr status = copyToTemp(source, destFolder, temp, progress))
        return status;
    if (int error = placeOver(temp, plan.target)) {
        removeTree(temp);
        return statusOf(error);
    }
    return kNoErr;
}

OSErr FileTransfer::moveObject(const std::string& source, const std::string& destFolder,
                               const std::string& newName, const Progress& progress) {
    Plan plan;
    if (OSErr status = prepare(source, destFolder, newName, plan))
        return status;
    if (!plan.targetExists) {
        if (renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, plan.target.c_str(), RENAME_NOREPLACE) ==
            0)
            return kNoErr;
        if (errno != EXDEV && errno != EEXIST && errno != EINVAL)
            return statusOf(errno);
    }
    // Same file system: the item goes aside in the destination, then takes the old one's place.
    std::string temp = joinPath(destFolder, temporaryName());
    if (rename(source.c_str(), temp.c_str()) == 0) {
        if (int error = placeOver(temp, plan.target)) {
            rename(temp.c_str(), source.c_str());
            return statusOf(error);
        }
        return kNoErr;
    }
    if (errno != EXDEV)
        return statusOf(errno);
    // Across file systems: the source goes only once its copy is in place.
    if (OSErr status = copyToTemp(source, destFolder, temp, progress))
        return status;
    if (int error = placeOver(temp, plan.target)) {
        removeTree(temp);
        return statusOf(error);
    }
    return statusOf(removeTree(source));
}

} // namespace presto
