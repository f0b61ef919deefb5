"""Prints what a spreadsheet reader finds in the first sheet of an .xlsx file.

One line per cell that holds something: its reference, its type (n number,
s text, f formula, ...) and its value as JSON; then the frozen pane, the
width of each column given one and the number of sheets. Used by the tests
to check files without the library that wrote them.
"""
import json
import sys

import openpyxl

book = openpyxl.load_workbook(sys.argv[1])
sheet = book.worksheets[0]
for row in sheet.iter_rows():
    for cell in row:
        if cell.value is not None:
            print(cell.coordinate, cell.data_type, json.dumps(cell.value, ensure_ascii=False))
print("freeze", sheet.freeze_panes)
for letter, dimension in sorted(sheet.column_dimensions.items()):
    if dimension.width:
        print("width", letter, round(dimension.width))
print("sheets", len(book.worksheets))
