#!/usr/bin/python3
"""Dumps .xlsx files as openpyxl reads them (cached values of formulas), one TSV per file in
the folder given first (named after the file, ".tsv" added), in the format of xlrd_dump.py: "FILE\t<path>", per worksheet "SHEET\t<n>\t<name>" and its non-empty cells as
"row\tcol\ttype\tvalue" (1-based), or "ERROR\t<message>" when openpyxl cannot read the file.

Worksheets only: chart, dialog and macro sheets are left out by their relationship type.
Numbers are printed with repr(); dates as serial day numbers in the workbook's date system;
texts longer than 256 bytes as "sha1:" and the SHA-1 of their UTF-8.
"""
import datetime
import hashlib
import os
import sys
import warnings

from openpyxl.reader.excel import ExcelReader
from openpyxl.utils.datetime import to_excel
from openpyxl.utils.escape import unescape
from openpyxl.worksheet._reader import WorksheetReader

# openpyxl empties the cells a merge covers; the values are still in the file, and are read.
WorksheetReader.bind_merged_cells = lambda self: None


def escape(s):
    return s.replace("\\", "\\\\").replace("\t", "\\t").replace("\r", "\\r").replace("\n", "\\n")


def text(s):
    # Long texts (a shared-string bomb repeats one many times) as their SHA-1.
    data = s.encode("utf-8", "surrogatepass")
    if len(data) > 256:
        return "sha1:" + hashlib.sha1(data).hexdigest()
    return escape(s)


def value(cell, epoch):
    v = cell.value
    if isinstance(v, bool):
        return "bool", "TRUE" if v else "FALSE"
    if isinstance(v, (datetime.datetime, datetime.date, datetime.time, datetime.timedelta)):
        return "date", repr(float(to_excel(v, epoch)))
    if isinstance(v, (int, float)):
        return "number", repr(float(v))
    if cell.data_type == "e":
        return "error", str(v)
    # openpyxl leaves the format's _xHHHH_ escapes in the text; spreadsheet programs decode them.
    return "text", text(unescape(str(v)))


def dump(path, out):
    out.append("FILE\t" + path)
    try:
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            reader = ExcelReader(path, read_only=False, keep_vba=False, data_only=True, keep_links=False)
            reader.read()
        wb = reader.wb
        kept = [sheet.name for sheet, rel in reader.parser.find_sheets()
                if rel.Type.endswith("/worksheet") and rel.target in reader.valid_files]
        n = 0
        for ws in wb.worksheets:
            if ws.title not in kept:
                continue
            n += 1
            out.append("SHEET\t%d\t%s" % (n, escape(ws.title)))
            for (r, c), cell in sorted(ws._cells.items()):
                if cell.value is None:
                    continue
                kind, text = value(cell, wb.epoch)
                out.append("%d\t%d\t%s\t%s" % (r, c, kind, text))
    except Exception as e:  # noqa: BLE001 - any failure is reported to the test
        out.append("ERROR\t" + escape(type(e).__name__ + ": " + str(e)))


def main():
    folder = sys.argv[1]
    for path in sys.argv[2:]:
        out = []
        dump(path, out)
        with open(os.path.join(folder, os.path.basename(path) + ".tsv"), "w", encoding="utf-8") as f:
            f.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
