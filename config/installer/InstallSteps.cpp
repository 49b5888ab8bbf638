#include "config/installer/InstallSteps.h"

#include "common/FileIo.h"
#include "common/PathText.h"
#include "config/installer/ModuleFiles.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace presto::install {
namespace {

using namespace presto::modules;

// One installed file: copied from the helper's folder, or written from its generated text.
struct InstalledFile {
    std::string name; // as requests and messages name it
    const char* folder;
    std::string (*text)();
    mode_t mode;
    const char* sourceFolder = ""; // within the helper's folder
};

// In the order the installer copies them.
std::vector<InstalledFile> installedFiles() {
    std::vector<InstalledFile> files;
    for (const char* program : {kKeysProgram, kDaemonProgram, kAssistProgram})
        files.push_back({program, kInstallFolder, nullptr, 0755});
    for (const char* helper : kHelperPrograms)
        files.push_back({helper, kInstallFolder, nullptr, 0755});
    files.push_back({kAutostartEntry, kAutostartFolder, autostartEntryText, 0644});
    files.push_back({kDaemonUnit, kUnitFolder, daemonUnitText, 0644});
    files.push_back({kKeysUnit, kUnitFolder, keysUnitText, 0644});
    files.push_back({kConfigProgram, kInstallFolder, nullptr, 0755});
    files.push_back({kIconFile, kInstallFolder, nullptr, 0644});
    files.push_back({kIconFile, kIconFolder, nullptr, 0644});
    files.push_back({kApplicationEntry, kApplicationsFolder, applicationEntryText, 0644});
    files.push_back({kPolicyFile, kPolicyFolder, policyText, 0644});
    for (const char* page : kManualPages)
        files.push_back({page, kManualFolder, nullptr, 0644, kManualSource});
    files.push_back({kMetainfoFile, kMetainfoFolder, nullptr, 0644});
    return files;
}

const char* const kFolders[] = {kInstallFolder,      kUnitFolder,    kAutostartFolder,
                                kApplicationsFolder, kIconFolder,    kPolicyFolder,
                                kManualFolder,       kMetainfoFolder};

bool exists(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

// Run from the installed folder, a program is its own source.
bool sameFile(const std::string& a, const std::string& b) {
    struct stat first {
    }, second{};
    return stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

int makeFolders(const std::string& path) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1))
        if (mkdir(path.substr(0, slash).c_str(), 0755) != 0 && errno != EEXIST)
            return errno;
    if (mkdir(path.c_str(), 0755) != 0 && errno != EEXIST)
        return errno;
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

// A new file beside `path`, filled and then renamed over it: a running program keeps its old
// copy, and a link at `path` is replaced, never followed.
int replaceFile(const std::string& path, mode_t mode, const std::function<bool(int)>& fill) {
    std::string temporary = path.substr(0, path.rfind('/') + 1) + ".presto-install.XXXXXX";
    const int fd = mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return errno;
    int error = fill(fd) ? 0 : (errno ? errno : EIO);
    if (!error && fchmod(fd, mode) != 0)
        error = errno;
    if (close(fd) != 0 && !error)
        error = errno;
    if (!error && rename(temporary.c_str(), path.c_str()) != 0)
        error = errno;
    if (error)
        unlink(temporary.c_str());
    return error;
}

int copyFile(const std::string& from, const std::string& to, mode_t mode) {
    if (sameFile(from, to))
        return 0;
    const int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return errno;
    struct stat st {};
    if (fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(in);
        return EINVAL;
    }
    const int error = replaceFile(to, mode, [in](int out) {
        char buffer[65536];
        for (;;) {
            const ssize_t n = read(in, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return false;
            if (n == 0)
                return true;
            if (!writeAll(out, buffer, static_cast<std::size_t>(n)))
                return false;
        }
    });
    close(in);
    return error;
}

int install(const InstalledFile& file, const Place& place) {
    const std::string to = place.root + file.folder + file.name;
    if (!file.text)
        return copyFile(place.sources + "/" + file.sourceFolder + file.name, to, file.mode);
    const std::string text = file.text();
    return replaceFile(to, file.mode,
                       [&text](int out) { return writeAll(out, text.data(), text.size()); });
}

int removeFile(const std::string& path) {
    return unlink(path.c_str()) == 0 || errno == ENOENT ? 0 : errno;
}

// Runs `args` with no input and its standard output on `out`: the exit status, or
// kCannotExecute.
int run(std::vector<std::string> args, int out) {
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out, 1);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return kCannotExecute;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            return kCannotExecute;
    return WIFEXITED(status) ? WEXITSTATUS(status) : kCannotExecute;
}

// systemctl's output goes to our standard error: our standard output carries the answers.
int systemctl(const char* verb, const Place& place) {
    std::vector<std::string> args{"/usr/bin/systemctl", "--global"};
    if (!place.root.empty())
        args.push_back("--root=" + place.root);
    args.insert(args.end(), {verb, kDaemonUnit, kKeysUnit});
    return run(std::move(args), 2);
}

int copyNamed(const std::string& name, const Place& place) {
    bool known = false;
    int error = 0;
    for (const InstalledFile& file : installedFiles()) {
        if (file.name != name)
            continue;
        known = true;
        const int result = install(file, place);
        error = error ? error : result;
    }
    return known ? error : kBadRequest;
}

// The extensions the helper's folder carries, each into its file manager's folder.
int copyExtensions(const Place& place) {
    int error = 0;
    for (const ExtensionFile& extension : kExtensionFiles) {
        const std::string source = place.sources + "/" + kExtensionSource + extension.name;
        if (!exists(source))
            continue;
        const std::string folder = place.root + extension.folder;
        int result = makeFolders(folder.substr(0, folder.size() - 1));
        if (!result)
            result = copyFile(source, folder + extension.name, 0644);
        error = error ? error : result;
    }
    return error;
}

int removeOld(const std::string& name, const Place& place) {
    if (name != kKeysProgram && name != kAssistProgram)
        return kBadRequest;
    const std::string path = place.root + kInstallFolder + name;
    return sameFile(place.sources + "/" + name, path) ? 0 : removeFile(path);
}

int makeFolder(const std::string& folder, const Place& place) {
    for (const char* allowed : kFolders)
        if (folder == allowed)
            return makeFolders(place.root + folder.substr(0, folder.size() - 1));
    return kBadRequest;
}

// Everything installed outside the install folder, which goes as a whole.
int removeFiles(const Place& place) {
    int error = 0;
    for (const InstalledFile& file : installedFiles())
        if (std::strcmp(file.folder, kInstallFolder) != 0)
            if (const int result = removeFile(place.root + file.folder + file.name))
                error = result;
    return error;
}

// Only our own extensions: the folders belong to the file managers' bindings.
int removeExtensions(const Place& place) {
    int error = 0;
    for (const ExtensionFile& extension : kExtensionFiles)
        if (const int result = removeFile(place.root + extension.folder + extension.name))
            error = result;
    return error;
}

bool removeEntry(int parent, const char* name) {
    if (unlinkat(parent, name, 0) == 0 || errno == ENOENT)
        return true;
    if (errno != EISDIR && errno != EPERM)
        return false;
    const int fd = openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    DIR* dir = fdopendir(fd);
    if (!dir) {
        close(fd);
        return false;
    }
    std::vector<std::string> names;
    while (const dirent* entry = readdir(dir)) {
        const std::string entryName = entry->d_name;
        if (entryName != "." && entryName != "..")
            names.push_back(entryName);
    }
    bool removed = true;
    for (const std::string& entryName : names)
        removed = removeEntry(dirfd(dir), entryName.c_str()) && removed;
    closedir(dir);
    return unlinkat(parent, name, AT_REMOVEDIR) == 0 && removed;
}

} // namespace

bool removeTree(const std::string& path) {
    const int parent = open(path::parentOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parent < 0)
        return errno == ENOENT;
    const bool removed = removeEntry(parent, path::lastComponent(path).c_str());
    close(parent);
    return removed;
}

std::string packageOwner(const Place& place) {
    // dpkg's own answer, "presto: /opt/Presto/PrestoKeys" (or "presto:amd64: ..."); a system
    // without dpkg has no package.
    std::vector<std::string> args{"/usr/bin/dpkg-query", "--search",
                                  std::string(kInstallFolder) + kKeysProgram};
    if (!place.root.empty())
        args.insert(args.begin() + 1, "--root=" + place.root);
    std::FILE* answer = std::tmpfile();
    if (!answer)
        return {};
    std::string owner;
    if (run(std::move(args), fileno(answer)) == 0) {
        std::rewind(answer);
        char line[256] = {};
        if (std::fgets(line, sizeof line, answer))
            owner = std::string(line).substr(0, std::strcspn(line, ": \n"));
    }
    std::fclose(answer);
    return owner;
}

std::vector<std::string> copyOrder() {
    std::vector<std::string> names;
    for (const InstalledFile& file : installedFiles())
        if (names.empty() || names.back() != file.name)
            names.push_back(file.name);
    return names;
}

int perform(Operation operation, const std::vector<std::string>& request, const Place& place) {
    if (request.empty())
        return kBadRequest;
    const std::string& step = request[0];
    const std::string argument = request.size() == 2 ? request[1] : std::string();
    const std::size_t arity = request.size() - 1;
    if (step == "disable" && arity == 0)
        return systemctl("disable", place);
    if (operation == Operation::Install) {
        if (step == "mkdir" && arity == 1)
            return makeFolder(argument, place);
        if (step == "remove" && arity == 1)
            return removeOld(argument, place);
        if (step == "copy" && arity == 1)
            return copyNamed(argument, place);
        if (step == "extensions" && arity == 0)
            return copyExtensions(place);
        if (step == "enable" && arity == 0)
            return systemctl("enable", place);
        return kBadRequest;
    }
    if (arity != 0)
        return kBadRequest;
    if (step == "remove-folder") {
        const std::string folder = place.root + kInstallFolder;
        return removeTree(folder) ? 0 : EIO;
    }
    if (step == "remove-files")
        return removeFiles(place);
    if (step == "remove-extensions")
        return removeExtensions(place);
    return kBadRequest;
}

int performAll(Operation operation, const Place& place, std::FILE* out) {
    std::vector<std::vector<std::string>> steps;
    if (operation == Operation::Install) {
        for (const char* folder : kFolders)
            steps.push_back({"mkdir", folder});
        if (exists(place.root + kInstallFolder + kKeysProgram))
            steps.push_back({"disable"});
        steps.push_back({"remove", kKeysProgram});
        steps.push_back({"remove", kAssistProgram});
        for (const std::string& name : copyOrder())
            steps.push_back({"copy", name});
        steps.push_back({"extensions"});
        steps.push_back({"enable"});
    } else {
        steps = {{"disable"}, {"remove-folder"}, {"remove-files"}, {"remove-extensions"}};
    }
    int failed = 0;
    for (const std::vector<std::string>& step : steps) {
        // Nothing is enabled after a copy that failed.
        if (failed && step[0] == "enable")
            break;
        const int result = perform(operation, step, place);
        const bool runsSystemctl = step[0] == "enable" || step[0] == "disable";
        const std::string outcome = result == 0 ? std::string("done")
                                    : runsSystemctl
                                        ? "systemctl ended with " + std::to_string(result)
                                    : result == kBadRequest ? std::string("not a step")
                                                            : std::string(std::strerror(result));
        std::fprintf(out, "%s%s%s: %s\n", step[0].c_str(), step.size() > 1 ? " " : "",
                     step.size() > 1 ? step[1].c_str() : "", outcome.c_str());
        failed += result != 0;
    }
    std::fflush(out);
    return failed ? kExitFailed : 0;
}

} // namespace presto::install
