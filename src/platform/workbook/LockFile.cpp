#include "platform/workbook/LockFile.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/random.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace rostrel::workbook {

namespace {

constexpr const char* kLockTag = "rostrel-";
// An empty or unreadable lock younger than this may still be being written by its owner.
constexpr time_t kLockGraceSeconds = 2;

std::string userName() {
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_name)
        return pw->pw_name;
    if (const char* u = std::getenv("USER"))
        return u;
    return "user";
}
std::string hostName() {
    char buf[256] = {};
    if (::gethostname(buf, sizeof buf - 1) != 0)
        return "localhost";
    return buf;
}
// LibreOffice's lock files escape its separators with a backslash.
std::string lockEscape(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == ',' || c == ';' || c == '\\')
            out.push_back('\\');
        out.push_back(c);
    }
    return out;
}
// The fields of a lock line; empty when it is not one (no terminating ';').
std::vector<std::string> lockFields(const std::string& content) {
    std::vector<std::string> fields(1);
    for (size_t i = 0; i < content.size(); ++i) {
        const char c = content[i];
        if (c == '\\' && i + 1 < content.size()) {
            fields.back().push_back(content[++i]);
        } else if (c == ',') {
            fields.emplace_back();
        } else if (c == ';') {
            return fields;
        } else {
            fields.back().push_back(c);
        }
    }
    return {};
}

// The start time of a process in clock ticks since boot (field 22 of /proc/PID/stat); 0 when
// there is no such process.
unsigned long long startTicks(long pid) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%ld/stat", pid);
    FILE* f = std::fopen(path, "re");
    if (!f)
        return 0;
    char buf[1024];
    const size_t n = std::fread(buf, 1, sizeof buf - 1, f);
    std::fclose(f);
    buf[n] = '\0';
    // The command name in parentheses may hold blanks and parentheses itself.
    const char* p = std::strrchr(buf, ')');
    if (!p)
        return 0;
    ++p;
    for (int field = 3; field < 22 && *p; ++field) {
        while (*p == ' ')
            ++p;
        while (*p && *p != ' ')
            ++p;
    }
    return std::strtoull(p, nullptr, 10);
}
std::string commandName(long pid) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%ld/comm", pid);
    FILE* f = std::fopen(path, "re");
    if (!f)
        return {};
    char buf[64] = {};
    const size_t n = std::fread(buf, 1, sizeof buf - 1, f);
    std::fclose(f);
    std::string s(buf, n);
    while (!s.empty() && s.back() == '\n')
        s.pop_back();
    return s;
}
bool processExists(long pid) {
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH;
}

// Reads at most a few kilobytes of a lock file without following links or blocking on a FIFO.
bool readLock(int dir, const std::string& name, std::string& content, struct stat& st, bool& readable) {
    readable = false;
    if (::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    if (!S_ISREG(st.st_mode))
        return true;
    const int fd = ::openat(dir, name.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return true;
    char buf[4096];
    ssize_t n;
    do {
        n = ::read(fd, buf, sizeof buf);
    } while (n < 0 && errno == EINTR);
    ::close(fd);
    if (n < 0)
        return true;
    content.assign(buf, static_cast<size_t>(n));
    readable = true;
    return true;
}

} // namespace

FileLockGuard::FileLockGuard(int dir, const std::string& name, int waitMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    for (;;) {
        fd_ = ::openat(dir, name.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
        if (fd_ < 0)
            return;
        struct stat mine {};
        if (::fstat(fd_, &mine) != 0 || !S_ISREG(mine.st_mode)) {
            ::close(fd_);
            fd_ = -1;
            return;
        }
        while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            if (errno == EINTR)
                continue;
            if (errno != EWOULDBLOCK)
                return; // no such locks here (some network file systems): go on without
            if (std::chrono::steady_clock::now() >= deadline) {
                timedOut_ = true;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        // Granted: still the file the name holds? A save renames a new file over the one we
        // waited on; its lock excludes nobody.
        struct stat now {};
        if (::fstatat(dir, name.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 && now.st_dev == mine.st_dev &&
            now.st_ino == mine.st_ino) {
            locked_ = true;
            return;
        }
        ::close(fd_);
        fd_ = -1;
        if (std::chrono::steady_clock::now() >= deadline) {
            timedOut_ = true;
            return;
        }
    }
}

FileLockGuard::~FileLockGuard() {
    if (fd_ >= 0)
        ::close(fd_); // releases the flock
}

LockFile::~LockFile() {
    release();
}

std::string LockFile::content() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    ::localtime_r(&now, &tm);
    char when[32];
    std::strftime(when, sizeof when, "%d.%m.%Y %H:%M", &tm);
    const long pid = ::getpid();
    return "," + lockEscape(userName()) + "," + lockEscape(hostName()) + "," + when + "," + kLockTag +
           std::to_string(pid) + "-" + std::to_string(startTicks(pid)) + ";";
}

bool LockFile::isStale(const std::string& content, bool readable, const struct stat& st) {
    if (!S_ISREG(st.st_mode))
        return false; // a FIFO, a link, a folder: nobody's lock we can judge
    const auto f = lockFields(content);
    if (!readable || f.size() < 5) {
        // Empty or garbled: not another program's lock (theirs are written whole). Ours when
        // it belongs to this user and has had time to be filled.
        return st.st_uid == ::getuid() && std::time(nullptr) - st.st_mtim.tv_sec > kLockGraceSeconds;
    }
    if (f[1] != userName() || f[2] != hostName() || f[4].rfind(kLockTag, 0) != 0)
        return false; // another program's, or ours on another computer: cannot be probed
    const char* p = f[4].c_str() + std::strlen(kLockTag);
    char* end = nullptr;
    const long pid = std::strtol(p, &end, 10);
    if (pid <= 0 || end == p)
        return true;
    if (*end == '-') {
        // The process number and its start time name one process: a number reused by another
        // process (after a restart) has another start time.
        const char* q = end + 1;
        const unsigned long long start = std::strtoull(q, &end, 10);
        if (end == q || *end != '\0')
            return true;
        return !processExists(pid) || startTicks(pid) != start;
    }
    if (*end != '\0')
        return true;
    // An older lock without the start time: the process must be this program.
    if (pid == ::getpid())
        return false;
    return !processExists(pid) || commandName(pid).rfind("rostrel", 0) != 0;
}

bool LockFile::acquire(int dir, const std::string& name) {
    release();
    struct stat st {};
    if (::fstatat(dir, excelOwnerName(name).c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
        return false;
    const std::string lock = lockName(name);
    if (lock.size() > NAME_MAX)
        return true; // no lock file possible; other programs cannot make one either
    const std::string text = content();
    std::string tmp;
    const int fd = createTemp(dir, tempPrefix(name), ".lock", tmp, 0644); // others must read who holds it
    if (fd < 0)
        return true; // the folder cannot take a lock file
    const bool written = writeAll(fd, text.data(), text.size());
    ::close(fd);
    if (!written) {
        ::unlinkat(dir, tmp.c_str(), 0);
        return true; // a full disk: no lock, but nothing says another program has it
    }
    // The lock appears whole or not at all: linked in under its name, which fails when one
    // exists. Replacing a stale one is safe because the caller holds the roll book's OS lock.
    bool tmpLeft = true;
    auto place = [&]() -> int {
        if (::linkat(dir, tmp.c_str(), dir, lock.c_str(), 0) == 0)
            return 0;
        if (errno == EEXIST)
            return EEXIST;
        const int err = errno;
        // No hard links here (some removable media): renamed in when none exists.
        struct stat probe {};
        if (::fstatat(dir, lock.c_str(), &probe, AT_SYMLINK_NOFOLLOW) == 0)
            return EEXIST;
        if (::renameat(dir, tmp.c_str(), dir, lock.c_str()) == 0) {
            tmpLeft = false;
            return 0;
        }
        return err;
    };
    int result = place();
    if (result == EEXIST) {
        std::string existing;
        bool readable = false;
        struct stat lst {};
        if (readLock(dir, lock, existing, lst, readable) && isStale(existing, readable, lst)) {
            ::unlinkat(dir, lock.c_str(), 0);
            result = place();
        }
    }
    if (tmpLeft)
        ::unlinkat(dir, tmp.c_str(), 0);
    if (result == EEXIST)
        return false;
    if (result != 0)
        return true; // the folder cannot take a lock file
    dir_ = dir;
    name_ = lock;
    written_ = text;
    return true;
}

void LockFile::release() {
    if (dir_ < 0)
        return;
    // Someone may have removed our lock and another holder written its own: leave that one.
    std::string existing;
    bool readable = false;
    struct stat st {};
    if (readLock(dir_, name_, existing, st, readable) && readable && existing == written_)
        ::unlinkat(dir_, name_.c_str(), 0);
    dir_ = -1;
    name_.clear();
    written_.clear();
}

std::string tempPrefix(const std::string& name) {
    uint64_t h = 1469598103934665603ull; // FNV-1a
    for (unsigned char c : name) {
        h ^= c;
        h *= 1099511628211ull;
    }
    char buf[40];
    std::snprintf(buf, sizeof buf, ".~rostrel-%016llx-", static_cast<unsigned long long>(h));
    return buf;
}

int createTemp(int dir, const std::string& prefix, const std::string& suffix, std::string& created, mode_t mode) {
    static const char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        unsigned char r[8];
        if (::getrandom(r, sizeof r, 0) != static_cast<ssize_t>(sizeof r))
            for (auto& b : r)
                b = static_cast<unsigned char>(std::rand());
        std::string name = prefix;
        for (unsigned char b : r)
            name.push_back(kChars[b % (sizeof kChars - 1)]);
        name += suffix;
        const int fd = ::openat(dir, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0) {
            created = name;
            return fd;
        }
        if (errno != EEXIST)
            return -1;
    }
    errno = EEXIST;
    return -1;
}

bool writeAll(int fd, const void* data, size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, bytes + done, size - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

} // namespace rostrel::workbook
