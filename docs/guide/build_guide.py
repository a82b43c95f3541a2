#!/usr/bin/python3
"""Builds the user's guide as one HTML page with its pictures.

    build_guide.py SOURCE_ROOT OUTPUT_DIR VERSION

Reads docs/guide/guide.md and fills its markers:
  <!-- version -->        the release's version
  <!-- pictures -->       the example pairs of docs/guide/examples.txt
  <!-- sync-pictures -->  (section "pictures" and "sync")
  <!-- formats-table -->  precision from docs/precision.md and frame times
                          from the "Stage times per format" table of
                          bench/README.md, so the guide follows those two
                          documents whenever they are measured again
  <!-- debug-window -->   docs/guide/pictures/debug-window.txt
then writes OUTPUT_DIR/guide.html and copies the pictures it shows into
OUTPUT_DIR/pictures. Fails when a marker, a picture or a table is missing.
Needs python3-markdown (scripts/setup installs it).
"""

import html
import re
import shutil
import sys
from pathlib import Path

import markdown

FORMATS = ["F32", "F16", "U16", "S16", "U10"]
TRACK_NAMES = [
    "Y(offs)", "Y(gain)", "Cb(offs)", "Cb(gain)", "Cr(offs)", "Cr(gain)",
    "R(offs)", "R(gain)", "R(gamm)", "G(offs)", "G(gain)", "G(gamm)",
    "B(offs)", "B(gain)", "B(gamm)", "Format",
]
# Host units per level of 8-bit video: white is 4096.
UNITS_PER_LEVEL = 16.0


def fail(message):
    sys.exit(f"build_guide: {message}")


def markdown_tables(text):
    """Every Markdown table of a text, each as (heading above it, rows), a
    row being the list of its cells; the header row comes first."""
    tables = []
    heading = ""
    rows = []
    for line in text.splitlines() + [""]:
        stripped = line.strip()
        if stripped.startswith("|"):
            cells = [c.strip() for c in stripped.strip("|").split("|")]
            if not all(re.fullmatch(r":?-+:?", c) for c in cells):
                rows.append(cells)
            continue
        if rows:
            tables.append((heading, rows))
            rows = []
        if stripped.startswith("#"):
            heading = stripped.lstrip("#").strip()
    return tables


def number(cell):
    return float(cell.replace(" ", "").replace(",", ""))


def table_under(tables, heading_start, source):
    for heading, rows in tables:
        if heading.startswith(heading_start):
            return rows
    fail(f"{source}: no table under a heading starting '{heading_start}'")


def precision_by_format(precision_md):
    """Per format: mean and largest error in the nominal range, largest in
    the whole range, in host units, over every setting and channel."""
    tables = markdown_tables(precision_md.read_text(encoding="utf-8"))
    result = {}
    for key, heading in (("nominal", "NOMINAL RANGE"), ("whole", "WHOLE RANGE")):
        rows = table_under(tables, heading, precision_md)
        header = rows[0]
        try:
            fmt = header.index("format")
            largest = [header.index(f"largest {c}") for c in ("Y", "Cb", "Cr")]
            mean = [header.index(f"mean {c}") for c in ("Y", "Cb", "Cr")]
        except ValueError:
            fail(f"{precision_md}: unexpected columns {header}")
        for row in rows[1:]:
            entry = result.setdefault(row[fmt], {})
            entry[key + "_largest"] = max(
                [entry.get(key + "_largest", 0.0)] + [number(row[i]) for i in largest])
            entry.setdefault(key + "_means", []).extend(number(row[i]) for i in mean)
    for name in FORMATS:
        entry = result.get(name)
        if entry is None or "nominal_largest" not in entry or "whole_largest" not in entry:
            fail(f"{precision_md}: no figures for {name}")
        entry["nominal_mean"] = sum(entry["nominal_means"]) / len(entry["nominal_means"])
    return result


def frame_times(bench_md):
    """Per (size, format): (put + get, whole frame) in milliseconds, from the
    "Stage times per format" table."""
    tables = markdown_tables(bench_md.read_text(encoding="utf-8"))
    rows = table_under(tables, "Stage times per format", bench_md)
    header = [h.lower() for h in rows[0]]

    def column(prefix):
        for i, h in enumerate(header):
            if h.startswith(prefix):
                return i
        fail(f"{bench_md}: stage times table has no '{prefix}' column ({header})")

    size, fmt = column("size"), column("format")
    put, get, whole = column("put"), column("get"), column("whole frame")
    times = {}
    for row in rows[1:]:
        key = (row[size].replace("x", "×"), row[fmt])
        times[key] = (number(row[put]) + number(row[get]), number(row[whole]))
    return times


def levels(units):
    value = units / UNITS_PER_LEVEL
    return f"{value:.2f}" if value < 10 else f"{value:.0f}"


def formats_table(root):
    precision = precision_by_format(root / "docs" / "precision.md")
    times = frame_times(root / "bench" / "README.md")
    sizes = ["1920×1080", "3840×2160"]
    lines = [
        "| `Format` | name | typical difference | largest, normal range "
        "| largest, beyond white and black | carrying the frame, 1920×1080 "
        "| whole frame, 1920×1080 | whole frame, 3840×2160 |",
        "|---:|---|---:|---:|---:|---:|---:|---:|",
    ]
    for index, name in enumerate(FORMATS):
        p = precision[name]
        cells = [str(index), name, levels(p["nominal_mean"]), levels(p["nominal_largest"]),
                 levels(p["whole_largest"])]
        for size in sizes:
            if (size, name) not in times:
                fail(f"bench/README.md: no stage times for {name} at {size}")
        cells.append(f"{times[(sizes[0], name)][0]:.0f} ms")
        cells += [f"{times[(size, name)][1]:.0f} ms" for size in sizes]
        lines.append("| " + " | ".join(cells) + " |")
    lines.append("")
    lines.append(
        "Differences: from the exact correction, measured over every brightness and "
        "a grid of colours, for four typical settings. Times: the filter's time per frame "
        "(\"carrying\" is Put and Get of the debug window), measured without a "
        "graphics card, with the correction drawn by the processor, so a real "
        "card is much faster at the correction itself; compare the formats with "
        "each other rather than with your own figures.")
    return "\n".join(lines)


def read_examples(root):
    examples = []
    for line in (root / "docs" / "guide" / "examples.txt").read_text(encoding="utf-8").splitlines():
        if not line.strip() or line.startswith("#"):
            continue
        fields = line.split("|")
        if len(fields) != 5:
            fail(f"examples.txt: bad line '{line}'")
        examples.append([f.strip() for f in fields])
    return examples


def settings_in_words(options):
    words = options.split()
    parts = []
    for flag, value in zip(words[0::2], words[1::2]):
        index, amount = value.split("=")
        if flag == "--track":
            parts.append(f"`{TRACK_NAMES[int(index)]}` {int(amount):+d}".replace("-", "−"))
        elif flag == "--check":
            parts.append("check box " + ("ticked" if amount != "0" else "off"))
        else:
            fail(f"examples.txt: unknown option {flag}")
    return ", ".join(parts) if parts else "every slider at 0"


def figure(picture, caption):
    return (f'<figure><img src="pictures/{picture}.jpg" alt="{html.escape(caption)}" '
            f'width="600" height="400"><figcaption>{caption}</figcaption></figure>')


def example_pairs(examples, section, options_by_name):
    blocks = []
    for group, name, beside, title, options in examples:
        if group != section:
            continue
        left_caption = ("before: " if section == "pictures" else "") + \
            markdown.markdown(settings_in_words(options_by_name[beside]))[3:-4]
        right_caption = ("after: " if section == "pictures" else "") + \
            markdown.markdown(settings_in_words(options))[3:-4]
        blocks.append(
            f'<div class="example"><h4>{html.escape(title)}</h4><div class="pair">'
            f"{figure(beside, left_caption)}{figure(name, right_caption)}</div></div>")
    if not blocks:
        fail(f"examples.txt: no example in section '{section}'")
    return "\n".join(blocks)


def debug_window(root):
    path = root / "docs" / "guide" / "pictures" / "debug-window.txt"
    if not path.exists():
        fail(f"{path} is missing (scripts/guide-pictures makes it)")
    text = html.escape(path.read_text(encoding="utf-8").rstrip("\n"))
    return ('<div class="debug-window"><div class="title">Debug KELVO'
            '<span class="close">×</span></div>'
            f"<pre>{text}</pre></div>")


STYLE = """
body { font-family: "Segoe UI", "Noto Sans", "Noto Sans CJK JP", sans-serif;
       max-width: 62em; margin: 2em auto; padding: 0 1em; line-height: 1.5;
       color: #222; }
h1 { border-bottom: 2px solid #c60; padding-bottom: .2em; }
h2 { margin-top: 2em; border-bottom: 1px solid #ccc; }
code { background: #f3f0ea; padding: 0 .2em; border-radius: 3px;
       font-family: "Consolas", "Noto Sans Mono", "Noto Sans Mono CJK JP", monospace; }
table { border-collapse: collapse; margin: 1em 0; }
th, td { border: 1px solid #ccc; padding: .3em .6em; vertical-align: top; }
th { background: #f3f0ea; }
.example h4 { margin: 1.5em 0 .3em; }
.pair { display: flex; gap: 1em; flex-wrap: wrap; }
figure { margin: 0; flex: 1 1 20em; max-width: 600px; }
figure img { width: 100%; height: auto; display: block; }
figcaption { font-size: .9em; color: #444; }
.debug-window { display: inline-block; border: 1px solid #888; margin: .5em 0;
                box-shadow: 2px 2px 6px rgba(0,0,0,.25); background: #fff; }
.debug-window .title { background: #2b5797; color: #fff; padding: .2em .5em;
                       font-size: .9em; }
.debug-window .close { float: right; margin-left: 2em; }
.debug-window pre { margin: 0; padding: .4em .6em;
                    font-family: "Consolas", "Noto Sans Mono", monospace; }
.version { color: #666; }
"""


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    root = Path(sys.argv[1])
    out = Path(sys.argv[2])
    version = sys.argv[3]

    text = (root / "docs" / "guide" / "guide.md").read_text(encoding="utf-8")
    examples = read_examples(root)
    options_by_name = {name: options for _, name, _, _, options in examples}
    fills = {
        "version": f'<p class="version">Version {html.escape(version)}</p>',
        "pictures": example_pairs(examples, "pictures", options_by_name),
        "sync-pictures": example_pairs(examples, "sync", options_by_name),
        "formats-table": formats_table(root),
        "debug-window": debug_window(root),
    }
    for marker, fill in fills.items():
        tag = f"<!-- {marker} -->"
        if tag not in text:
            fail(f"guide.md has no marker {tag}")
        text = text.replace(tag, fill)

    body = markdown.markdown(text, extensions=["tables", "toc"], output_format="html5")
    title = "Tarnel(Prof) — user's guide"
    page = (f'<!DOCTYPE html>\n<html lang="en">\n<head>\n<meta charset="utf-8">\n'
            f"<title>{html.escape(title)}</title>\n<style>{STYLE}</style>\n</head>\n"
            f"<body>\n{body}\n</body>\n</html>\n")

    (out / "pictures").mkdir(parents=True, exist_ok=True)
    (out / "guide.html").write_text(page, encoding="utf-8")
    for picture in sorted(set(re.findall(r'src="pictures/([^"]+)"', page))):
        source = root / "docs" / "guide" / "pictures" / picture
        if not source.exists():
            fail(f"{source} is missing (scripts/guide-pictures makes it)")
        shutil.copyfile(source, out / "pictures" / picture)


if __name__ == "__main__":
    main()
