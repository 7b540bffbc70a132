// The engine's workbooks and application: a file session and a codec per open workbook, and
// showing the file.
#include "platform/workbook/Codec.h"
#include "platform/workbook/FileSession.h"
#include "platform/workbook/Workbook.h"

#include <algorithm>
#include <cstdlib>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace rostrel::workbook {

namespace {

std::string fileNameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

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
    WorkbookImpl(const std::string& path, ApplicationImpl* app, Access access)
        : path_(path), app_(app), access_(access), file_(std::make_unique<FileSession>(path)) {
        load();
    }
    ~WorkbookImpl() override = default;

    const std::string& path() const override { return path_; }
    std::string name() const override { return fileNameOf(path_); }
    const std::string& realPath() const { return file_->realPath(); }
    bool readOnly() const override {
        checkOpen();
        return readOnly_;
    }
    int sheetCount() const override {
        checkOpen();
        return codec_->sheetCount();
    }
    std::string sheetName(int index) const override {
        checkOpen();
        checkSheet(index);
        return codec_->sheetName(index);
    }
    void activate(int index) override {
        checkOpen();
        checkSheet(index);
        codec_->loadSheet(index); // a damaged sheet fails here, as it is activated
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
        if (row > codec_->maxRows() || column > codec_->maxColumns())
            return {};
        return codec_->cell(active_, row, column);
    }
    void forEachCell(const std::function<void(int, int, const CellValue&)>& visit) const override {
        checkOpen();
        checkSheet(active_);
        codec_->forEachCell(active_, visit);
    }
    void setCell(int row, int column, const CellValue& value) override {
        checkOpen();
        checkSheet(active_);
        if (readOnly_)
            throw WorkbookError(WorkbookError::Code::ReadOnly, "the workbook is read-only");
        if (row < 1 || column < 1 || row > codec_->maxRows() || column > codec_->maxColumns())
            throw WorkbookError(WorkbookError::Code::BadCell, std::string("the cell lies outside an .") +
                                                                  codec_->formatName() + " sheet (" +
                                                                  std::to_string(codec_->maxRows()) + " rows, " +
                                                                  std::to_string(codec_->maxColumns()) + " columns)");
        codec_->setCell(active_, row, column, value);
    }
    void save() override {
        checkOpen();
        if (!codec_->writable())
            throw WorkbookError(WorkbookError::Code::OldFormat,
                                "the workbook uses an old Excel format (BIFF5/7); it is never overwritten");
        if (readOnly_)
            throw WorkbookError(WorkbookError::Code::ReadOnly, "the workbook is read-only");
        if (!codec_->hasEdits())
            return;
        if (file_->changedOnDisk())
            throw WorkbookError(WorkbookError::Code::Conflict,
                                "the file was changed by another program since it was opened");
        file_->replace(codec_->serialize());
        codec_->markSaved();
    }
    void close() override;
    bool isClosed() const override { return closed_; }
    bool changedOnDisk() const override {
        checkOpen();
        return file_->changedOnDisk();
    }
    void reload() override {
        checkOpen();
        const int keep = active_;
        load();
        active_ = keep <= codec_->sheetCount() ? keep : 1;
    }

    void markClosed() {
        closed_ = true;
        file_->release();
        codec_.reset();
    }

private:
    void load() {
        codec_ = openCodec(file_->read());
        active_ = 1;
        if (access_ == Access::ReadOnly) {
            readOnly_ = true;
            return;
        }
        const bool writable = file_->writable();
        if (!file_->claimed()) {
            const bool mine = !writable || file_->claim();
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
        if (index < 1 || index > codec_->sheetCount())
            throw WorkbookError(WorkbookError::Code::NoSuchSheet, "the workbook has no sheet " + std::to_string(index));
    }

    std::string path_;
    ApplicationImpl* app_;
    Access access_;
    std::unique_ptr<FileSession> file_;
    std::unique_ptr<Codec> codec_;
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
        for (WorkbookImpl* w : open_)
            if (w->realPath() == canonical)
                return *w;
        auto book = std::make_unique<WorkbookImpl>(path, this, Access::ReadWrite);
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

} // namespace

std::unique_ptr<Application> createApplication(std::function<bool(const std::string&)> showFile) {
    return std::make_unique<ApplicationImpl>(std::move(showFile));
}

std::unique_ptr<Workbook> openWorkbook(const std::string& path, Access access) {
    return std::make_unique<WorkbookImpl>(path, nullptr, access);
}

} // namespace rostrel::workbook
