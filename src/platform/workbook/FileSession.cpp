#include "platform/workbook/FileSession.h"
#include "platform/workbook/Workbook.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace rostrel::workbook {

namespace {

[[noreturn]] void ioError(const std::string& what, int err) {
    throw WorkbookError(WorkbookError::Code::Io, what + ": " + std::strerror(err));
}
[[noreturn]] void conflict() {
    throw WorkbookError(WorkbookError::Code::Conflict, "the file was changed by another program since it was opened");
}

// Copies every extended attribute the file system lets us read and set; the access control
// list must come along (a file without it could be open to more people than before).
// Returns 0 or the errno of a list that could not be kept.
int copyAttributes(int from, int to) {
    ssize_t size = ::flistxattr(from, nullptr, 0);
    if (size <= 0)
        return 0;
    std::vector<char> names(static_cast<size_t>(size));
    size = ::flistxattr(from, names.data(), names.size());
    if (size <= 0)
        return 0;
    std::vector<char> value;
    for (const char* n = names.data(); n < names.data() + size; n += std::strlen(n) + 1) {
        const ssize_t len = ::fgetxattr(from, n, nullptr, 0);
        if (len < 0)
            continue;
        value.resize(static_cast<size_t>(len) + 1);
        const ssize_t got = ::fgetxattr(from, n, value.data(), value.size());
        if (got < 0)
            continue;
        if (::fsetxattr(to, n, value.data(), static_cast<size_t>(got), 0) != 0 &&
            std::strncmp(n, "system.posix_acl", 16) == 0)
            return errno;
    }
    return 0;
}

} // namespace

FileStamp FileStamp::of(const struct stat& st) {
    FileStamp s;
    s.exists = true;
    s.dev = st.st_dev;
    s.ino = st.st_ino;
    s.size = st.st_size;
    s.mtime = st.st_mtim;
    s.ctime = st.st_ctim;
    return s;
}

bool FileStamp::operator==(const FileStamp& o) const {
    return exists == o.exists && dev == o.dev && ino == o.ino && size == o.size && mtime.tv_sec == o.mtime.tv_sec &&
           mtime.tv_nsec == o.mtime.tv_nsec && ctime.tv_sec == o.ctime.tv_sec && ctime.tv_nsec == o.ctime.tv_nsec;
}

FileSession::FileSession(const std::string& path) {
    char* real = ::realpath(path.c_str(), nullptr);
    if (!real)
        ioError("cannot open " + path, errno);
    real_ = real;
    std::free(real);
    const auto slash = real_.rfind('/');
    name_ = real_.substr(slash + 1);
    const std::string folder = slash == 0 ? "/" : real_.substr(0, slash);
    if (name_.empty())
        ioError("cannot read " + path, EISDIR);
    dir_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir_ < 0)
        ioError("cannot open the folder of " + path, errno);
}

FileSession::~FileSession() {
    release();
    ::close(dir_);
}

std::vector<uint8_t> FileSession::read() {
    // Not following a link: the name was resolved at open, and one put there since is not
    // the file opened.
    const int fd = ::openat(dir_, name_.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        ioError("cannot open " + real_, errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int err = errno;
        ::close(fd);
        ioError("cannot read " + real_, err);
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        if (S_ISDIR(st.st_mode))
            ioError("cannot read " + real_, EISDIR);
        throw WorkbookError(WorkbookError::Code::Io, "cannot read " + real_ + ": not a regular file");
    }
    std::vector<uint8_t> data;
    data.reserve(static_cast<size_t>(st.st_size));
    uint8_t buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int err = errno;
            ::close(fd);
            ioError("cannot read " + real_, err);
        }
        if (n == 0)
            break;
        data.insert(data.end(), buf, buf + n);
    }
    ::close(fd);
    // The stamp of the very inode read: a save renaming over it meanwhile shows as a change.
    stamp_ = FileStamp::of(st);
    return data;
}

bool FileSession::changedOnDisk() const {
    struct stat st {};
    if (::fstatat(dir_, name_.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return true;
    return !(FileStamp::of(st) == stamp_);
}

bool FileSession::writable() const {
    return ::faccessat(dir_, name_.c_str(), W_OK, AT_SYMLINK_NOFOLLOW) == 0 && ::faccessat(dir_, ".", W_OK, 0) == 0;
}

bool FileSession::claim() {
    FileLockGuard guard(dir_, name_);
    if (guard.held())
        removeStaleTemps();
    return lock_.acquire(dir_, name_);
}

void FileSession::release() {
    if (!lock_.held())
        return;
    FileLockGuard guard(dir_, name_);
    lock_.release();
}

// Temporary copies left by killed saves of this roll book (and by earlier versions of the
// program, which named them ".NAME.rostrel-XXXXXX"). Only called under the OS lock, when no
// save of this file by this program is running.
void FileSession::removeStaleTemps() {
    const int fd = ::dup(dir_);
    if (fd < 0)
        return;
    DIR* d = ::fdopendir(fd);
    if (!d) {
        ::close(fd);
        return;
    }
    ::rewinddir(d);
    const std::string prefix = tempPrefix(name_);
    const std::string oldPrefix = "." + name_ + ".rostrel-";
    std::vector<std::string> stale;
    while (const dirent* e = ::readdir(d)) {
        const std::string n = e->d_name;
        if (n.rfind(prefix, 0) == 0 || (n.rfind(oldPrefix, 0) == 0 && n.size() == oldPrefix.size() + 6))
            stale.push_back(n);
    }
    ::closedir(d);
    for (const std::string& n : stale) {
        struct stat st {};
        if (::fstatat(dir_, n.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::getuid())
            ::unlinkat(dir_, n.c_str(), 0);
    }
}

void FileSession::replace(const std::vector<uint8_t>& bytes) {
    // Two processes of this program never interleave their saves of one file, even when
    // someone deleted the lock files: the second waits, then finds the stamp changed.
    FileLockGuard guard(dir_, name_);
    if (guard.timedOut())
        throw WorkbookError(WorkbookError::Code::Io, "cannot save " + real_ + ": another process is still saving it");
    struct stat st {};
    if (::fstatat(dir_, name_.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !(FileStamp::of(st) == stamp_))
        conflict();
    if (st.st_nlink > 1)
        throw WorkbookError(WorkbookError::Code::Io,
                            "cannot save " + real_ + ": the file has " + std::to_string(st.st_nlink) +
                                " hard links, and saving would split them; make it a file of its own");

    std::string tmp;
    const int fd = createTemp(dir_, tempPrefix(name_), "", tmp);
    if (fd < 0)
        ioError("cannot create a temporary file beside " + real_, errno);
    auto fail = [&](const std::string& what, int err) {
        ::close(fd);
        ::unlinkat(dir_, tmp.c_str(), 0);
        ioError(what, err);
    };
    if (!writeAll(fd, bytes.data(), bytes.size()))
        fail("cannot write " + real_, errno);
    // Owner first (changing it may clear set-id bits), then the mode, then the attributes.
    if (::fchown(fd, st.st_uid, st.st_gid) != 0)
        (void)!::fchown(fd, static_cast<uid_t>(-1), st.st_gid);
    if (::fchmod(fd, st.st_mode & 07777) != 0)
        fail("cannot set the permissions of " + real_, errno);
    const int source =
        guard.fd() >= 0 ? guard.fd() : ::openat(dir_, name_.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    const int attrErr = source >= 0 ? copyAttributes(source, fd) : 0;
    if (source >= 0 && source != guard.fd())
        ::close(source);
    if (attrErr != 0)
        fail("cannot keep the access control list of " + real_, attrErr);
    struct stat mine {};
    if (::fstat(fd, &mine) != 0)
        fail("cannot write " + real_, errno);
    if (mine.st_gid != st.st_gid && (mine.st_mode & 070) != 0 && ::fchmod(fd, mine.st_mode & 07707) != 0)
        fail("cannot set the permissions of " + real_, errno); // another group gets no access
    if (::fsync(fd) != 0)
        fail("cannot flush " + real_, errno);
    if (::close(fd) != 0) {
        const int err = errno;
        ::unlinkat(dir_, tmp.c_str(), 0);
        ioError("cannot write " + real_, err);
    }
    // Right before the rename: still the file read, unchanged (another program may have
    // written it while we were writing).
    struct stat now {};
    if (::fstatat(dir_, name_.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0 || !(FileStamp::of(now) == stamp_)) {
        ::unlinkat(dir_, tmp.c_str(), 0);
        conflict();
    }
    if (::renameat(dir_, tmp.c_str(), dir_, name_.c_str()) != 0) {
        const int err = errno;
        ::unlinkat(dir_, tmp.c_str(), 0);
        ioError("cannot replace " + real_, err);
    }
    ::fsync(dir_);
    if (::fstatat(dir_, name_.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0)
        stamp_ = FileStamp::of(now);
}

} // namespace rostrel::workbook
