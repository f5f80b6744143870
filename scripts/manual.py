#!/usr/bin/python3
"""Builds the "Manual del Sistema": docs/manual/*.md to HTML pages.

    scripts/manual.py FUENTES DESTINO

Every page gets the same head and a bar back to the contents. Links between
pages are written to .md files in the sources and point to .html files in
the result. Beside the pages go:

  ventanas.txt  one line per window section, "ID PAGINA": a heading with an
                id in capitals ({#UP_ESTI}) is the page of that window. The
                programs read it to open the help of a window; pages named
                "dudore-..." or "vorovid-..." belong to that program only.
  paginas.txt   one line per page, "PAGINA<TAB>TITULO", in the order of the
                contents page (the help window's list of chapters).

The build fails, naming the file, when a link or an image does not resolve
or when a page of one program repeats a window of another page it shares.
"""

import html
import re
import shutil
import sys
from html.parser import HTMLParser
from pathlib import Path

import markdown

EXTENSIONS = ["attr_list", "tables", "toc", "fenced_code", "sane_lists", "def_list"]
WINDOW_ID = re.compile(r"^[A-Z][A-Z0-9_]*$")

# Qt's text browser knows a subset of CSS: fonts, colours, margins, borders
# of tables. What it ignores does no harm.
STYLE = """
body { font-family: sans-serif; font-size: 11pt; color: #202020; }
h1 { font-size: 18pt; color: #1b3a63; }
h2 { font-size: 14pt; color: #1b3a63; margin-top: 18px; }
h3 { font-size: 12pt; color: #1b3a63; }
code { font-family: monospace; background-color: #f0f0f0; }
pre { font-family: monospace; background-color: #f4f4f4; padding: 6px; }
table { border-collapse: collapse; margin: 6px 0; }
th { background-color: #dde6f0; padding: 3px 8px; text-align: left; }
td { padding: 3px 8px; vertical-align: top; }
.barra { font-size: 9pt; color: #606060; }
.nota { background-color: #fff8dc; padding: 6px; }
"""


class Anchors(HTMLParser):
    """The ids, links and images of one HTML page."""

    def __init__(self):
        super().__init__()
        self.ids = []
        self.links = []
        self.images = []

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        if "id" in a:
            self.ids.append(a["id"])
        if tag == "a" and "name" in a:
            self.ids.append(a["name"])
        if tag == "a" and "href" in a:
            self.links.append(a["href"])
        if tag == "img" and "src" in a:
            self.images.append(a["src"])


def md_links_to_html(text):
    # (pagina.md#ancla) → (pagina.html#ancla), only for local pages.
    return re.sub(r'href="([A-Za-z0-9_.\-]+)\.md(#[^"]*)?"', r'href="\1.html\2"', text)


def title_of(source):
    for line in source.splitlines():
        if line.startswith("# "):
            return re.sub(r"\s*\{[^}]*\}\s*$", "", line[2:]).strip()
    return None


def program_of(page):
    m = re.match(r"^(dudore|vorovid)-", page)
    return m.group(1).upper() if m else ""


def build(sources, target):
    errors = []
    pages = sorted(sources.glob("*.md"))
    if not pages:
        sys.exit(f"No hay páginas del manual en {sources}")
    if not (sources / "index.md").is_file():
        sys.exit(f"Falta la página de contenido {sources / 'index.md'}")
    target.mkdir(parents=True, exist_ok=True)
    for old in target.glob("*.html"):
        old.unlink()

    built = {}
    titles = {}
    for md_file in pages:
        source = md_file.read_text(encoding="utf-8")
        title = title_of(source)
        if not title:
            errors.append(f"{md_file}: la página no empieza con un título '# ...'")
            title = md_file.stem
        body = markdown.markdown(source, extensions=EXTENSIONS, output_format="html")
        body = md_links_to_html(body)
        name = md_file.stem + ".html"
        bar = "" if name == "index.html" else (
            '<p class="barra"><a href="index.html">Contenido</a> &middot; '
            f"{html.escape(title)}</p>\n")
        page = ("<!DOCTYPE html>\n<html lang=\"es\"><head><meta charset=\"utf-8\">"
                f"<title>{html.escape(title)}</title><style>{STYLE}</style></head>\n"
                f"<body>\n{bar}{body}\n</body></html>\n")
        (target / name).write_text(page, encoding="utf-8")
        parsed = Anchors()
        parsed.feed(page)
        built[name] = parsed
        titles[name] = title

    # Every link and image resolves.
    for name, parsed in built.items():
        for link in parsed.links:
            if re.match(r"^[a-z]+:", link):
                continue  # mailto:, http: ... are not pages of the manual
            page, _, anchor = link.partition("#")
            page = page or name
            if page not in built:
                errors.append(f"{name}: el enlace {link} lleva a una página que no existe")
            elif anchor and anchor not in built[page].ids:
                errors.append(f"{name}: el enlace {link} lleva a un ancla que no existe")
        for image in parsed.images:
            if not (sources / image).is_file():
                errors.append(f"{name}: falta la imagen {image}")

    # The window sections: one page per window and program.
    windows = []
    seen = {}
    for name, parsed in built.items():
        for anchor in parsed.ids:
            if not WINDOW_ID.match(anchor):
                continue
            key = (program_of(name), anchor)
            if key in seen:
                errors.append(f"{name}: la ventana {anchor} ya tiene su sección en {seen[key]}")
            seen.setdefault(key, name)
            windows.append(f"{anchor} {name}")

    # The chapters in the order the contents page links them.
    order = []
    for link in built["index.html"].links:
        page = link.partition("#")[0]
        if page in built and page not in order:
            order.append(page)
    order = ["index.html"] + [p for p in order if p != "index.html"]
    order += sorted(p for p in built if p not in order)

    if errors:
        for e in errors:
            print(e, file=sys.stderr)
        sys.exit(f"El manual tiene {len(errors)} errores")

    images = sources / "img"
    if images.is_dir():
        shutil.copytree(images, target / "img", dirs_exist_ok=True)
    (target / "paginas.txt").write_text(
        "".join(f"{p}\t{titles[p]}\n" for p in order), encoding="utf-8")
    (target / "ventanas.txt").write_text("\n".join(sorted(windows)) + "\n", encoding="utf-8")
    print(f"Manual: {len(built)} páginas, {len(windows)} secciones de ventanas en {target}")


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    build(Path(sys.argv[1]), Path(sys.argv[2]))
