#!/usr/bin/env python3
"""Reads a journal export written by the engine with Gnumeric and LibreOffice.

Usage: check_second_reader.py <xls_make_samples> <work folder>

Each reader that is installed converts export.xls to CSV (values must match
the manifest) and to its own format, where the page setup is checked. When
neither is installed the check is skipped (exit code 77).
"""
import csv
import gzip
import json
import os
import re
import shutil
import struct
import subprocess
import sys
import xml.etree.ElementTree as ET

SHEET_NAMES = ["Лист1", "Лист2", "Лист3"]
CM = 72 / 2.54  # points per centimetre
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
    return condition


def expected_rows(entry):
    rows = {}
    for c in entry["cells"]:
        if c["type"] == "text":
            value = c["text"]
        else:
            value = struct.unpack(">d", bytes.fromhex(c["bits"]))[0]
        rows.setdefault(c["row"], {})[c["col"]] = value
    return rows


def check_csv(reader, path, entry):
    with open(path, encoding="utf-8", newline="") as f:
        table = list(csv.reader(f))
    expected = expected_rows(entry)
    check(len(table) == max(expected) + 1, f"{reader}: {len(table)} CSV rows, expected {max(expected) + 1}")
    for r, cols in expected.items():
        line = table[r] if r < len(table) else []
        for c, want in cols.items():
            got = line[c] if c < len(line) else None
            if isinstance(want, str):
                check(got == want, f"{reader}: cell ({r},{c}) reads {got!r}, expected {want!r}")
            else:
                try:
                    ok = float(got) == want
                except (TypeError, ValueError):
                    ok = False
                check(ok, f"{reader}: cell ({r},{c}) reads {got!r}, expected {want!r}")


def gnumeric(folder, entry):
    src = os.path.join(folder, entry["file"])
    out_csv = os.path.join(folder, "gnumeric.csv")
    out_xml = os.path.join(folder, "gnumeric.gnumeric")
    for out in (out_csv, out_xml):
        run = subprocess.run(["ssconvert", src, out], capture_output=True, text=True)
        print(f"ssconvert -> {os.path.basename(out)}: exit {run.returncode} {run.stderr.strip()}")
        if not check(run.returncode == 0 and os.path.exists(out), f"gnumeric: conversion to {out} failed"):
            return
    check_csv("gnumeric", out_csv, entry)

    ns = {"gnm": "http://www.gnumeric.org/v10.dtd"}
    root = ET.fromstring(gzip.open(out_xml).read())
    sheets = root.findall("gnm:Sheets/gnm:Sheet", ns)
    check([s.findtext("gnm:Name", namespaces=ns) for s in sheets] == SHEET_NAMES, "gnumeric: sheet names")
    for s in sheets:
        name = s.findtext("gnm:Name", namespaces=ns)
        pi = s.find("gnm:PrintInformation", ns)
        margins = {m.tag.split("}")[1]: float(m.get("Points")) for m in pi.find("gnm:Margins", ns)}
        # Gnumeric keeps the distances from the edges: top and bottom are the
        # page margins, header and footer those of the header and footer.
        want = {"top": 2.67 * CM, "bottom": 2.67 * CM, "left": 2 * CM, "right": 2 * CM,
                "header": 2 * CM, "footer": 2 * CM}
        for k, v in want.items():
            check(abs(margins.get(k, -1) - v) < 0.01, f"gnumeric {name}: margin {k} {margins.get(k)} pt, expected {v:.2f}")
        scale = pi.find("gnm:Scale", ns)
        check(scale.get("type") == "percentage" and scale.get("percentage") == "100", f"gnumeric {name}: scale {scale.attrib}")
        check(pi.findtext("gnm:orientation", namespaces=ns) == "portrait", f"gnumeric {name}: not portrait")
        check(pi.findtext("gnm:paper", namespaces=ns) == "iso_a4", f"gnumeric {name}: paper {pi.findtext('gnm:paper', namespaces=ns)}")
        header = pi.find("gnm:Header", ns).attrib
        footer = pi.find("gnm:Footer", ns).attrib
        # Gnumeric does not interpret font codes, so only the centred texts
        # (sheet name; "Страница " and the page number) are checked here.
        check(header.get("Left") == "" and header.get("Right") == "" and header.get("Middle", "").endswith("&[TAB]"),
              f"gnumeric {name}: header {header}")
        check(footer.get("Left") == "" and footer.get("Right") == "" and footer.get("Middle", "").endswith("Страница &[PAGE]"),
              f"gnumeric {name}: footer {footer}")
        print(f"gnumeric {name}: margins {margins}, scale {scale.get('percentage')} %, "
              f"{pi.findtext('gnm:orientation', namespaces=ns)}, {pi.findtext('gnm:paper', namespaces=ns)}, "
              f"header {header.get('Middle')!r}, footer {footer.get('Middle')!r}")


def libreoffice(program, folder, entry):
    src = os.path.join(folder, entry["file"])
    profile = "file://" + os.path.join(os.path.abspath(folder), "lo-profile")
    base = [program, f"-env:UserInstallation={profile}", "--headless", "--norestore"]
    for target in ("csv:Text - txt - csv (StarCalc):44,34,76,1", "fods"):
        run = subprocess.run(base + ["--convert-to", target, "--outdir", folder, src],
                             capture_output=True, text=True, timeout=240)
        print(f"{os.path.basename(program)} --convert-to {target.split(':')[0]}: exit {run.returncode} "
              f"{run.stdout.strip()} {run.stderr.strip()}")
    stem = os.path.splitext(src)[0]
    if not check(os.path.exists(stem + ".csv") and os.path.exists(stem + ".fods"), "libreoffice: conversion failed"):
        return
    check_csv("libreoffice", stem + ".csv", entry)

    text = open(stem + ".fods", encoding="utf-8").read()
    names = re.findall(r'<table:table table:name="([^"]*)"', text)
    check(names == SHEET_NAMES, f"libreoffice: sheet names {names}")
    layouts = re.findall(r"<style:page-layout-properties ([^>]*)/>", text)
    check(layouts, "libreoffice: no page layout")
    for props in layouts:
        attrs = dict(re.findall(r'([\w:-]+)="([^"]*)"', props))
        check(attrs.get("style:print-orientation") == "portrait", f"libreoffice: orientation {attrs}")
        check(attrs.get("style:scale-to") == "100%", f"libreoffice: scale {attrs.get('style:scale-to')}")
        for side in ("left", "right"):
            check(attrs.get(f"fo:margin-{side}") == "0.7874in", f"libreoffice: margin {side} {attrs.get(f'fo:margin-{side}')}")
        # Calc writes no page size when it is its default, A4.
        check(attrs.get("fo:page-width", "8.2677in") == "8.2677in", f"libreoffice: page width {attrs.get('fo:page-width')}")
        print(f"libreoffice page layout: {props}")
    styles = {m.group(1): m.group(2) for m in re.finditer(
        r'<style:style style:name="(T\d+)" style:family="text">\s*<style:text-properties ([^>]*)/>', text)}
    for part, field in (("header", r"<text:sheet-name>"), ("footer", r"Страница </text:span>.*?<text:page-number>")):
        blocks = re.findall(rf"<style:{part}>(.*?)</style:{part}>", text, re.S)
        check(len(blocks) == 3, f"libreoffice: {len(blocks)} {part}s")
        for b in blocks:
            check(re.search(field, b, re.S), f"libreoffice: {part} content {b.strip()}")
            for span in re.findall(r'text:style-name="(T\d+)"', b):
                props = styles.get(span, "")
                check('style:font-name="Times New Roman"' in props and 'fo:font-size="12pt"' in props,
                      f"libreoffice: {part} font {props}")
        print(f"libreoffice {part}: {blocks[0].strip() if blocks else None}")


def main():
    maker, folder = sys.argv[1], sys.argv[2]
    ssconvert = shutil.which("ssconvert")
    soffice = shutil.which("soffice") or shutil.which("libreoffice")
    if not ssconvert and not soffice:
        print("skipped: neither Gnumeric (ssconvert) nor LibreOffice (soffice) is installed")
        return 77
    shutil.rmtree(folder, ignore_errors=True)
    subprocess.run([maker, folder], check=True)
    with open(os.path.join(folder, "manifest.json"), encoding="utf-8") as f:
        entry = next(w for w in json.load(f)["workbooks"] if w["file"] == "export.xls")

    if ssconvert:
        gnumeric(folder, entry)
    else:
        print("Gnumeric: skipped (ssconvert not installed)")
    if soffice:
        libreoffice(soffice, folder, entry)
    else:
        print("LibreOffice: skipped (soffice not installed)")

    for f in failures:
        print("FAIL:", f)
    print(f"second readers: {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
