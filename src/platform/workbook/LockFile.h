// Who may write a roll book: the office suites' lock files beside it, and an OS lock that
// keeps two processes of this program from interleaving their steps on one file. Internal to
// the engine's file session. Every name is relative to a folder opened once (a directory file
// descriptor), so a folder or link changed behind our back cannot redirect a step.
#pragma once

#include <string>
#include <sys/stat.h>
#include <sys/types.h>

namespace rostrel::workbook {

// An exclusive flock() on the file `name` in `dir`, for as long as the guard lives. Taken on
// the inode the name holds when the lock is granted: after a wait, a name replaced meanwhile
// (a save renamed a new file over it) is opened and locked again. Waits up to `waitMs`.
// `held()` is false when the lock could not be had: the file is missing or not a regular file,
// the file system has no such locks, or the wait ran out (`timedOut()`).
class FileLockGuard {
public:
    FileLockGuard(int dir, const std::string& name, int waitMs = 10000);
    ~FileLockGuard();
    FileLockGuard(const FileLockGuard&) = delete;
    FileLockGuard& operator=(const FileLockGuard&) = delete;

    bool held() const { return fd_ >= 0 && locked_; }
    bool timedOut() const { return timedOut_; }
    int fd() const { return fd_; } // the locked file, read-only; -1 when none

private:
    int fd_ = -1;
    bool locked_ = false;
    bool timedOut_ = false;
};

// The office lock file ".~lock.NAME#" (LibreOffice's format) that this program leaves beside
// a roll book it holds writable, and the check for others' locks (LibreOffice's, Excel's
// "~$NAME"). Callers hold the roll book's FileLockGuard around acquire() and release(), so
// that two processes of this program judge and replace a stale lock one after the other.
class LockFile {
public:
    LockFile() = default;
    ~LockFile();
    LockFile(const LockFile&) = delete;
    LockFile& operator=(const LockFile&) = delete;

    // Takes the lock for `name` in `dir`; false when another program or another live process
    // of this one holds the file. A folder that cannot take a lock file (read-only, a name too
    // long for one) gives true without a lock: writability is checked apart.
    bool acquire(int dir, const std::string& name);
    // Removes the lock file when it is still the one written by acquire().
    void release();
    bool held() const { return dir_ >= 0; }

    static std::string lockName(const std::string& name) { return ".~lock." + name + "#"; }
    static std::string excelOwnerName(const std::string& name) { return "~$" + name; }
    // The content this process writes: ",user,host,DD.MM.YYYY HH:MM,rostrel-PID-START;".
    static std::string content();
    // Whether a lock file with this content and these attributes is one this program left
    // behind: its process is gone (or the number now belongs to another process), or the
    // file is empty or unreadable and not being written just now.
    static bool isStale(const std::string& content, bool readable, const struct stat& st);

private:
    int dir_ = -1; // not owned
    std::string name_;
    std::string written_;
};

// Short names for the file session's temporary files beside a roll book: the prefix names the
// roll book by a hash (names near the 255-byte limit leave no room to repeat them).
std::string tempPrefix(const std::string& name);
// Creates a new file "<prefix><random><suffix>" in `dir` (with `mode`, less the umask), opened
// for writing; returns its fd and sets `created`. -1 with errno on failure.
int createTemp(int dir, const std::string& prefix, const std::string& suffix, std::string& created, mode_t mode = 0600);

// All of `data` written to `fd`, through short writes and interrupting signals; false on an
// error, with errno set.
bool writeAll(int fd, const void* data, size_t size);

} // namespace rostrel::workbook
