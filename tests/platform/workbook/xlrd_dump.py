#!/usr/bin/python3
"""Dumps .xls files as xlrd reads them, in the format of `rostrel-book dump`, for the tests.

For each file: "FILE\t<path>", then per worksheet "SHEET\t<n>\t<name>" and its non-empty cells
as "row\tcol\ttype\tvalue" (1-based), or "ERROR\t<message>" when xlrd cannot read the file.
Numbers are printed with repr(), which round-trips exactly.
"""
import sys
import xlrd

KIND = {
    xlrd.XL_CELL_NUMBER: "number",
    xlrd.XL_CELL_DATE: "date",
    xlrd.XL_CELL_TEXT: "text",
    xlrd.XL_CELL_BOOLEAN: "bool",
    xlrd.XL_CELL_ERROR: "error",
}


def escape(s):
    return s.replace("\\", "\\\\").replace("\t", "\\t").replace("\r", "\\r").replace("\n", "\\n")


def value(cell):
    t = cell.ctype
    if t in (xlrd.XL_CELL_NUMBER, xlrd.XL_CELL_DATE):
        return repr(float(cell.value))
    if t == xlrd.XL_CELL_TEXT:
        return escape(cell.value)
    if t == xlrd.XL_CELL_BOOLEAN:
        return "TRUE" if cell.value else "FALSE"
    return xlrd.error_text_from_code.get(cell.value, "#ERR%02X" % cell.value)


def dump(path, out):
    out.append("FILE\t" + path)
    try:
        book = xlrd.open_workbook(path, on_demand=True, logfile=open("/dev/null", "w"))
        for n in range(book.nsheets):
            sheet = book.sheet_by_index(n)
            out.append("SHEET\t%d\t%s" % (n + 1, escape(sheet.name)))
            for r in range(sheet.nrows):
                for c, cell in enumerate(sheet.row(r)):
                    if cell.ctype in KIND:
                        out.append("%d\t%d\t%s\t%s" % (r + 1, c + 1, KIND[cell.ctype], value(cell)))
            book.unload_sheet(n)
    except Exception as e:  # noqa: BLE001 - any failure is reported to the test
        out.append("ERROR\t" + escape(type(e).__name__ + ": " + str(e)))


def main():
    out = []
    for path in sys.argv[1:]:
        dump(path, out)
    sys.stdout.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
