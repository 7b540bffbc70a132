#!/usr/bin/python3
"""Dumps .ods files as python3-odf reads them, in the format of xlrd_dump.py, for the tests.

For each file: "FILE\t<path>", then per table "SHEET\t<n>\t<name>" and its non-empty cells as
"row\tcol\ttype\tvalue" (1-based), or "ERROR\t<message>" when the file cannot be read.
Blank runs of repeated rows and cells are skipped, never expanded.
"""
import datetime
import re
import sys

from odf.element import Element
from odf.namespaces import OFFICENS, TABLENS, TEXTNS
from odf.opendocument import load

CALCEXTNS = "urn:org:documentfoundation:names:experimental:calc:xmlns:calcext:1.0"
MAX_ROWS, MAX_COLS = 1048576, 16384
ERRORS = {"#NULL!", "#DIV/0!", "#VALUE!", "#REF!", "#NAME?", "#NUM!", "#N/A"}
EPOCH = datetime.date(1899, 12, 30)


def escape(s):
    return s.replace("\\", "\\\\").replace("\t", "\\t").replace("\r", "\\r").replace("\n", "\\n")


def children(node):
    return [c for c in node.childNodes if isinstance(c, Element)]


def text_of(node, out):
    for c in node.childNodes:
        if not isinstance(c, Element):
            out.append(c.data)
        elif c.qname == (TEXTNS, "s"):
            out.append(" " * int(c.attributes.get((TEXTNS, "c"), "1")))
        elif c.qname == (TEXTNS, "tab"):
            out.append("\t")
        elif c.qname == (TEXTNS, "line-break"):
            out.append("\n")
        elif c.qname[0] == TEXTNS:
            text_of(c, out)


def paragraphs(cell):
    paras = []

    def walk(node):
        for c in children(node):
            if c.qname in ((TEXTNS, "p"), (TEXTNS, "h")):
                out = []
                text_of(c, out)
                paras.append("".join(out))
            elif c.qname[0] == TEXTNS:
                walk(c)

    walk(cell)
    return paras


def date_serial(s):
    m = re.match(r"^(-?\d{4,})-(\d\d)-(\d\d)(?:T(\d\d):(\d\d):(\d\d(?:\.\d+)?))?", s)
    if not m:
        return None
    days = (datetime.date(int(m.group(1)), int(m.group(2)), int(m.group(3))) - EPOCH).days
    if m.group(4) is None:
        return float(days)
    return days + (int(m.group(4)) * 3600 + int(m.group(5)) * 60 + float(m.group(6))) / 86400.0


def duration(s):
    m = re.match(r"^(-?)P(?:(\d+(?:\.\d+)?)D)?(?:T(?:(\d+(?:\.\d+)?)H)?(?:(\d+(?:\.\d+)?)M)?(?:(\d+(?:\.\d+)?)S)?)?$", s)
    if not m:
        return None
    total = 0.0
    for group, div in ((2, 1), (3, 24), (4, 1440), (5, 86400)):
        if m.group(group) is not None:
            total += float(m.group(group)) / div
    return -total if m.group(1) else total


def value(cell):
    a = cell.attributes
    vt = a.get((OFFICENS, "value-type"), "")
    paras = paragraphs(cell)
    shown = "\n".join(paras)
    if a.get((CALCEXTNS, "value-type")) == "error":
        shown = shown or a.get((OFFICENS, "string-value"), "")
        return ("error", shown) if shown in ERRORS else ("text", escape(shown))
    if vt in ("float", "percentage", "currency"):
        try:
            return "number", repr(float(a.get((OFFICENS, "value"), "")))
        except ValueError:
            pass
    elif vt == "date":
        v = date_serial(a.get((OFFICENS, "date-value"), ""))
        if v is not None:
            return "date", repr(v)
    elif vt == "time":
        v = duration(a.get((OFFICENS, "time-value"), ""))
        if v is not None:
            return "date", repr(v)
    elif vt == "boolean":
        b = a.get((OFFICENS, "boolean-value"), "")
        if b in ("true", "1", "false", "0"):
            return "bool", "TRUE" if b in ("true", "1") else "FALSE"
    elif vt == "string":
        return "text", escape(a.get((OFFICENS, "string-value"), shown))
    if not paras and not vt:
        return None
    return "text", escape(shown)


def rows_of(table):
    for c in children(table):
        if c.qname == (TABLENS, "table-row"):
            yield c
        elif c.qname in ((TABLENS, "table-header-rows"), (TABLENS, "table-row-group"), (TABLENS, "table-rows")):
            yield from rows_of(c)


def dump_table(table, out):
    row = 1
    for r in rows_of(table):
        if row > MAX_ROWS:
            break
        rrep = int(r.attributes.get((TABLENS, "number-rows-repeated"), "1"))
        cells = []
        col = 1
        for c in children(r):
            if c.qname not in ((TABLENS, "table-cell"), (TABLENS, "covered-table-cell")):
                continue
            crep = int(c.attributes.get((TABLENS, "number-columns-repeated"), "1"))
            v = value(c)
            if v is not None:
                for k in range(col, min(col + crep, MAX_COLS + 1)):
                    cells.append((k, v))
            col += crep
        if cells:
            for rr in range(row, min(row + rrep, MAX_ROWS + 1)):
                for k, (kind, text) in cells:
                    out.append("%d\t%d\t%s\t%s" % (rr, k, kind, text))
        row += rrep


def dump(path, out):
    out.append("FILE\t" + path)
    try:
        doc = load(path)
        n = 0
        for t in children(doc.spreadsheet):
            if t.qname != (TABLENS, "table"):
                continue
            n += 1
            out.append("SHEET\t%d\t%s" % (n, escape(t.attributes.get((TABLENS, "name"), ""))))
            dump_table(t, out)
    except Exception as e:  # noqa: BLE001 - any failure is reported to the test
        out.append("ERROR\t" + escape(type(e).__name__ + ": " + str(e)))


def main():
    out = []
    for path in sys.argv[1:]:
        dump(path, out)
    sys.stdout.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
