// The codec of a file, chosen by what the file holds, never by its name.
#include "platform/workbook/Codec.h"
#include "platform/workbook/OdsCodec.h"
#include "platform/workbook/Ole.h"
#include "platform/workbook/OoxmlCodec.h"
#include "platform/workbook/XlsCodec.h"
#include "platform/workbook/ZipPackage.h"

namespace rostrel::workbook {

std::unique_ptr<Codec> openCodec(FileBytes bytes) {
    if (ole::hasOleSignature(bytes.data(), bytes.size()))
        return std::make_unique<XlsCodec>(bytes); // an encrypted .xlsx too: refused as encrypted
    // ZIP packages: an OpenDocument spreadsheet names its type in "mimetype"; an OOXML package
    // has [Content_Types].xml. Anything else is no roll book, whatever its name.
    if (zip::looksLikeZip(bytes)) {
        const zip::Package package = zip::Package::read(bytes);
        if (package.has("mimetype"))
            return openOdsCodec(std::move(bytes));
        if (package.has("[Content_Types].xml"))
            return openOoxmlCodec(std::move(bytes));
        throw WorkbookError(WorkbookError::Code::NotOle, "the file is a ZIP archive but not a spreadsheet");
    }
    // The .xls codec names old Excel formats and plain non-workbooks.
    return std::make_unique<XlsCodec>(bytes);
}

} // namespace rostrel::workbook
