#!/usr/bin/python3
"""Builds the user's guide as two HTML pages, English and Japanese, with the
pictures they share.

    build_guide.py SOURCE_ROOT OUTPUT_DIR VERSION

Reads docs/guide/guide.md (English) and docs/guide/guide.ja.md (Japanese) and
fills the same markers in both:
  <!-- version -->        the release's version
  <!-- pictures -->       the example pairs of docs/guide/examples.txt
  <!-- sync-pictures -->  (section "pictures" and "sync"); the Japanese page
                          takes their titles from docs/guide/examples.ja.txt
  <!-- formats-table -->  precision from docs/precision.md and frame times
                          from bench/results/stages.tsv (which bench/run
                          writes), so the guide follows those two whenever
                          they are measured again
  <!-- formats-advice --> the recommendation and which formats are the
                          fastest and the least exact, read off that table
  <!-- debug-window -->   docs/guide/pictures/debug-window.txt, under it its
                          Proc and whole-frame times and what a card gives
then writes OUTPUT_DIR/guide.html and OUTPUT_DIR/guide.ja.html, each linking
to the other, and copies the pictures they show into OUTPUT_DIR/pictures.
On the English page every run of Japanese text is marked lang="ja", so that
the kanji take Japanese letter shapes whatever the reader's Windows language.
Fails when a marker, a picture, a table, a Japanese title or the target of a
link within a page is missing. Needs python3-markdown (scripts/setup
installs it).
"""

import html
import re
import shutil
import sys
from pathlib import Path

import markdown

# The sliders' captions come from the filter's track rows.
TRACK_ROWS = Path("core") / "correction_tracks.h"
# Host units per level of 8-bit video: white is 4096.
UNITS_PER_LEVEL = 16.0
# The frame sizes of the formats table, as its heads and the bench name them.
SIZES = ["1920×1080", "3840×2160"]
# A format is exact when no difference, in the normal range or beyond, reaches
# one step of the host (1/16 of a level).
EXACT_LEVELS = 1 / UNITS_PER_LEVEL
# Formats within 5 % of the quickest frame time count among the fastest: a
# frame time measured again moves by a few per cent.
FASTEST_MARGIN = 0.05
# Up to about half a level, a difference cannot be seen in 8-bit output.
VISIBLE_LEVELS = 0.5

# The two pages and the words the builder itself writes on each.
PAGES = [
    {
        "lang": "en",
        "source": "guide.md",
        "output": "guide.html",
        "other": ("guide.ja.html", "ja", "日本語"),
        "version": "Version {}",
        "before": "before: ",
        "after": "after: ",
        "every slider at 0": "every slider at 0",
        "check box on": "check box ticked",
        "check box off": "check box off",
        "separator": ", ",
        "scroll hint": "This table scrolls sideways →",
        "debug note":
            "These figures come from a test computer without a graphics card, where the "
            "processor draws the correction in software: Proc {proc} ms, the whole frame "
            "{total} ms. With a graphics card, Proc should take from under a millisecond to "
            "a few milliseconds and the whole frame roughly 5 to 20 ms; that range is our "
            "estimate, not a measurement.",
        "formats head": [
            "`Format`", "name", "typical difference", "largest, normal range",
            "largest, beyond white and black", "carrying the frame, 1920×1080",
            "whole frame, 1920×1080", "whole frame, 3840×2160"],
        "formats note":
            "Differences: from the exact correction, measured over every brightness and "
            "a grid of colours, for four typical settings. Times: the filter's time per frame "
            "(\"carrying\" is Put and Get of the debug window), measured without a "
            "graphics card, with the correction drawn by the processor, so a real "
            "card is much faster at the correction itself; compare the formats with "
            "each other rather than with your own figures.",
        "and": " and ",
        "list separator": ", ",
        "advice":
            "<strong>Recommendation: use {recommended} (<code>Format</code> {index}).</strong> "
            "Of the formats as exact as F32 ({exact}: no difference reaches 1/16 of a level), "
            "it took the least time over both frame sizes in the measurements above. The "
            "fastest, within {margin} % of the quickest, were {fastest 1920×1080} at 1920×1080 "
            "and {fastest 3840×2160} at 3840×2160. The largest typical difference is "
            "{largest typical}'s, the largest in the normal range {largest normal}'s and the "
            "largest beyond white and black {largest beyond}'s.",
        "in range only":
            " Choose {largest beyond} only for pictures that stay between black and white.",
    },
    {
        "lang": "ja",
        "source": "guide.ja.md",
        "output": "guide.ja.html",
        "other": ("guide.html", "en", "English"),
        "version": "バージョン {}",
        "before": "補正前：",
        "after": "補正後：",
        "every slider at 0": "すべてのトラックバーが 0",
        "check box on": "チェックあり",
        "check box off": "チェックなし",
        "separator": "、",
        "scroll hint": "この表は横にスクロールできます →",
        "debug note":
            "この表示例は、グラフィックカードのないテスト用のパソコンで、補正を CPU で描画"
            "（ソフトウェアレンダリング）して測った値です（Proc {proc} ミリ秒、フレーム全体で "
            "{total} ミリ秒）。グラフィックカードを使えば、Proc は 1 ミリ秒未満から数ミリ秒、"
            "フレーム全体でおよそ 5 ～ 20 ミリ秒になると見込んでいます（実測ではなく推定です）。",
        "formats head": [
            "`Format`", "名前", "平均的な誤差", "最大誤差（通常範囲）",
            "最大誤差（範囲外を含む）", "フレームの転送 1920×1080",
            "フレーム全体 1920×1080", "フレーム全体 3840×2160"],
        "formats note":
            "誤差：正確な補正結果との差です。すべての明るさと、格子状に選んだ色について、"
            "よく使う 4 つの設定で測りました。時間：1 フレームあたりのフィルターの処理時間です"
            "（「転送」はデバッグウィンドウの Put と Get の合計）。グラフィックカードを使わず、"
            "補正を CPU で描画して測ったため、実際のグラフィックカードでは補正そのものはずっと"
            "速くなります。ご自分の環境の数値と比べるのではなく、フォーマットどうしの比較に"
            "お使いください。",
        "and": "、",
        "list separator": "、",
        "advice":
            "<strong>おすすめは {recommended}（<code>Format</code> {index}）です。</strong>"
            "F32 と同じく正確なフォーマット（{exact}。どの誤差も 1/16 階調未満です）のうち、上の"
            "測定で 2 つのフレームサイズを通して処理時間が最も短かったものです。最も速かったのは"
            "（最速との差が {margin} % 以内）、1920×1080 では {fastest 1920×1080}、3840×2160 では "
            "{fastest 3840×2160} です。平均的な誤差が最も大きいのは {largest typical}、通常範囲の"
            "最大誤差が最も大きいのは {largest normal}、範囲外を含む最大誤差が最も大きいのは "
            "{largest beyond} です。",
        "in range only": "{largest beyond} は、黒から白までに収まる映像だけに使ってください。",
    },
]

# Letters of Japanese text: CJK punctuation, kana, kanji, full-width forms.
CJK = "\u3000-\u303f\u3040-\u30ff\u31f0-\u31ff\u3400-\u4dbf\u4e00-\u9fff\uf900-\ufaff\uff00-\uffef"


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


def format_names(root):
    """The format kinds' names in track order, from the rows of the kinds'
    table."""
    table = (root / "core" / "format_kinds.cpp").read_text(encoding="utf-8")
    names = re.findall(r'^    \{"([^"]+)", "[^"]+", &', table, re.MULTILINE)
    if not names:
        fail("core/format_kinds.cpp: no rows found")
    return names


def precision_by_format(precision_md, names):
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
    for name in names:
        entry = result.get(name)
        if entry is None or "nominal_largest" not in entry or "whole_largest" not in entry:
            fail(f"{precision_md}: no figures for {name}")
        entry["nominal_mean"] = sum(entry["nominal_means"]) / len(entry["nominal_means"])
    return result


def frame_times(stages_tsv):
    """Per (size, format): (put + get, whole frame) in milliseconds, from the
    stage times bench/run writes (bench/README.md says the file's format)."""
    lines = stages_tsv.read_text(encoding="utf-8").splitlines()
    header = lines[0].split("\t")
    try:
        size, fmt = header.index("size"), header.index("format")
        put, get, whole = (header.index(c) for c in ("put_ms", "get_ms", "frame_ms"))
    except ValueError:
        fail(f"{stages_tsv}: unexpected columns {header}")
    times = {}
    for line in lines[1:]:
        row = line.split("\t")
        key = (row[size].replace("x", "×"), row[fmt])
        times[key] = (number(row[put]) + number(row[get]), number(row[whole]))
    return times


def levels(units):
    value = units / UNITS_PER_LEVEL
    return f"{value:.2f}" if value < 10 else f"{value:.0f}"


def format_rows(root):
    """The formats table's figures, each as the table shows it: per format
    its index, name, differences in levels (typical, largest in the normal
    range, largest beyond) and milliseconds (carrying the frame at the first
    size, the whole frame at each size)."""
    names = format_names(root)
    precision = precision_by_format(root / "docs" / "precision.md", names)
    times = frame_times(root / "bench" / "results" / "stages.tsv")
    rows = []
    for index, name in enumerate(names):
        p = precision[name]
        for size in SIZES:
            if (size, name) not in times:
                fail(f"bench/results/stages.tsv: no stage times for {name} at {size}")
        rows.append({
            "index": str(index), "name": name, "typical": levels(p["nominal_mean"]),
            "normal": levels(p["nominal_largest"]), "beyond": levels(p["whole_largest"]),
            "carrying": f"{times[(SIZES[0], name)][0]:.0f}",
            "whole": {size: f"{times[(size, name)][1]:.0f}" for size in SIZES}})
    return rows


def formats_table(rows, page):
    lines = [
        "| " + " | ".join(page["formats head"]) + " |",
        "|---:|---|---:|---:|---:|---:|---:|---:|",
    ]
    for r in rows:
        cells = [r["index"], r["name"], r["typical"], r["normal"], r["beyond"],
                 f"{r['carrying']} ms"] + [f"{r['whole'][size]} ms" for size in SIZES]
        lines.append("| " + " | ".join(cells) + " |")
    lines.append("")
    lines.append(page["formats note"])
    return "\n".join(lines)


def format_facts(rows):
    """What the formats table says when read across, from its figures as
    shown, so that the words never disagree with the table: the formats as
    exact as F32 ("exact"), the fastest at each size ("fastest SIZE", quickest
    first), the format with the largest difference of each kind ("largest
    typical", "largest normal", "largest beyond") and the one to recommend:
    of the exact formats, the one whose frame times, each against the
    quickest at its size, add up to the least ("recommended")."""
    exact = [r["name"] for r in rows
             if float(r["normal"]) < EXACT_LEVELS and float(r["beyond"]) < EXACT_LEVELS]
    if not exact:
        fail("formats table: no format is exact, so there is none to recommend")
    quickest = {size: min(float(r["whole"][size]) for r in rows) for size in SIZES}

    def relative_time(row):
        return sum(float(row["whole"][size]) / quickest[size] for size in SIZES)

    recommended = min((r for r in rows if r["name"] in exact), key=relative_time)
    facts = {"exact": exact, "recommended": [recommended["name"]]}
    for size in SIZES:
        fastest = sorted((r for r in rows
                          if float(r["whole"][size]) <= quickest[size] * (1 + FASTEST_MARGIN)),
                         key=lambda r: float(r["whole"][size]))
        facts["fastest " + size] = [r["name"] for r in fastest]
    for kind in ("typical", "normal", "beyond"):
        facts["largest " + kind] = [max(rows, key=lambda r: float(r[kind]))["name"]]
    return facts


def formats_advice(rows, page):
    """The paragraph under the formats table, every format it names derived
    by format_facts and marked with what is said of it (data-claim), so that
    the page check can hold the words against the table."""
    facts = format_facts(rows)
    by_name = {r["name"]: r for r in rows}

    def claim(kind):
        names = facts[kind]
        listed = (page["list separator"].join(names[:-1]) + page["and"] + names[-1]
                  if len(names) > 1 else names[0])
        return f'<span data-claim="{kind}">{listed}</span>'

    words = {kind: claim(kind) for kind in facts}
    words.update(index=by_name[facts["recommended"][0]]["index"],
                 margin=f"{FASTEST_MARGIN * 100:.0f}")
    text = page["advice"].format(**words)
    # The format that loses most beyond white and black is fine for a
    # picture that stays between them when it loses no more than half a
    # level there.
    beyond = by_name[facts["largest beyond"][0]]
    if float(beyond["beyond"]) > VISIBLE_LEVELS >= float(beyond["normal"]):
        text += page["in range only"].format(**words)
    return f'<p class="advice">{text}</p>'


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


def japanese_titles(root, examples):
    """Picture name to its title on the Japanese page, from examples.ja.txt
    ("name | title" a line). Every picture of examples.txt needs one, so that
    a new example cannot reach the English page alone."""
    path = root / "docs" / "guide" / "examples.ja.txt"
    titles = {}
    for line in path.read_text(encoding="utf-8").splitlines():
        if not line.strip() or line.startswith("#"):
            continue
        fields = [f.strip() for f in line.split("|")]
        if len(fields) != 2 or not all(fields) or fields[0] in titles:
            fail(f"examples.ja.txt: bad line '{line}'")
        titles[fields[0]] = fields[1]
    names = [name for _, name, _, _, _ in examples]
    missing = [name for name in names if name not in titles]
    if missing:
        fail(f"examples.ja.txt: no Japanese title for {', '.join(missing)}")
    unknown = sorted(set(titles) - set(names))
    if unknown:
        fail(f"examples.ja.txt: {', '.join(unknown)} not in examples.txt")
    return titles


def track_names(root):
    """The captions of the track rows, in their order."""
    text = (root / TRACK_ROWS).read_text(encoding="utf-8")
    block = re.search(r"TrackRow correctionTracks\[\] = \{(.*?)\n\};", text, re.S)
    names = re.findall(r'^\s*(?:ColourTrack\(|\{)"([^"]+)"', block.group(1) if block else "",
                       re.M)
    if not names:
        fail(f"{TRACK_ROWS}: no track rows")
    return names


def settings_in_words(options, page):
    words = options.split()
    parts = []
    for flag, value in zip(words[0::2], words[1::2]):
        if flag == "--input":
            continue  # which photograph, not a setting
        index, amount = value.split("=")
        if flag == "--track":
            parts.append(f"`{page['track names'][int(index)]}` {int(amount):+d}".replace("-", "−"))
        elif flag == "--check":
            parts.append(page["check box on" if amount != "0" else "check box off"])
        else:
            fail(f"examples.txt: unknown option {flag}")
    return page["separator"].join(parts) if parts else page["every slider at 0"]


def plain_text(markup):
    """What a piece of HTML reads as, for an attribute such as alt."""
    return html.unescape(re.sub(r"<[^>]*>", "", markup))


def figure(picture, caption):
    return (f'<figure><img src="pictures/{picture}.jpg" alt="{html.escape(plain_text(caption))}" '
            f'width="600" height="400"><figcaption>{caption}</figcaption></figure>')


def example_pairs(examples, section, options_by_name, page, titles):
    """titles: picture name to title, or None for the titles of examples.txt."""
    blocks = []
    for group, name, beside, title, options in examples:
        if group != section:
            continue
        if titles is not None:
            title = titles[name]
        left_caption = (page["before"] if section == "pictures" else "") + \
            markdown.markdown(settings_in_words(options_by_name[beside], page))[3:-4]
        right_caption = (page["after"] if section == "pictures" else "") + \
            markdown.markdown(settings_in_words(options, page))[3:-4]
        blocks.append(
            f'<div class="example"><h4>{html.escape(title)}</h4><div class="pair">'
            f"{figure(beside, left_caption)}{figure(name, right_caption)}</div></div>")
    if not blocks:
        fail(f"examples.txt: no example in section '{section}'")
    return "\n".join(blocks)


def debug_window(root, page):
    """The debug window as it looked for a frame, and under it where its
    figures come from: they are the test machine's, whose processor draws the
    correction, so a reader must not take them for what a card does."""
    path = root / "docs" / "guide" / "pictures" / "debug-window.txt"
    if not path.exists():
        fail(f"{path} is missing (scripts/guide-pictures makes it)")
    text = path.read_text(encoding="utf-8").rstrip("\n")
    seconds = {}
    for line in text.splitlines()[1:]:
        stage, _, value = line.partition(":")
        try:
            seconds[stage.strip()] = float(value)
        except ValueError:
            fail(f"{path}: '{line}' is not a stage and its time in seconds")
    if "Proc" not in seconds:
        fail(f"{path} has no Proc line")
    note = page["debug note"].format(proc=f"{seconds['Proc'] * 1000:.0f}",
                                     total=f"{sum(seconds.values()) * 1000:.0f}")
    return ('<figure class="debug"><div class="debug-window"><div class="title">Debug KELVO'
            '<span class="close">×</span></div>'
            f"<pre>{html.escape(text)}</pre></div>"
            f"<figcaption>{html.escape(note)}</figcaption></figure>")


# A name in code (a slider, the check box, a file) never breaks, nor does a
# heading on a phone: its table scrolls instead. Only a quoted message in a
# table cell may wrap, between its Japanese letters as Japanese text does;
# with no overflow-wrap, a Latin word inside it stays whole. A Japanese
# heading breaks at a space or a punctuation mark, never inside a word
# (「ユーザーガ／イド」), unless the word alone is wider than the page.
STYLE = """
html { font-family: "Segoe UI", "Noto Sans", "Helvetica Neue", Arial, sans-serif; }
[lang|="ja"] { font-family: "Yu Gothic Medium", "Yu Gothic", YuGothic, Meiryo,
               "Hiragino Sans", "Hiragino Kaku Gothic ProN", "Noto Sans CJK JP",
               "Noto Sans JP", sans-serif; }
code, pre { font-family: Consolas, "Noto Sans Mono", "DejaVu Sans Mono", monospace; }
code[lang|="ja"], [lang|="ja"] code, [lang|="ja"] pre {
  font-family: Consolas, "BIZ UDGothic", "MS Gothic", Osaka-Mono,
               "Noto Sans Mono CJK JP", monospace; }
body { max-width: 62em; margin: 2em auto; padding: 0 1em; line-height: 1.5;
       color: #222; }
h1 { border-bottom: 2px solid #c60; padding-bottom: .2em; }
h1, h2, h3, h4 { word-break: keep-all; overflow-wrap: anywhere; }
h2 { margin-top: 2em; border-bottom: 1px solid #ccc; }
code { background: #f3f0ea; padding: 0 .2em; border-radius: 3px; white-space: pre; }
td code { white-space: pre-wrap; }
.languages { text-align: right; margin: 0; }
.scroll { overflow-x: auto; margin: 1em 0; }
.scroll-hint { margin: 1em 0 -.8em; text-align: right; font-size: .85em; color: #a34f00; }
table { border-collapse: collapse; }
th, td { border: 1px solid #ccc; padding: .3em .6em; vertical-align: top; }
th { background: #f3f0ea; word-break: keep-all; }
td:first-child { min-width: 5em; }
td:not(:first-child):not([style]) { min-width: 7em; }
td[style*="right"] { white-space: nowrap; }
@media (max-width: 40em) { th { white-space: nowrap; } }
img { max-width: 100%; height: auto; }
.example h4 { margin: 1.5em 0 .3em; }
.pair { display: flex; gap: 1em; flex-wrap: wrap; }
figure { margin: 0; flex: 1 1 20em; max-width: 600px; min-width: 0; }
figure img { width: 100%; display: block; }
figcaption { font-size: .9em; color: #444; }
.debug-window { display: inline-block; max-width: 100%; border: 1px solid #888;
                margin: .5em 0; box-shadow: 2px 2px 6px rgba(0,0,0,.25);
                background: #fff; }
.debug-window .title { background: #2b5797; color: #fff; padding: .2em .5em;
                       font-size: .9em; }
.debug-window .close { float: right; margin-left: 2em; }
.debug-window pre { margin: 0; padding: .4em .6em; overflow-x: auto; }
figure.debug { margin: .5em 0 1em; }
.version { color: #666; }
"""

# Shows the hint above each table that is wider than its box, again
# whenever the window changes size (a phone turned sideways).
SCRIPT = """<script>
function showScrollHints() {
  for (const box of document.querySelectorAll(".scroll"))
    box.previousElementSibling.hidden = box.scrollWidth <= box.clientWidth + 1;
}
showScrollHints();
addEventListener("load", showScrollHints);
addEventListener("resize", showScrollHints);
</script>"""

# Elements that take lang="ja" themselves when their whole text is one run of
# Japanese, so that a quoted message stays one text.
INLINE = {"a", "b", "code", "em", "i", "kbd", "samp", "span", "strong"}
VOID = {"area", "base", "br", "col", "embed", "hr", "img", "input", "link", "meta",
        "source", "track", "wbr"}
JAPANESE_RUN = re.compile(f"\\S*[{CJK}]\\S*(?:\\s+\\S*[{CJK}]\\S*)*")


def mark_japanese(body):
    """Marks every run of Japanese text of an HTML body that is not yet inside
    a lang="ja" element: an inline element holding nothing but that text gets
    the attribute itself, any other run is wrapped in <span lang="ja">."""
    tokens = re.split(r"(<[^>]*>)", body)
    open_elements = []  # (name, inside Japanese)
    for i, token in enumerate(tokens):
        if i % 2:
            tag = re.match(r"<(/?)([a-zA-Z][a-zA-Z0-9]*)([^>]*)>", token)
            if tag is None:
                continue
            closing, name, attributes = tag.group(1), tag.group(2).lower(), tag.group(3)
            if closing:
                while open_elements and open_elements.pop()[0] != name:
                    pass
            elif name not in VOID and not attributes.endswith("/"):
                lang = re.search(r'\slang="([^"]*)"', attributes)
                inside = (lang.group(1).split("-")[0] == "ja" if lang
                          else bool(open_elements) and open_elements[-1][1])
                open_elements.append((name, inside))
            continue
        if not re.search(f"[{CJK}]", token) or (open_elements and open_elements[-1][1]):
            continue
        name = open_elements[-1][0] if open_elements else None
        if (name in INLINE and re.match(f"<{name}[\\s>]", tokens[i - 1], re.I)
                and not re.search(r"\slang=", tokens[i - 1])
                and i + 1 < len(tokens) and tokens[i + 1].lower() == f"</{name}>"):
            tokens[i - 1] = tokens[i - 1][:-1] + ' lang="ja">'
        else:
            tokens[i] = JAPANESE_RUN.sub(lambda m: f'<span lang="ja">{m.group(0)}</span>', token)
    return "".join(tokens)


def check_links(body, source):
    ids = set(re.findall(r'\sid="([^"]+)"', body))
    for target in re.findall(r'\shref="#([^"]*)"', body):
        if target not in ids:
            fail(f"{source}: a link to #{target}, which is not on the page")


def build_page(root, page, examples, titles, version):
    """The page's HTML."""
    source = page["source"]
    text = (root / "docs" / "guide" / source).read_text(encoding="utf-8")
    # Japanese has no spaces between words: a line break between two
    # Japanese letters joins the lines rather than showing as a space.
    text = re.sub(f"(?<=[{CJK}])\n[ \t]*(?=[{CJK}])", "", text)
    options_by_name = {name: options for _, name, _, _, options in examples}
    page = dict(page, **{"track names": track_names(root)})
    rows = format_rows(root)
    fills = {
        "version": f'<p class="version">{html.escape(page["version"].format(version))}</p>',
        "pictures": example_pairs(examples, "pictures", options_by_name, page, titles),
        "sync-pictures": example_pairs(examples, "sync", options_by_name, page, titles),
        "formats-table": formats_table(rows, page),
        "formats-advice": formats_advice(rows, page),
        "debug-window": debug_window(root, page),
    }
    for marker, fill in fills.items():
        tag = f"<!-- {marker} -->"
        if tag not in text:
            fail(f"{source} has no marker {tag}")
        text = text.replace(tag, fill)

    body = markdown.markdown(text, extensions=["tables", "toc", "attr_list"],
                             output_format="html5")
    check_links(body, source)
    heading = re.search(r"<h1[^>]*>(.*?)</h1>", body, re.S)
    if heading is None:
        fail(f"{source} has no title (a first-level heading)")
    title = plain_text(heading.group(1))
    # Wide tables scroll in their own box rather than widen the page, under a
    # hint that SCRIPT shows only while the table is wider than its box: a
    # phone shows no scroll bar, and a cut-off column looks like the end.
    hint = f'<p class="scroll-hint" hidden>{html.escape(page["scroll hint"])}</p>'
    body = body.replace("<table>", f'{hint}<div class="scroll"><table>')
    body = body.replace("</table>", "</table></div>")
    other, other_lang, other_name = page["other"]
    body = (f'<p class="languages"><a href="{other}" hreflang="{other_lang}" '
            f'lang="{other_lang}">{other_name}</a></p>\n{body}')
    if page["lang"] != "ja":
        body = mark_japanese(body)
    return (f'<!DOCTYPE html>\n<html lang="{page["lang"]}">\n<head>\n<meta charset="utf-8">\n'
            f'<meta name="viewport" content="width=device-width, initial-scale=1">\n'
            f"<title>{html.escape(title)}</title>\n<style>{STYLE}</style>\n</head>\n"
            f"<body>\n{body}\n{SCRIPT}\n</body>\n</html>\n")


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    root = Path(sys.argv[1])
    out = Path(sys.argv[2])
    version = sys.argv[3]

    examples = read_examples(root)
    titles = {"en": None, "ja": japanese_titles(root, examples)}
    pages = {page["output"]: build_page(root, page, examples, titles[page["lang"]], version)
             for page in PAGES}

    (out / "pictures").mkdir(parents=True, exist_ok=True)
    for name, text in pages.items():
        (out / name).write_text(text, encoding="utf-8")
    shown = set()
    for text in pages.values():
        shown.update(re.findall(r'src="pictures/([^"]+)"', text))
    for picture in sorted(shown):
        source = root / "docs" / "guide" / "pictures" / picture
        if not source.exists():
            fail(f"{source} is missing (scripts/guide-pictures makes it)")
        shutil.copyfile(source, out / "pictures" / picture)


if __name__ == "__main__":
    main()
