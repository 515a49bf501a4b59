"""Reads a file that Kelvo exported with a reader Kelvo did not write, and prints its
cells in one plain form: a line per row (header first), cells separated by U+001F,
Null as <null>, numbers in their shortest form, dates in ISO form, Booleans as
true/false. Usage: read_export.py FORMAT FILE [SHEET or, for text, DELIMITER]."""
import datetime
import sys


def plain(value):
    if value is None:
        return "<null>"
    if isinstance(value, bool):
        return "true" if value else "false"
    if isinstance(value, int):
        return str(value)
    if isinstance(value, float):
        return str(int(value)) if value.is_integer() else repr(value)
    if isinstance(value, datetime.datetime):
        if value.time() == datetime.time(0):
            return value.date().isoformat()
        return value.isoformat(sep=" ")
    if isinstance(value, datetime.date):
        return value.isoformat()
    return str(value).replace("\\", "\\\\").replace("\r", "\\r").replace("\n", "\\n")


def read_text(path, delimiter):
    import csv
    import io
    with open(path, "rb") as stream:
        data = stream.read()
    if not data.startswith(b"\xef\xbb\xbf"):
        raise SystemExit("no byte order mark")
    text = data[3:].decode("utf-8")
    if not text.endswith("\r\n"):
        raise SystemExit("the last line does not end with CRLF")
    return list(csv.reader(io.StringIO(text, newline=""), delimiter=delimiter))


def read_xlsx(path, sheet):
    import openpyxl
    from openpyxl.utils.escape import unescape
    book = openpyxl.load_workbook(path, read_only=True)
    if sheet == "?":
        return [[name] for name in book.sheetnames]
    rows = book[sheet].iter_rows(values_only=True) if sheet else book.worksheets[0].iter_rows(values_only=True)
    # A carriage return is stored as _x000D_, as the format escapes it; openpyxl's own
    # unescape turns it back.
    return [[unescape(v) if isinstance(v, str) else v for v in row] for row in rows]


def read_xls(path, sheet):
    import xlrd
    book = xlrd.open_workbook(path)
    if sheet == "?":
        return [[name] for name in book.sheet_names()]
    page = book.sheet_by_name(sheet) if sheet else book.sheet_by_index(0)
    rows = []
    for r in range(page.nrows):
        row = []
        for c in range(page.ncols):
            cell = page.cell(r, c)
            if cell.ctype == xlrd.XL_CELL_EMPTY or cell.ctype == xlrd.XL_CELL_BLANK:
                row.append(None)
            elif cell.ctype == xlrd.XL_CELL_DATE:
                row.append(xlrd.xldate.xldate_as_datetime(cell.value, book.datemode))
            elif cell.ctype == xlrd.XL_CELL_BOOLEAN:
                row.append(bool(cell.value))
            else:
                row.append(cell.value)
        rows.append(row)
    return rows


def read_dbf(path):
    import dbfread
    table = dbfread.DBF(path, encoding=None, char_decode_errors="strict")
    rows = [[field.name for field in table.fields]]
    rows += [list(record.values()) for record in table]
    rows.append(["encoding", table.encoding])
    return rows


def read_html(path):
    from html.parser import HTMLParser

    class Cells(HTMLParser):
        def __init__(self):
            super().__init__(convert_charrefs=True)
            self.rows, self.cell = [], None

        def handle_starttag(self, tag, attrs):
            if tag == "tr":
                self.rows.append([])
            elif tag in ("td", "th"):
                self.cell = ""

        def handle_endtag(self, tag):
            if tag in ("td", "th"):
                self.rows[-1].append(self.cell)
                self.cell = None

        def handle_data(self, data):
            if self.cell is not None:
                self.cell += data

    parser = Cells()
    with open(path, encoding="utf-8") as stream:
        parser.feed(stream.read())
    return parser.rows


def read_xml(path):
    import xml.etree.ElementTree as tree
    space = {"s": "uuid:BDC6E3F0-6DA3-11d1-A2A3-00AA00C14882", "rs": "urn:schemas-microsoft-com:rowset",
             "z": "#RowsetSchema", "dt": "uuid:C2F41010-65B3-11d1-A29F-00AA00C14882"}
    root = tree.parse(path).getroot()
    columns = []
    for attribute in root.iter("{%s}AttributeType" % space["s"]):
        kind = attribute.find("s:datatype", space).get("{%s}type" % space["dt"])
        columns.append((attribute.get("name"), attribute.get("{%s}name" % space["rs"]) or attribute.get("name"), kind))
    rows = [[real for _, real, _ in columns], [kind for _, _, kind in columns]]
    for row in root.iter("{%s}row" % space["z"]):
        rows.append([row.get(name) for name, _, _ in columns])
    return rows


def read_access(path, table):
    import sqlite3
    connection = sqlite3.connect("file:%s?mode=ro" % path, uri=True)
    columns = connection.execute("select name, type from pragma_table_info(?)", (table,)).fetchall()
    rows = [[name for name, _ in columns], [kind for _, kind in columns]]
    rows += [list(row) for row in connection.execute('select * from "%s" order by 1' % table.replace('"', '""'))]
    return rows


def main():
    kind, path = sys.argv[1], sys.argv[2]
    sheet = sys.argv[3] if len(sys.argv) > 3 else None
    readers = {"text": lambda: read_text(path, sheet or ";"), "xlsx": lambda: read_xlsx(path, sheet),
               "xls": lambda: read_xls(path, sheet), "dbf": lambda: read_dbf(path),
               "html": lambda: read_html(path), "access": lambda: read_access(path, sheet), "xml": lambda: read_xml(path)}
    rows = readers[kind]()
    sys.stdout.buffer.write("\n".join("\x1f".join(plain(v) for v in row) for row in rows).encode("utf-8"))


main()
