#!/usr/bin/env python3
"""Recalculates workbooks in LibreOffice and prints the results of their formulas.

    lo_recalc.py [--limit SECONDS] JOBS.json     (JOBS: {"workbooks": [PATH, ...]})

Each workbook is loaded (hidden), recalculated from scratch with calculateAll(), and every
formula cell of its first sheet is read back: {"number": x} with the exact double,
{"text": s}, or {"error": n} with LibreOffice's error number (532 is #DIV/0!, 519 #VALUE!,
32767 #N/A ...). The output, on stdout, is one JSON object:
{"workbooks": [{"cells": {"A1": {...}, ...}}, ...]} in the order given, or {"error": TEXT}.

soffice runs as tests/support/lo_session.py starts it: a private profile, a named pipe, every
wait bounded, and a watchdog that ends everything after the limit.
"""

import json
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "support"))
import lo_session  # noqa: E402  (also makes the com.sun.star modules importable)
from lo_session import column_name, fail  # noqa: E402

from com.sun.star.sheet.CellFlags import FORMULA  # noqa: E402
from com.sun.star.sheet.FormulaResult import ERROR  # noqa: E402

LIMIT_SECONDS = 120


def results(doc):
    """The results of the formula cells of the first sheet, by A1 address. Values come a block at
    a time; only the cells with an error are asked one by one, for its number."""
    sheet = doc.Sheets.getByIndex(0)
    errors = set()
    for area in sheet.queryFormulaCells(ERROR).getRangeAddresses():
        for row in range(area.StartRow, area.EndRow + 1):
            for col in range(area.StartColumn, area.EndColumn + 1):
                errors.add((col, row))
    cells = {}
    for area in sheet.queryContentCells(FORMULA).getRangeAddresses():
        data = sheet.getCellRangeByPosition(area.StartColumn, area.StartRow, area.EndColumn,
                                            area.EndRow).getDataArray()
        for r, values in enumerate(data):
            for c, value in enumerate(values):
                col, row = area.StartColumn + c, area.StartRow + r
                address = "%s%d" % (column_name(col), row + 1)
                if (col, row) in errors:
                    cells[address] = {"error": sheet.getCellByPosition(col, row).getError()}
                elif isinstance(value, str):
                    cells[address] = {"text": value}
                else:
                    cells[address] = {"number": value}
    return cells


def main():
    try:
        limit, args = lo_session.take_limit(sys.argv[1:], LIMIT_SECONDS)
        if len(args) != 1:
            fail("usage: lo_recalc.py [--limit SECONDS] JOBS.json")
        with open(args[0], encoding="utf-8") as f:
            workbooks = json.load(f)["workbooks"]
        if not isinstance(workbooks, list) or not all(isinstance(w, str) for w in workbooks):
            raise ValueError("workbooks must be a list of paths")
    except (OSError, ValueError, KeyError, TypeError) as e:
        fail("the jobs could not be read: %s" % e)
    for path in workbooks:
        if not os.path.isfile(path):
            fail("no workbook at %s" % path)

    def work(office, workdir):
        out = []
        for path in workbooks:
            doc = office.load(path)
            try:
                doc.calculateAll()
                out.append({"cells": results(doc)})
            finally:
                doc.close(True)
        return {"workbooks": out}

    lo_session.run(limit, work)


if __name__ == "__main__":
    main()
