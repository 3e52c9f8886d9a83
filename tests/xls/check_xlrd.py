#!/usr/bin/env python3
"""Reads the workbooks the engine writes with xlrd, an independent reader.

Usage: check_xlrd.py <xls_make_samples> <work folder>

The sample maker writes the workbooks and manifest.json (every cell each
workbook must hold, numbers as IEEE-754 bit patterns). Every check failure
is listed; the exit code is 1 when there is any.
"""
import io
import json
import os
import shutil
import struct
import subprocess
import sys

import xlrd  # Debian: python3-xlrd; its absence is a failure, not a skip

SHEET_NAMES = ["Лист1", "Лист2", "Лист3"]
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
    return condition


def number_from_bits(bits):
    return struct.unpack(">d", bytes.fromhex(bits))[0]


def same_number(a, b):
    return struct.pack("<d", a) == struct.pack("<d", b)


def check_cells(name, sheet, cells):
    expected = {(c["row"], c["col"]): c for c in cells}
    nrows = max((r for r, _ in expected), default=-1) + 1
    ncols = max((c for _, c in expected), default=-1) + 1
    check(sheet.nrows == nrows and sheet.ncols == ncols,
          f"{name}: sheet is {sheet.nrows}x{sheet.ncols}, expected {nrows}x{ncols}")
    for (r, c), e in expected.items():
        if r >= sheet.nrows or c >= sheet.row_len(r):
            failures.append(f"{name}: cell ({r},{c}) missing")
            continue
        cell = sheet.cell(r, c)
        where = f"{name}: cell ({r},{c})"
        if e["type"] == "text":
            if check(cell.ctype == xlrd.XL_CELL_TEXT, f"{where} has type {cell.ctype}, expected text"):
                check(cell.value == e["text"],
                      f"{where} reads {cell.value[:60]!r} (length {len(cell.value)}), "
                      f"expected {e['text'][:60]!r} (length {len(e['text'])})")
        else:
            want = number_from_bits(e["bits"])
            if check(cell.ctype == xlrd.XL_CELL_NUMBER, f"{where} has type {cell.ctype}, expected number"):
                check(same_number(cell.value, want), f"{where} reads {cell.value!r}, expected {want!r}")
    # Nothing else: every other cell within the used range is empty.
    stray = 0
    for r in range(sheet.nrows):
        for c in range(sheet.row_len(r)):
            if (r, c) not in expected and sheet.cell_type(r, c) not in (xlrd.XL_CELL_EMPTY, xlrd.XL_CELL_BLANK):
                stray += 1
    check(stray == 0, f"{name}: {stray} cells hold values that were never set")


def check_workbook(folder, entry):
    name = entry["file"]
    path = os.path.join(folder, name)
    log = io.StringIO()
    try:
        # Ragged rows: rows are as long as their last cell, not padded to
        # the widest row, which keeps a sheet with a cell in IV65536 small.
        book = xlrd.open_workbook(path, logfile=log, verbosity=1, ragged_rows=True)
    except Exception as e:  # xlrd raises many types on malformed files
        failures.append(f"{name}: xlrd cannot open it: {e!r}")
        return
    for line in log.getvalue().splitlines():
        check("DIMENSIONS" not in line and "***" not in line and "WARNING" not in line,
              f"{name}: xlrd reports: {line}")
    check(book.sheet_names() == SHEET_NAMES, f"{name}: sheets {book.sheet_names()}")
    check_cells(name, book.sheet_by_index(0), entry["cells"])
    for i in (1, 2):
        check(book.sheet_by_index(i).nrows == 0, f"{name}: sheet {i + 1} is not empty")

    # Formatting: default font, column widths, cell formats.
    book = xlrd.open_workbook(path, logfile=io.StringIO(), formatting_info=True, ragged_rows=True)
    font = book.font_list[0]
    check(font.name == "Arial" and font.height == 200,
          f"{name}: font 0 is {font.name} at {font.height} twips")
    check(book.xf_list[15].parent_style_index == 0 and not book.xf_list[15].is_style,
          f"{name}: format 15 is not the default cell format")
    for s in range(book.nsheets):
        sheet = book.sheet_by_index(s)
        widths = {c: sheet.colinfo_map[c].width for c in range(256) if c in sheet.colinfo_map}
        check(len(widths) == 256 and set(widths.values()) == {2961},
              f"{name}: sheet {s + 1} column widths {sorted(set(widths.values()))} over {len(widths)} columns")
        low = [(r, c) for r in range(sheet.nrows) for c in range(sheet.row_len(r))
               if sheet.cell_type(r, c) != xlrd.XL_CELL_EMPTY and sheet.cell_xf_index(r, c) < 15]
        check(not low, f"{name}: cells with a style format index below 15: {low[:5]}")
    check(book.sheet_by_index(0).sheet_visible == 1, f"{name}: the first sheet is not the active one")


def main():
    maker, folder = sys.argv[1], sys.argv[2]
    shutil.rmtree(folder, ignore_errors=True)
    subprocess.run([maker, folder], check=True)
    with open(os.path.join(folder, "manifest.json"), encoding="utf-8") as f:
        manifest = json.load(f)

    names = [w["file"] for w in manifest["workbooks"]]
    sizes = {w["streamSize"] for w in manifest["workbooks"]}
    check({4095, 4096, 4097, 4607, 4608, 4609} <= sizes, f"stream sizes covered: {sorted(sizes)}")
    split = next(w for w in manifest["workbooks"] if w["file"] == "split.xls")
    check(any(c["type"] == "text" and len(c["text"].encode("utf-16-le")) > 8224 for c in split["cells"]),
          "no text longer than one record")

    for entry in manifest["workbooks"]:
        check_workbook(folder, entry)

    for f in failures:
        print("FAIL:", f)
    print(f"xlrd {xlrd.__VERSION__}: {len(names)} workbooks, {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
