#!/usr/bin/python3
"""Writes an .xlsx whose one sheet part inflates to about SIZE_MB megabytes (default 100), for
measuring the memory the codec needs to read it: make_huge_xlsx.py OUT.xlsx [SIZE_MB]."""
import sys
import zipfile

NS = 'xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"'
REL = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"


def main():
    out = sys.argv[1]
    size = int(sys.argv[2]) if len(sys.argv) > 2 else 100
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("[Content_Types].xml", '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types"/>')
        z.writestr("_rels/.rels", '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
                   '<Relationship Id="r1" Type="%s/officeDocument" Target="xl/workbook.xml"/></Relationships>' % REL)
        z.writestr("xl/workbook.xml", '<workbook %s xmlns:r="%s"><sheets><sheet name="S" sheetId="1" r:id="r1"/>'
                   '</sheets></workbook>' % (NS, REL))
        z.writestr("xl/_rels/workbook.xml.rels", '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/'
                   'relationships"><Relationship Id="r1" Type="%s/worksheet" Target="worksheets/sheet1.xml"/>'
                   '</Relationships>' % REL)
        with z.open("xl/worksheets/sheet1.xml", "w", force_zip64=False) as f:
            f.write(('<worksheet %s><sheetData>' % NS).encode())
            written, row = 0, 0
            while written < size << 20:
                row += 1
                cells = "".join('<c r="%s%d"><v>%d.25</v></c>' % (col, row, row * 7 + i)
                                for i, col in enumerate("ABCDEFGH"))
                chunk = ('<row r="%d">%s</row>' % (row, cells)).encode()
                f.write(chunk)
                written += len(chunk)
            f.write(b"</sheetData></worksheet>")


if __name__ == "__main__":
    main()
