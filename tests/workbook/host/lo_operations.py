#!/usr/bin/env python3
"""Runs structural operations on a workbook in LibreOffice and prints what the sheet looks like.

    lo_operations.py JOBS.json            (JOBS: {"workbook": PATH, "sequences": [{"name", "operations"}]})
    lo_operations.py BOOK.xls OP [OP ...] (one sequence, named "command line")

An operation is one of
    copy AREA             copy a cell area ("J6:J19") or whole rows ("13:14", "18")
    insert AREA right     insert the copied cells at AREA, the cells there moving right
    insert ROWS down      insert the copied rows at ROWS, the rows there moving down
    delete ROWS up        delete whole rows, the rows below moving up

"Insert copied cells" is carried out with LibreOffice's own cell movements, the way its paste
with "shift cells" works inside: "copy" puts a copy of the area on a scratch sheet at the same
place (XCellRangeMovement.copyRange), so its formulas are frozen as they were when copied, the
way a clipboard holds them; "insert" opens room of the copied size at the target with
insertCells (cells moving right, or whole rows moving down), which adjusts every reference,
name, print range and merge of the sheet, and then copies the scratch cells into the room with
copyRange, which moves their relative references by the distance from source to target. The
scratch sheet is removed before the sheet is read. (The dispatcher route, .uno:Copy followed by
.uno:InsertContents with a MoveMode, does the same thing, but the headless 7.x builds abort in a
timer shortly after a copy to the clipboard, so it cannot be relied on here.) Deleting rows
uses XCellRangeMovement.removeRange with whole rows.

Each sequence starts from a fresh load of the workbook. The output, on stdout, is one JSON
object: {"sequences": [{"name", "cells", "names", "sheetNames", "printAreas", "titleRows",
"titleColumns", "merged", "comments"}]} or {"error": TEXT}; cells maps A1 addresses to
{"formula": getFormula() text} or {"number": x} / {"text": s}.

soffice runs as tests/support/lo_session.py starts it: a private profile, a named pipe, every
wait bounded, and a watchdog that ends everything after --limit seconds.
"""

import json
import os
import re
import shutil
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "support"))
import lo_session  # noqa: E402  (also makes the com.sun.star modules importable)
from lo_session import column_name, fail  # noqa: E402

from com.sun.star.sheet.CellDeleteMode import ROWS as DELETE_ROWS  # noqa: E402
from com.sun.star.sheet.CellInsertMode import RIGHT as INSERT_RIGHT  # noqa: E402
from com.sun.star.sheet.CellInsertMode import ROWS as INSERT_ROWS  # noqa: E402
from com.sun.star.table import CellAddress  # noqa: E402
from com.sun.star.table import CellRangeAddress  # noqa: E402

LIMIT_SECONDS = 90
SCRATCH = "markwell_copied_cells"


def column_index(letters):
    n = 0
    for ch in letters.upper():
        if not "A" <= ch <= "Z":
            raise ValueError("not a column: %r" % letters)
        n = n * 26 + (ord(ch) - ord("A") + 1)
    return n - 1


def a1(col, row):
    return "%s%d" % (column_name(col), row + 1)


def range_text(addr, max_col, max_row):
    """A CellRangeAddress as A1 text: whole rows as "12:12", whole columns as "B:B"."""
    if addr.StartColumn == 0 and addr.EndColumn >= max_col:
        return "%d:%d" % (addr.StartRow + 1, addr.EndRow + 1)
    if addr.StartRow == 0 and addr.EndRow >= max_row:
        return "%s:%s" % (column_name(addr.StartColumn), column_name(addr.EndColumn))
    first = a1(addr.StartColumn, addr.StartRow)
    last = a1(addr.EndColumn, addr.EndRow)
    return first if first == last else first + ":" + last


def cell_address(sheet, col, row):
    a = CellAddress()
    a.Sheet, a.Column, a.Row = sheet, col, row
    return a


def range_address(sheet, first_col, first_row, last_col, last_row):
    a = CellRangeAddress()
    a.Sheet, a.StartColumn, a.StartRow, a.EndColumn, a.EndRow = sheet, first_col, first_row, last_col, last_row
    return a


class Run:
    """One loaded workbook and the operations on its first sheet."""

    def __init__(self, office, path):
        self.office = office
        self.doc = office.load(path)
        self.sheet = self.doc.Sheets.getByIndex(0)
        self.max_col = self.sheet.Columns.Count - 1
        self.max_row = self.sheet.Rows.Count - 1
        self.copied = None  # the copied cells on the scratch sheet

    def address(self, text):
        """The range address of "J6:J19", "J6", or whole rows "13:14" / "18" on the first sheet."""
        parts = text.split(":")
        if all(p.isdigit() for p in parts):
            first, last = int(parts[0]) - 1, int(parts[-1]) - 1
            if not 0 <= first <= last <= self.max_row:
                raise ValueError("rows out of the sheet: %r" % text)
            return self.sheet.getCellRangeByPosition(0, first, self.max_col, last).getRangeAddress()
        return self.sheet.getCellRangeByName(text).getRangeAddress()

    def scratch(self):
        sheets = self.doc.Sheets
        if not sheets.hasByName(SCRATCH):
            sheets.insertNewByName(SCRATCH, sheets.getCount())
        return sheets.getByName(SCRATCH).getRangeAddress().Sheet

    def apply(self, operation):
        words = operation.split()
        if len(words) == 2 and words[0] == "copy":
            source = self.address(words[1])
            scratch = self.scratch()
            self.sheet.copyRange(cell_address(scratch, source.StartColumn, source.StartRow), source)
            self.copied = range_address(scratch, source.StartColumn, source.StartRow, source.EndColumn,
                                        source.EndRow)
        elif len(words) == 3 and words[0] == "insert" and words[2] in ("right", "down"):
            if self.copied is None:
                raise ValueError("%r: nothing has been copied" % operation)
            at = self.address(words[1])
            width = self.copied.EndColumn - self.copied.StartColumn
            height = self.copied.EndRow - self.copied.StartRow
            room = range_address(0, at.StartColumn, at.StartRow, at.StartColumn + width, at.StartRow + height)
            whole_rows = words[2] == "down" and at.StartColumn == 0 and width >= self.max_col
            if words[2] == "down" and not whole_rows:
                raise ValueError("%r: only whole rows are inserted moving down here" % operation)
            self.sheet.insertCells(room, INSERT_ROWS if whole_rows else INSERT_RIGHT)
            self.sheet.copyRange(cell_address(0, at.StartColumn, at.StartRow), self.copied)
        elif len(words) == 3 and words[0] == "delete" and words[2] == "up":
            self.sheet.removeRange(self.address(words[1]), DELETE_ROWS)
        else:
            raise ValueError("unknown operation: %r" % operation)

    def finish(self):
        if self.doc.Sheets.hasByName(SCRATCH):
            self.doc.Sheets.removeByName(SCRATCH)

    def dump(self):
        sheet = self.sheet
        cursor = sheet.createCursor()
        cursor.gotoEndOfUsedArea(False)
        end = cursor.getRangeAddress()
        last_col, last_row = end.EndColumn, end.EndRow
        whole = sheet.getCellRangeByPosition(0, 0, last_col, last_row)
        formulas = whole.getFormulaArray()
        data = whole.getDataArray()
        cells = {}
        for r in range(last_row + 1):
            for c in range(last_col + 1):
                f = formulas[r][c]
                d = data[r][c]
                if f.startswith("="):
                    cells[a1(c, r)] = {"formula": f}
                elif isinstance(d, float):
                    cells[a1(c, r)] = {"number": d}
                elif d != "":
                    cells[a1(c, r)] = {"text": d}

        # Merged areas: narrow down to the rows holding a merge's top-left cell, then the cells.
        merged = []
        for r in range(last_row + 1):
            if not sheet.getCellRangeByPosition(0, r, last_col, r).getIsMerged():
                continue
            for c in range(last_col + 1):
                cell = sheet.getCellRangeByPosition(c, r, c, r)
                if cell.getIsMerged():
                    cur = sheet.createCursorByRange(cell)
                    cur.collapseToMergedArea()
                    merged.append(range_text(cur.getRangeAddress(), self.max_col, self.max_row))

        names = {}
        for n in self.doc.NamedRanges.ElementNames:
            names[n] = self.doc.NamedRanges.getByName(n).getContent()
        sheet_names = {}
        local = sheet.getPropertyValue("NamedRanges")
        for n in local.ElementNames:
            sheet_names[n] = local.getByName(n).getContent()

        comments = []
        annotations = sheet.getAnnotations()
        for i in range(annotations.getCount()):
            pos = annotations.getByIndex(i).getPosition()
            comments.append(a1(pos.Column, pos.Row))

        return {
            "cells": cells,
            "names": names,
            "sheetNames": sheet_names,
            "printAreas": [range_text(a, self.max_col, self.max_row) for a in sheet.getPrintAreas()],
            "titleRows": range_text(sheet.TitleRows, self.max_col, self.max_row) if sheet.PrintTitleRows else "",
            "titleColumns":
                range_text(sheet.TitleColumns, self.max_col, self.max_row) if sheet.PrintTitleColumns else "",
            "merged": merged,
            "comments": comments,
        }

    def close(self):
        try:
            self.doc.close(True)
        except Exception:
            pass


OPERATION = re.compile(r"^(copy ([A-Z]{1,3}[0-9]+(:[A-Z]{1,3}[0-9]+)?|[0-9]+(:[0-9]+)?)"
                       r"|insert ([A-Z]{1,3}[0-9]+ right|[0-9]+(:[0-9]+)? down)"
                       r"|delete [0-9]+(:[0-9]+)? up)$")


def check_operations(sequences):
    """Every operation is one this script knows, or the run stops before soffice starts."""
    for seq in sequences:
        if not isinstance(seq.get("name"), str) or not isinstance(seq.get("operations"), list):
            raise ValueError("a sequence needs a name and a list of operations: %r" % (seq,))
        for op in seq["operations"]:
            if not isinstance(op, str) or not OPERATION.match(op):
                raise ValueError("unknown operation %r in %r" % (op, seq["name"]))


def read_jobs(argv):
    if len(argv) == 1:
        with open(argv[0], encoding="utf-8") as f:
            jobs = json.load(f)
        return jobs["workbook"], jobs["sequences"]
    if len(argv) >= 2:
        return argv[0], [{"name": "command line", "operations": argv[1:]}]
    fail("usage: lo_operations.py JOBS.json | BOOK.xls OPERATION...")


def main():
    try:
        limit, args = lo_session.take_limit(sys.argv[1:], LIMIT_SECONDS)
        workbook, sequences = read_jobs(args)
        check_operations(sequences)
    except (OSError, ValueError, KeyError, TypeError, AttributeError) as e:
        fail("the operations could not be read: %s" % e)
    if not os.path.isfile(workbook):
        fail("no workbook at %s" % workbook)

    def work(office, workdir):
        # Loaded from a private copy, so no lock file is left beside the caller's workbook.
        book = os.path.join(workdir, "book" + os.path.splitext(workbook)[1])
        shutil.copyfile(workbook, book)
        results = []
        for seq in sequences:
            run = Run(office, book)
            try:
                for op in seq["operations"]:
                    run.apply(op)
                run.finish()
                entry = run.dump()
            finally:
                run.close()
            entry["name"] = seq["name"]
            results.append(entry)
        return {"sequences": results}

    lo_session.run(limit, work)


if __name__ == "__main__":
    main()
