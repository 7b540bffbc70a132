// The engine's workbooks and application: files, lock files, saving, showing the file.
#include "platform/workbook/Engine.h"
#include "platform/workbook/Workbook.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace rostrel::workbook {

namespace {

[[noreturn]] void ioError(const std::string& what, int err) {
    throw WorkbookError(WorkbookError::Code::Io, what + ": " + std::strerror(err));
}

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}
std::string fileNameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool equalsIgnoreCase(const std::string& a, const char* b) {
    if (a.size() != std::strlen(b))
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

xls::Bytes readWholeFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        ioError("cannot open " + path, errno);
    xls::Bytes data;
    struct stat st{};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
        data.reserve(static_cast<size_t>(st.st_size));
    else if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        ioError("cannot read " + path, EISDIR);
    }
    uint8_t buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int err = errno;
            ::close(fd);
            ioError("cannot read " + path, err);
        }
        if (n == 0)
            break;
        data.insert(data.end(), buf, buf + n);
    }
    ::close(fd);
    return data;
}

struct Stamp {
    bool exists = false;
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    timespec mtime{};
    bool operator==(const Stamp& o) const {
        return exists == o.exists && dev == o.dev && ino == o.ino && size == o.size && mtime.tv_sec == o.mtime.tv_sec &&
               mtime.tv_nsec == o.mtime.tv_nsec;
    }
};
Stamp stampOf(const std::string& path) {
    Stamp s;
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0)
        return s;
    s.exists = true;
    s.dev = st.st_dev;
    s.ino = st.st_ino;
    s.size = st.st_size;
    s.mtime = st.st_mtim;
    return s;
}

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
std::vector<std::string> lockFields(const std::string& content) {
    std::vector<std::string> fields(1);
    for (size_t i = 0; i < content.size(); ++i) {
        const char c = content[i];
        if (c == '\\' && i + 1 < content.size()) {
            fields.back().push_back(content[++i]);
        } else if (c == ',') {
            fields.emplace_back();
        } else if (c == ';') {
            break;
        } else {
            fields.back().push_back(c);
        }
    }
    return fields;
}

constexpr const char* kLockTag = "rostrel-";

// The lock file of LibreOffice beside a document: ".~lock.NAME#", holding
// "name,user,host,DD.MM.YYYY HH:MM,profile;". This program writes an empty display name and
// "rostrel-PID" as the profile, so that it can tell its own stale locks from others'.
class LockFile {
public:
    static std::string lockPath(const std::string& path) { return folderOf(path) + "/.~lock." + fileNameOf(path) + "#"; }
    static std::string excelOwnerPath(const std::string& path) { return folderOf(path) + "/~$" + fileNameOf(path); }

    // Takes the lock; false when another program holds the document.
    bool acquire(const std::string& path) {
        release();
        if (::access(excelOwnerPath(path).c_str(), F_OK) == 0)
            return false;
        const std::string lock = lockPath(path);
        for (int attempt = 0; attempt < 2; ++attempt) {
            const int fd = ::open(lock.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
            if (fd >= 0) {
                const std::string content = lockContent();
                const bool ok = ::write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size());
                ::close(fd);
                if (!ok) {
                    ::unlink(lock.c_str());
                    return true; // a full disk: no lock, but nothing says another program has it
                }
                path_ = lock;
                return true;
            }
            if (errno != EEXIST)
                return true; // the folder cannot take a lock file; writability is checked apart
            if (attempt == 0 && isStaleOwnLock(lock))
                ::unlink(lock.c_str());
            else
                return false;
        }
        return false;
    }
    void release() {
        if (!path_.empty())
            ::unlink(path_.c_str());
        path_.clear();
    }
    bool held() const { return !path_.empty(); }
    ~LockFile() { release(); }

private:
    static std::string lockContent() {
        const std::time_t now = std::time(nullptr);
        std::tm tm{};
        ::localtime_r(&now, &tm);
        char when[32];
        std::strftime(when, sizeof when, "%d.%m.%Y %H:%M", &tm);
        return "," + lockEscape(userName()) + "," + lockEscape(hostName()) + "," + when + "," + kLockTag +
               std::to_string(::getpid()) + ";";
    }
    // A lock this program left behind when it ended without closing (same user and host, and
    // its process is gone).
    static bool isStaleOwnLock(const std::string& lock) {
        std::string content;
        if (FILE* f = std::fopen(lock.c_str(), "rb")) {
            char buf[1024];
            const size_t n = std::fread(buf, 1, sizeof buf, f);
            std::fclose(f);
            content.assign(buf, n);
        } else {
            return false;
        }
        const auto f = lockFields(content);
        if (f.size() < 5 || f[1] != userName() || f[2] != hostName() || f[4].rfind(kLockTag, 0) != 0)
            return false;
        char* end = nullptr;
        const long pid = std::strtol(f[4].c_str() + std::strlen(kLockTag), &end, 10);
        if (pid <= 0 || *end != '\0' || pid == ::getpid())
            return false;
        return ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
    }

    std::string path_;
};

bool defaultShowFile(const std::string& path) {
    const char* argv[] = {"xdg-open", path.c_str(), nullptr};
    pid_t pid;
    if (::posix_spawnp(&pid, "xdg-open", nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0)
        return false;
    std::thread([pid] {
        int status;
        ::waitpid(pid, &status, 0);
    }).detach();
    return true;
}

class ApplicationImpl;

class WorkbookImpl final : public Workbook {
public:
    WorkbookImpl(const std::string& path, ApplicationImpl* app) : path_(path), app_(app) { load(); }
    ~WorkbookImpl() override = default;

    const std::string& path() const override { return path_; }
    std::string name() const override { return fileNameOf(path_); }
    bool readOnly() const override {
        checkOpen();
        return readOnly_;
    }
    int sheetCount() const override {
        checkOpen();
        return static_cast<int>(file_.book->worksheets().size());
    }
    std::string sheetName(int index) const override {
        checkOpen();
        checkSheet(index);
        return file_.book->worksheets()[index - 1].name;
    }
    void activate(int index) override {
        checkOpen();
        checkSheet(index);
        file_.book->sheetCells(index - 1); // a damaged sheet fails here, as it is activated
        active_ = index;
    }
    int activeSheet() const override {
        checkOpen();
        return active_;
    }
    CellValue cell(int row, int column) const override {
        checkOpen();
        checkSheet(active_);
        if (row < 1 || column < 1)
            throw WorkbookError(WorkbookError::Code::BadCell, "rows and columns start at 1");
        if (row > 65536 || column > 256)
            return {};
        return file_.book->cell(active_ - 1, row - 1, column - 1);
    }
    void setCell(int row, int column, const CellValue& value) override {
        checkOpen();
        checkSheet(active_);
        if (readOnly_)
            throw WorkbookError(WorkbookError::Code::ReadOnly, "the workbook is read-only");
        if (row < 1 || column < 1 || row > 65536 || column > 256)
            throw WorkbookError(WorkbookError::Code::BadCell, "the cell lies outside an .xls sheet (65536 rows, 256 columns)");
        file_.book->setCell(active_ - 1, row - 1, column - 1, value);
    }
    void save() override {
        checkOpen();
        if (file_.book->biffVersion() != 8)
            throw WorkbookError(WorkbookError::Code::OldFormat,
                                "the workbook uses an old Excel format (BIFF5/7); it is never overwritten");
        if (readOnly_)
            throw WorkbookError(WorkbookError::Code::ReadOnly, "the workbook is read-only");
        if (!file_.book->hasEdits())
            return;
        if (changedOnDisk())
            throw WorkbookError(WorkbookError::Code::Conflict,
                                "the file was changed by another program since it was opened");
        xls::Bytes stream;
        const xls::Bytes bytes = saveXls(file_, &stream);
        writeFileAtomically(path_, bytes);
        stamp_ = stampOf(path_);
        // The file now holds the edits: its new stream is the workbook's state.
        auto book = std::make_unique<xls::Book>(stream);
        file_.stream().data = std::move(stream);
        file_.book = std::move(book);
    }
    void close() override;
    bool isClosed() const override { return closed_; }
    bool changedOnDisk() const override {
        checkOpen();
        return !(stampOf(path_) == stamp_);
    }
    void reload() override {
        checkOpen();
        const int keep = active_;
        load();
        active_ = keep <= static_cast<int>(file_.book->worksheets().size()) ? keep : 1;
    }

    void markClosed() {
        closed_ = true;
        lock_.release();
        file_ = LoadedFile();
    }

private:
    void load() {
        const Stamp before = stampOf(path_);
        xls::Bytes data = readWholeFile(path_);
        LoadedFile f = loadXls(data.data(), data.size());
        file_ = std::move(f);
        stamp_ = before;
        active_ = 1;
        bool writable = ::access(path_.c_str(), W_OK) == 0 && ::access(folderOf(path_).c_str(), W_OK) == 0;
        if (!lock_.held()) {
            const bool mine = !writable || lock_.acquire(path_);
            readOnly_ = !writable || !mine;
        } else {
            readOnly_ = !writable;
        }
    }
    void checkOpen() const {
        if (closed_)
            throw WorkbookError(WorkbookError::Code::Closed, "the workbook was closed");
    }
    void checkSheet(int index) const {
        if (index < 1 || index > static_cast<int>(file_.book->worksheets().size()))
            throw WorkbookError(WorkbookError::Code::NoSuchSheet, "the workbook has no sheet " + std::to_string(index));
    }

    std::string path_;
    ApplicationImpl* app_;
    LoadedFile file_;
    Stamp stamp_;
    LockFile lock_;
    int active_ = 1;
    bool readOnly_ = false;
    bool closed_ = false;
};

class ApplicationImpl final : public Application {
public:
    explicit ApplicationImpl(std::function<bool(const std::string&)> show) : show_(std::move(show)) {
        if (!show_)
            show_ = defaultShowFile;
    }
    ~ApplicationImpl() override { quit(); }

    int workbookCount() const override { return static_cast<int>(open_.size()); }
    Workbook& workbook(int index) override {
        if (index < 1 || index > static_cast<int>(open_.size()))
            throw WorkbookError(WorkbookError::Code::NoSuchWorkbook, "no open workbook " + std::to_string(index));
        return *open_[index - 1];
    }
    Workbook& open(const std::string& path) override {
        char* real = ::realpath(path.c_str(), nullptr);
        const std::string canonical = real ? real : path;
        std::free(real);
        for (WorkbookImpl* w : open_) {
            char* other = ::realpath(w->path().c_str(), nullptr);
            const bool same = other && canonical == other;
            std::free(other);
            if (same)
                return *w;
        }
        auto book = std::make_unique<WorkbookImpl>(path, this);
        open_.push_back(book.get());
        owned_.push_back(std::move(book));
        return *open_.back();
    }
    void setVisible(bool visible) override {
        if (visible && !open_.empty() && !show_(open_.back()->path()))
            throw WorkbookError(WorkbookError::Code::NotShown,
                                "no program could be started to show " + open_.back()->path());
    }
    void quit() override {
        for (WorkbookImpl* w : open_)
            w->markClosed();
        open_.clear();
    }
    void closed(WorkbookImpl* w) { open_.erase(std::remove(open_.begin(), open_.end(), w), open_.end()); }

private:
    std::function<bool(const std::string&)> show_;
    std::vector<std::unique_ptr<WorkbookImpl>> owned_;
    std::vector<WorkbookImpl*> open_;
};

void WorkbookImpl::close() {
    if (closed_)
        return;
    markClosed();
    if (app_)
        app_->closed(this);
}

const ole::Entry* findStream(const ole::Entry& root, std::vector<size_t>& path) {
    // "Workbook" (BIFF8) is preferred over a stale "Book" (BIFF5) left beside it.
    for (const char* name : {"Workbook", "Book"}) {
        for (size_t i = 0; i < root.children.size(); ++i) {
            const ole::Entry& e = root.children[i];
            if (!e.storage && equalsIgnoreCase(e.name, name)) {
                path = {i};
                return &e;
            }
        }
    }
    return nullptr;
}

} // namespace

ole::Entry& LoadedFile::stream() {
    ole::Entry* e = &doc.root;
    for (size_t i : streamPath)
        e = &e->children[i];
    return *e;
}

LoadedFile loadXls(const uint8_t* data, size_t size) {
    if (!ole::hasOleSignature(data, size)) {
        if (size >= 4 && data[1] == 0x00 && (data[0] == 0x09) && (data[2] <= 0x10))
            throw WorkbookError(WorkbookError::Code::NotOle, "the file uses an old Excel format (BIFF2-4), not supported");
        if (size >= 4 && (data[0] == 0x09) && (data[1] == 0x02 || data[1] == 0x04 || data[1] == 0x08))
            throw WorkbookError(WorkbookError::Code::NotOle, "the file uses an old Excel format (BIFF2-4), not supported");
        throw WorkbookError(WorkbookError::Code::NotOle, "not an Excel 97-2003 workbook");
    }
    LoadedFile f;
    f.doc = ole::read(data, size);
    for (const ole::Entry& e : f.doc.root.children) {
        if (equalsIgnoreCase(e.name, "EncryptionInfo") || equalsIgnoreCase(e.name, "EncryptedPackage"))
            throw WorkbookError(WorkbookError::Code::Encrypted, "the workbook is encrypted (password protected)");
    }
    const ole::Entry* stream = findStream(f.doc.root, f.streamPath);
    if (!stream)
        throw WorkbookError(WorkbookError::Code::NoWorkbookStream, "the file holds no Excel workbook");
    f.book = std::make_unique<xls::Book>(stream->data);
    return f;
}

xls::Bytes saveXls(const LoadedFile& file, xls::Bytes* newStream) {
    if (file.doc.lossy)
        throw WorkbookError(WorkbookError::Code::Damaged,
                            "the file's container is damaged and cannot be rewritten without loss: " + file.doc.warnings);
    xls::Bytes stream = file.book->serialize();
    // Write a copy of the document tree with the new stream in place of the old one.
    ole::Document copy;
    copy.root.storage = true;
    copy.root.hasClassId = file.doc.root.hasClassId;
    copy.root.classId = file.doc.root.classId;
    // Shallow structure copy: only the workbook stream differs. Copying 1 MB costs little next
    // to writing it.
    copy.root.children = file.doc.root.children;
    ole::Entry* e = &copy.root;
    for (size_t i : file.streamPath)
        e = &e->children[i];
    e->data = std::move(stream);
    xls::Bytes bytes = ole::write(copy);
    if (newStream)
        *newStream = std::move(e->data);
    return bytes;
}

void writeFileAtomically(const std::string& givenPath, const xls::Bytes& bytes) {
    // A roll book reached through a symbolic link is replaced where it really lies; renaming
    // over the link would leave the real file as it was.
    std::string path = givenPath;
    if (char* real = ::realpath(givenPath.c_str(), nullptr)) {
        path = real;
        std::free(real);
    }
    struct stat st{};
    const bool had = ::stat(path.c_str(), &st) == 0;
    std::string tmpl = folderOf(path) + "/." + fileNameOf(path) + ".rostrel-XXXXXX";
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    const int fd = ::mkstemp(name.data());
    if (fd < 0)
        ioError("cannot create a temporary file beside " + path, errno);
    const std::string tmp(name.data());
    auto fail = [&](const std::string& what, int err) {
        ::close(fd);
        ::unlink(tmp.c_str());
        ioError(what, err);
    };
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail("cannot write " + tmp, errno);
        }
        done += static_cast<size_t>(n);
    }
    if (had) {
        if (::fchmod(fd, st.st_mode & 07777) != 0)
            fail("cannot set permissions of " + tmp, errno);
        if (::fchown(fd, st.st_uid, st.st_gid) != 0) {
            // Another owner cannot be kept without privileges; the group is kept when possible.
            if (::fchown(fd, static_cast<uid_t>(-1), st.st_gid) != 0) {
            }
        }
    }
    if (::fsync(fd) != 0)
        fail("cannot flush " + tmp, errno);
    if (::close(fd) != 0) {
        const int err = errno;
        ::unlink(tmp.c_str());
        ioError("cannot write " + tmp, err);
    }
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        const int err = errno;
        ::unlink(tmp.c_str());
        ioError("cannot replace " + path, err);
    }
    const int dir = ::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

std::unique_ptr<Application> createApplication(std::function<bool(const std::string&)> showFile) {
    return std::make_unique<ApplicationImpl>(std::move(showFile));
}

std::unique_ptr<Workbook> openWorkbook(const std::string& path) { return std::make_unique<WorkbookImpl>(path, nullptr); }

} // namespace rostrel::workbook
