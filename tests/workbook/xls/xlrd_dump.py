"""Prints a workbook as read by xlrd in the canonical line format of the .xls tests.

Usage: xlrd_dump.py FILE. One line per non-empty cell, merged range, comment and defined name.
"""
import sys

import xlrd


def esc(text):
    return text.replace("\\", "\\\\").replace("\n", "\\n").replace("\r", "\\r")


def main(path):
    book = xlrd.open_workbook(path, formatting_info=True)
    out = []
    for si in range(book.nsheets):
        sheet = book.sheet_by_index(si)
        for r in range(sheet.nrows):
            for c in range(sheet.ncols):
                cell = sheet.cell(r, c)
                if cell.ctype == xlrd.XL_CELL_TEXT:
                    out.append("cell %d %d %d t %s" % (si, r, c, esc(cell.value)))
                elif cell.ctype == xlrd.XL_CELL_NUMBER:
                    out.append("cell %d %d %d n %.17g" % (si, r, c, cell.value))
                elif cell.ctype == xlrd.XL_CELL_BOOLEAN:
                    out.append("cell %d %d %d b %d" % (si, r, c, cell.value))
                elif cell.ctype == xlrd.XL_CELL_ERROR:
                    out.append("cell %d %d %d e %d" % (si, r, c, cell.value))
        for rlo, rhi, clo, chi in sheet.merged_cells:
            out.append("merge %d %d %d %d %d" % (si, rlo, rhi - 1, clo, chi - 1))
        for (r, c), note in sheet.cell_note_map.items():
            out.append("note %d %d %d %s" % (si, r, c, esc(note.text)))
    for name in book.name_obj_list:
        out.append("name %s %d" % (name.name, name.scope))
    for line in sorted(out):
        print(line)


if __name__ == "__main__":
    main(sys.argv[1])
