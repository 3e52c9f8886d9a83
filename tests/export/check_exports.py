#!/usr/bin/env python3
"""Reads the journal exports back with independent readers.

Usage: check_exports.py <make_export_samples> <work folder>

Every export (.xls, .xlsx, .csv) of each journal must hold: the title in A1,
the captions in row 2, the rows below, each text that reads as a decimal
number with a comma (the tests run under a Russian locale) as that number
and every other text unchanged as a text. Readers: xlrd (.xls), openpyxl
(.xlsx), and LibreOffice, which converts the .xls and .xlsx exports and
imports the .csv (separator ';', quoted fields as texts, Russian numbers).
Missing readers are failures, not skips.
"""
import csv
import json
import os
import re
import shutil
import subprocess
import sys

import openpyxl  # Debian: python3-openpyxl
import xlrd      # Debian: python3-xlrd

NUMBER = re.compile(r"^\s*[+-]?(\d+(,\d*)?|,\d+)([eE][+-]?\d+)?\s*$")
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
    return condition


def expected(entry):
    """The sheet as rows of values: float for a number, str for a text."""
    rows = entry["rows"]
    width = len(rows[0])
    sheet = [[entry["title"]] + [""] * (width - 1)]
    for row in rows:
        sheet.append([float(t.strip().replace(",", ".")) if NUMBER.match(t) else t for t in row])
    return sheet


def normal(rows):
    """Empty texts and missing cells are the same; trailing ones are dropped."""
    out = []
    for row in rows:
        row = ["" if v is None else (float(v) if isinstance(v, (int, float)) and not isinstance(v, bool) else v)
               for v in row]
        while row and row[-1] == "":
            row.pop()
        out.append(row)
    while out and not out[-1]:
        out.pop()
    return out


def compare(reader, name, got, entry):
    want = normal(expected(entry))
    got = normal(got)
    if not check(len(got) == len(want), f"{reader} {name}: {len(got)} rows, expected {len(want)}"):
        return
    for r, (g, w) in enumerate(zip(got, want)):
        for c in range(max(len(g), len(w))):
            gv = g[c] if c < len(g) else ""
            wv = w[c] if c < len(w) else ""
            same = type(gv) is type(wv) and (gv == wv if isinstance(wv, str) else abs(gv - wv) < 1e-9)
            check(same, f"{reader} {name}: cell ({r + 1},{c + 1}) is {gv!r}, expected {wv!r}")


def read_xls(path):
    book = xlrd.open_workbook(path)
    sheet = book.sheet_by_index(0)
    rows = []
    for r in range(sheet.nrows):
        row = []
        for c in range(sheet.ncols):
            cell = sheet.cell(r, c)
            if cell.ctype == xlrd.XL_CELL_NUMBER:
                row.append(float(cell.value))
            elif cell.ctype in (xlrd.XL_CELL_TEXT, xlrd.XL_CELL_EMPTY, xlrd.XL_CELL_BLANK):
                row.append(cell.value or "")
            else:
                row.append(f"<type {cell.ctype}>")
        rows.append(row)
    return rows


def read_xlsx(path):
    sheet = openpyxl.load_workbook(path).worksheets[0]
    return [[cell.value for cell in row] for row in sheet.iter_rows()]


def libreoffice(folder, entries):
    soffice = shutil.which("soffice") or shutil.which("libreoffice")
    if not check(soffice, "LibreOffice (soffice) is not installed"):
        return
    stage = os.path.join(folder, "lo-in")
    out = os.path.join(folder, "lo-out")
    os.makedirs(stage)
    for e in entries:
        for suffix in ("xls", "xlsx", "csv"):
            shutil.copy(os.path.join(folder, f"{e['name']}.{suffix}"), os.path.join(stage, f"{suffix}-{e['name']}.{suffix}"))
    profile = "file://" + os.path.abspath(os.path.join(folder, "lo-profile"))
    base = [soffice, f"-env:UserInstallation={profile}", "--headless", "--norestore", "--convert-to", "xlsx",
            "--outdir", out]
    inputs = sorted(os.listdir(stage))
    books = [os.path.join(stage, f) for f in inputs if not f.endswith(".csv")]
    csvs = [os.path.join(stage, f) for f in inputs if f.endswith(".csv")]
    # CSV options: ';', '"', UTF-8, from line 1, no column types, Russian
    # numbers, quoted fields as texts, no special-number detection.
    for extra, files in (([], books), (["--infilter=CSV:59,34,76,1,,1049,true,false"], csvs)):
        run = subprocess.run(base[:-4] + extra + base[-4:] + files, capture_output=True, text=True, timeout=300)
        check(run.returncode == 0, f"LibreOffice exit {run.returncode}: {run.stderr.strip()}")
    for e in entries:
        for suffix in ("xls", "xlsx", "csv"):
            path = os.path.join(out, f"{suffix}-{e['name']}.xlsx")
            if check(os.path.exists(path), f"LibreOffice did not convert {suffix}-{e['name']}"):
                compare(f"LibreOffice ({suffix})", e["name"], read_xlsx(path), e)


def check_csv_text(folder, entry):
    """The CSV itself: a byte order mark and as many fields on every line."""
    raw = open(os.path.join(folder, entry["name"] + ".csv"), "rb").read()
    check(raw.startswith(b"\xef\xbb\xbf"), f"csv {entry['name']}: no byte order mark")
    lines = list(csv.reader(raw[3:].decode("utf-8").splitlines(), delimiter=";"))
    width = len(entry["rows"][0])
    check(all(len(line) == width for line in lines), f"csv {entry['name']}: lines of {[len(l) for l in lines]} fields")


def main():
    maker, folder = sys.argv[1], sys.argv[2]
    shutil.rmtree(folder, ignore_errors=True)
    subprocess.run([maker, folder], check=True)
    with open(os.path.join(folder, "manifest.json"), encoding="utf-8") as f:
        entries = json.load(f)["exports"]

    day = next(e for e in entries if e["name"] == "day")
    check(day["title"] == "Счетчик № 123456, Суточный журнал ", f"daily title {day['title']!r}")
    check(day["rows"][0] == ["Дата", "1 тариф", "2 тариф", "3 тариф"], f"daily captions {day['rows'][0]}")
    for e in entries:
        compare("xlrd", e["name"], read_xls(os.path.join(folder, e["name"] + ".xls")), e)
        compare("openpyxl", e["name"], read_xlsx(os.path.join(folder, e["name"] + ".xlsx")), e)
        check_csv_text(folder, e)
    check(len(read_xls(os.path.join(folder, "empty.xls"))) == 2, "the empty list's .xls has not two rows")
    libreoffice(folder, entries)

    for f in failures:
        print("FAIL:", f)
    print(f"exports: {len(entries)} journals in 3 formats, {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
