"""Prints what an office program reads from a workbook, one fact a line, for the tests to check.

Usage: dump_xlsx.py FILE.xlsx
Lines: "props title|subject|description VALUE", "sheet NAME", "freeze CELL", "filter REF",
"print ORIENTATION PAPER TITLEROWS FITWIDTH", "width COLUMN WIDTH", and for every cell
"cell REF TYPE VALUE [bold] [wrap] [fill RGB] [font RGB]" where a formula cell's TYPE is "f"
with the formula and its stored value after it ("= VALUE").
"""
import sys
import zipfile

import openpyxl


def text(value):
    return str(value).replace("\\", "\\\\").replace("\n", "\\n").replace("\r", "\\r")


def main(path):
    formulas = openpyxl.load_workbook(path)
    values = openpyxl.load_workbook(path, data_only=True)
    props = formulas.properties
    print("props title", text(props.title))
    print("props subject", text(props.subject))
    print("props description", text(props.description))
    with zipfile.ZipFile(path) as archive:
        custom = archive.read("docProps/custom.xml").decode("utf-8")
        print("custom", text(custom))
    for sheet in formulas.worksheets:
        stored = values[sheet.title]
        print("sheet", sheet.title)
        print("freeze", sheet.freeze_panes)
        print("filter", sheet.auto_filter.ref)
        setup = sheet.page_setup
        print("print", setup.orientation, setup.paperSize, sheet.print_title_rows,
              sheet.sheet_properties.pageSetUpPr.fitToPage if sheet.sheet_properties.pageSetUpPr
              else None)
        for letter, dimension in sorted(sheet.column_dimensions.items()):
            print("width", letter, dimension.width)
        for row in sheet.iter_rows():
            for cell in row:
                if cell.value is None:
                    continue
                parts = ["cell", cell.coordinate, cell.data_type, text(cell.value)]
                if cell.data_type == "f":
                    parts += ["=", text(stored[cell.coordinate].value)]
                if cell.font.b:
                    parts.append("bold")
                if cell.alignment.wrap_text:
                    parts.append("wrap")
                if cell.fill.fill_type == "solid":
                    parts += ["fill", cell.fill.fgColor.rgb]
                color = cell.font.color
                if color is not None and isinstance(color.rgb, str) and color.rgb != "FF000000":
                    parts += ["font", color.rgb]
                print(" ".join(parts))


if __name__ == "__main__":
    main(sys.argv[1])
