#!/usr/bin/python3
"""Prints what openpyxl reads from an .xlsx file as one JSON object, for the test suite to compare
with the workbook it wrote: every cell's formula and cached value, its format, the merged ranges,
column widths, row heights, comments, defined names, print ranges, page set-up, header and footer,
gridlines and the active cell. Anything openpyxl warns about is listed under "warnings"."""

import json
import sys
import warnings

import openpyxl
from openpyxl.utils import get_column_letter


def colour(c):
    if c is None or c.type != "rgb" or not isinstance(c.rgb, str):
        return None
    return c.rgb.upper()


def side(s):
    return [s.style, colour(s.color)] if s is not None and s.style else None


def cell_format(c):
    f, a = c.font, c.alignment
    return {
        "numberFormat": c.number_format,
        "font": {
            "name": f.name,
            "size": f.sz,
            "bold": bool(f.b),
            "italic": bool(f.i),
            "underline": f.u,
            "strike": bool(f.strike),
            "colour": colour(f.color),
        },
        "fill": colour(c.fill.fgColor) if c.fill is not None and c.fill.fill_type == "solid" else None,
        "border": {k: side(getattr(c.border, k)) for k in ("left", "right", "top", "bottom")},
        "horizontal": a.horizontal,
        "vertical": a.vertical,
        "wrap": bool(a.wrap_text),
        "indent": int(a.indent or 0),
        "rotation": int(a.textRotation or 0),
        "locked": bool(c.protection.locked),
    }


def main(path):
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        book = openpyxl.load_workbook(path)
        values = openpyxl.load_workbook(path, data_only=True)
    out = {"warnings": [str(w.message) for w in caught], "sheets": [], "names": []}
    out["activeSheet"] = book.index(book.active)
    for n in book.defined_names.definedName:
        out["names"].append({"name": n.name, "refersTo": n.attr_text, "sheet": n.localSheetId})
    for ws, vs in zip(book.worksheets, values.worksheets):
        sheet = {"name": ws.title, "cells": {}}
        for row in ws.iter_rows():
            for c in row:
                if isinstance(c, openpyxl.cell.cell.MergedCell):
                    # openpyxl keeps neither value nor format of the covered cells of a merge.
                    sheet["cells"][c.coordinate] = {"merged": True}
                    continue
                if c.value is None and not c.has_style:
                    continue
                v = vs[c.coordinate]
                entry = cell_format(c)
                entry["formula"] = c.value if c.data_type == "f" else None
                entry["value"] = v.value
                entry["type"] = v.data_type
                sheet["cells"][c.coordinate] = entry
        sheet["merged"] = sorted(str(r) for r in ws.merged_cells.ranges)
        sheet["columns"] = {
            k: {"width": d.width, "hidden": bool(d.hidden), "min": d.min, "max": d.max}
            for k, d in ws.column_dimensions.items()
            if d.customWidth or d.hidden
        }
        sheet["rows"] = {
            str(k): {"height": d.ht, "hidden": bool(d.hidden)}
            for k, d in ws.row_dimensions.items()
            if d.ht is not None or d.hidden
        }
        sheet["defaultRowHeight"] = ws.sheet_format.defaultRowHeight
        # openpyxl turns an empty author into the text "None".
        sheet["comments"] = {
            c.coordinate: {"text": c.comment.text, "author": "" if c.comment.author in (None, "None") else c.comment.author}
            for row in ws.iter_rows()
            for c in row
            if c.comment is not None
        }
        sheet["printArea"] = ws.print_area
        sheet["printTitleRows"] = ws.print_title_rows
        sheet["printTitleColumns"] = ws.print_title_cols
        ps, m = ws.page_setup, ws.page_margins
        sheet["page"] = {
            "paperSize": int(ps.paperSize) if ps.paperSize is not None else None,
            "orientation": ps.orientation,
            "scale": int(ps.scale) if ps.scale is not None else 100,
            "left": m.left,
            "right": m.right,
            "top": m.top,
            "bottom": m.bottom,
            "header": m.header,
            "footer": m.footer,
        }
        hf = ws.HeaderFooter
        sheet["header"] = [hf.oddHeader.left.text, hf.oddHeader.center.text, hf.oddHeader.right.text]
        sheet["footer"] = [hf.oddFooter.left.text, hf.oddFooter.center.text, hf.oddFooter.right.text]
        sheet["gridlines"] = ws.sheet_view.showGridLines is not False
        selection = ws.sheet_view.selection
        sheet["activeCell"] = selection[0].activeCell if selection else None
        sheet["lastColumn"] = get_column_letter(ws.max_column)
        out["sheets"].append(sheet)
    json.dump(out, sys.stdout, default=str)


if __name__ == "__main__":
    main(sys.argv[1])
