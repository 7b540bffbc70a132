#include "platform/workbook/XlsCodec.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace rostrel::workbook {

namespace {

bool equalsIgnoreCase(const std::string& a, const char* b) {
    if (a.size() != std::strlen(b))
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
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

struct BiffError {
    uint8_t code;
    CellValue::ErrorCode value;
    const char* text;
};
constexpr BiffError kBiffErrors[] = {
    {0x00, CellValue::ErrorCode::Null, "#NULL!"},   {0x07, CellValue::ErrorCode::Div0, "#DIV/0!"},
    {0x0F, CellValue::ErrorCode::Value, "#VALUE!"}, {0x17, CellValue::ErrorCode::Ref, "#REF!"},
    {0x1D, CellValue::ErrorCode::Name, "#NAME?"},   {0x24, CellValue::ErrorCode::Num, "#NUM!"},
    {0x2A, CellValue::ErrorCode::NA, "#N/A"},       {0x2B, CellValue::ErrorCode::GettingData, "#GETTING_DATA"},
};

} // namespace

const char* errorText(CellValue::ErrorCode code) {
    for (const BiffError& e : kBiffErrors)
        if (e.value == code)
            return e.text;
    return "#N/A";
}

std::optional<CellValue::ErrorCode> errorFromText(std::string_view text) {
    for (const BiffError& e : kBiffErrors)
        if (text == e.text)
            return e.value;
    return std::nullopt;
}

namespace xls {
// Codes no writer should produce read as #N/A.
CellValue::ErrorCode errorFromBiff(uint8_t code) {
    for (const BiffError& e : kBiffErrors)
        if (e.code == code)
            return e.value;
    return CellValue::ErrorCode::NA;
}
uint8_t biffErrorCode(CellValue::ErrorCode code) {
    for (const BiffError& e : kBiffErrors)
        if (e.value == code)
            return e.code;
    return 0x2A;
}
} // namespace xls

ole::Entry& LoadedFile::stream() {
    ole::Entry* e = &doc.root;
    for (size_t i : streamPath)
        e = &e->children[i];
    return *e;
}

LoadedFile loadXls(const uint8_t* data, size_t size) {
    if (!ole::hasOleSignature(data, size)) {
        if (size >= 4 && data[1] == 0x00 && (data[0] == 0x09) && (data[2] <= 0x10))
            throw WorkbookError(WorkbookError::Code::NotOle,
                                "the file uses an old Excel format (BIFF2-4), not supported");
        if (size >= 4 && (data[0] == 0x09) && (data[1] == 0x02 || data[1] == 0x04 || data[1] == 0x08))
            throw WorkbookError(WorkbookError::Code::NotOle,
                                "the file uses an old Excel format (BIFF2-4), not supported");
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

xls::Bytes saveXls(const LoadedFile& file, xls::Bytes* newStream, std::unique_ptr<xls::Book>* readBack) {
    if (file.doc.lossy)
        throw WorkbookError(WorkbookError::Code::Damaged,
                            "the file's container is damaged and cannot be rewritten without loss: " +
                                file.doc.warnings);
    std::unique_ptr<xls::Book> checked;
    xls::Bytes stream = file.book->serialize(&checked);
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
    if (readBack)
        *readBack = std::move(checked); // set with the stream, so the two always match
    return bytes;
}

XlsCodec::XlsCodec(const FileBytes& bytes) : file_(loadXls(bytes.data(), bytes.size())) {
    written_.resize(file_.book->worksheets().size());
}

CellValue XlsCodec::cell(int sheet, int row, int column) const {
    if (row > maxRows() || column > maxColumns())
        return {};
    return file_.book->cell(sheet - 1, row - 1, column - 1);
}

void XlsCodec::forEachCell(int sheet, const std::function<void(int, int, const CellValue&)>& visit) const {
    const xls::SheetCells& cells = file_.book->sheetCells(sheet - 1);
    const std::set<uint32_t>& written = written_[sheet - 1];
    auto w = written.begin();
    auto emit = [&](uint32_t key) {
        const int row = static_cast<int>(key >> 8), col = static_cast<int>(key & 0xFF);
        const CellValue v = file_.book->cell(sheet - 1, row, col);
        if (!v.isEmpty())
            visit(row + 1, col + 1, v);
    };
    for (size_t r = 0; r < cells.rows.size() && r < static_cast<size_t>(maxRows()); ++r) {
        for (const xls::StoredCell& c : cells.rows[r]) {
            if (c.col >= maxColumns())
                continue;
            const uint32_t key = static_cast<uint32_t>(r) << 8 | c.col;
            for (; w != written.end() && *w < key; ++w)
                emit(*w);
            if (w != written.end() && *w == key)
                ++w;
            emit(key);
        }
    }
    for (; w != written.end(); ++w)
        emit(*w);
}

void XlsCodec::setCell(int sheet, int row, int column, const CellValue& value) {
    file_.book->setCell(sheet - 1, row - 1, column - 1, value);
    written_[sheet - 1].insert(static_cast<uint32_t>(row - 1) << 8 | static_cast<uint32_t>(column - 1));
}

FileBytes XlsCodec::serialize() const {
    if (!writable())
        throw WorkbookError(WorkbookError::Code::OldFormat,
                            "the workbook uses an old Excel format (BIFF5/7); it is never overwritten");
    return saveXls(file_, &savedStream_, &savedBook_);
}

void XlsCodec::markSaved() {
    // The book the save read back is the saved stream's; a fresh read would parse it again.
    std::unique_ptr<xls::Book> book = savedBook_ ? std::move(savedBook_) : std::make_unique<xls::Book>(savedStream_);
    file_.stream().data = std::move(savedStream_);
    savedStream_.clear();
    file_.book = std::move(book);
    for (auto& w : written_)
        w.clear();
}

} // namespace rostrel::workbook
