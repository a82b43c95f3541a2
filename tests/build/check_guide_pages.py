#!/usr/bin/python3
"""Opens each page of the user's guide in headless Chromium, in a desktop
window 1280 px wide and on a phone 420 px wide, and fails when the page, a box
or a line of text in it is wider than the window; a character is drawn with a
font that has no glyph for it (an empty box); a Japanese run is outside
lang="ja" (CJK fonts then pick Chinese shapes) or drawn with a font that
cannot write Japanese; a table is wider than its box without a hint shown
above it (class "scroll-hint"), or a hint shows above one that fits; on the
phone, a table heading or a name in <code> breaks over lines (a message in a
table cell may wrap between Japanese letters, not inside a Latin word); or
the page's words about the formats disagree with its formats table as the
builder's format_facts reads it: a format named in the builder's paragraph
(data-claim) as recommended, exact, fastest or with the largest difference
of a kind that the table does not make so, a format the short table calls
exact that is not, or a comparison written by hand outside that paragraph.
Full-height screenshots of every page at every width go to SCREENSHOTS/.

Chromium names a font for a character the font lacks too (it draws the
font's missing-glyph box), so every character is looked up in the coverage
fontconfig gives for the fonts reported. Before the real pages the checker
runs on a page of its own holding each fault and the parts that are fine,
and on each page's formats table altered, and fails when it misses a fault
or flags what is fine.

usage: check_guide_pages.py --screenshots DIR PAGE.html...
Talks to Chromium over --remote-debugging-pipe (no port, no extra package).
"""
import argparse
import base64
import bisect
import copy
import fcntl
import html.parser
import json
import os
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unicodedata
from pathlib import Path

SOURCE_ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(SOURCE_ROOT / "docs" / "guide"))
import build_guide  # noqa: E402  (how the pages read their formats table)

FORMATS = build_guide.format_names(SOURCE_ROOT)  # the kinds' names, from their table

CHROMIUM = shutil.which("chromium") or "chromium"
# Bounds against a hang, for a quiet machine, times what scripts/patience says.
PATIENCE = int(subprocess.run([str(SOURCE_ROOT / "scripts" / "patience")],
                              capture_output=True, text=True, check=True).stdout)
# (name, width, height, phone): the phone view lays a page out the way a phone
# does, so a page without <meta name="viewport"> is laid out 980 px wide.
VIEWS = [("1280", 1280, 900, False), ("420", 420, 860, True)]
CALL_TIMEOUT = 30 * PATIENCE    # seconds for one DevTools call or page load
TOTAL_TIMEOUT = 120 * PATIENCE  # seconds for the whole run; CTest's limit is above
SHOWN_OFFENDERS = 5       # elements named when a page is too wide
SHOWN_LANG = 10           # texts named when Japanese is outside lang="ja"

# Chinese, Japanese and Korean characters: punctuation, kana, ideographs,
# full-width forms. Anything in these blocks on a guide page is Japanese.
CJK_RANGES = [(0x2E80, 0x2FDF), (0x3000, 0x33FF), (0x3400, 0x4DBF),
              (0x4E00, 0x9FFF), (0xF900, 0xFAFF), (0xFE30, 0xFE4F),
              (0xFF00, 0xFFEF), (0x1B000, 0x1B16F), (0x20000, 0x3134F)]


CJK_CLASS = "".join(f"\\u{{{lo:X}}}-\\u{{{hi:X}}}" for lo, hi in CJK_RANGES)


def is_cjk(ch):
    c = ord(ch)
    return any(lo <= c <= hi for lo, hi in CJK_RANGES)


def needs_glyph(ch):
    """Whitespace, controls and format characters (soft hyphen, zero-width
    space, variation selectors) are laid out without a glyph of their own."""
    if ch.isspace() or 0xFE00 <= ord(ch) <= 0xFE0F or 0xE0100 <= ord(ch) <= 0xE01EF:
        return False
    return unicodedata.category(ch) not in ("Cc", "Cf", "Zs", "Zl", "Zp")


def describe_char(ch):
    name = unicodedata.name(ch, "")
    return f"U+{ord(ch):04X}" + (f" {name}" if name else "")


class Fonts:
    """The installed fonts as fontconfig sees them, by PostScript name: the
    characters each has (sorted spans) and whether it covers Japanese."""

    def __init__(self):
        out = subprocess.run(
            ["fc-list", "--format", "%{postscriptname}\t%{lang}\t%{charset}\n"],
            check=True, capture_output=True, text=True, timeout=CALL_TIMEOUT).stdout
        self.ranges, self.japanese = {}, set()
        for ps, langs, charset in (line.split("\t") for line in out.splitlines()
                                   if line.count("\t") == 2 and line[0] != "\t"):
            spans = self.ranges.setdefault(ps, [])
            spans += [(int(lo, 16), int(hi or lo, 16))
                      for lo, _, hi in (item.partition("-") for item in charset.split())]
            if "ja" in langs.split("|"):
                self.japanese.add(ps)
        for spans in self.ranges.values():
            spans.sort()

    def known(self, ps):
        return ps in self.ranges

    def has(self, ps, ch):
        spans = self.ranges.get(ps, [])
        i = bisect.bisect_right(spans, (ord(ch), 0x10FFFF)) - 1
        return i >= 0 and spans[i][1] >= ord(ch)


class Chromium:
    """One headless Chromium, driven over the DevTools pipe (fd 3 in, fd 4 out)."""

    def __init__(self, workdir):
        self.profile = tempfile.mkdtemp(prefix="profile-", dir=workdir)
        self.log_path = os.path.join(workdir, "chromium.log")
        to_chromium_r, self.to_chromium = os.pipe()
        self.from_chromium, from_chromium_w = os.pipe()

        def child_fds():
            a = fcntl.fcntl(to_chromium_r, fcntl.F_DUPFD, 10)
            b = fcntl.fcntl(from_chromium_w, fcntl.F_DUPFD, 10)
            os.dup2(a, 3)
            os.dup2(b, 4)

        with open(self.log_path, "w") as log:
            self.proc = subprocess.Popen(
                [CHROMIUM, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                 "--no-first-run", "--disable-background-networking",
                 "--disable-component-update", "--disable-sync",
                 "--user-data-dir=" + self.profile, "--remote-debugging-pipe", "about:blank"],
                stdin=subprocess.DEVNULL, stdout=log, stderr=log, preexec_fn=child_fds,
                pass_fds=(3, 4), start_new_session=True)
        os.close(to_chromium_r)
        os.close(from_chromium_w)
        self.buffer = b""
        self.last_id = 0
        self.events = []
        self.session = None

    def close(self):
        try:
            self.call("Browser.close", session=False, timeout=5)
            self.proc.wait(timeout=5)
        except Exception:
            if self.proc.poll() is None:
                os.killpg(self.proc.pid, signal.SIGKILL)
                self.proc.wait()
        os.close(self.to_chromium)
        os.close(self.from_chromium)

    # The next message Chromium sends, before the deadline.
    def _receive(self, deadline):
        while b"\0" not in self.buffer:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self.from_chromium], [], [], left)[0]:
                raise TimeoutError("Chromium did not answer in time")
            data = os.read(self.from_chromium, 1 << 20)
            if not data:
                raise EOFError("Chromium closed the DevTools pipe")
            self.buffer += data
        message, _, self.buffer = self.buffer.partition(b"\0")
        return json.loads(message)

    # The first message that WANTED accepts; of the others, only replies and
    # the page's load are kept for later.
    def _wait(self, wanted, timeout):
        deadline = time.monotonic() + timeout
        while True:
            for i, e in enumerate(self.events):
                if wanted(e):
                    return self.events.pop(i)
            e = self._receive(deadline)
            if "id" in e or e.get("method") == "Page.loadEventFired":
                self.events.append(e)

    def call(self, method, params=None, session=True, timeout=CALL_TIMEOUT):
        self.last_id += 1
        message = {"id": self.last_id, "method": method, "params": params or {}}
        if session:
            message["sessionId"] = self.session
        os.write(self.to_chromium, json.dumps(message).encode() + b"\0")
        reply = self._wait(lambda e, i=self.last_id: e.get("id") == i, timeout)
        if "error" in reply:
            raise RuntimeError(f"{method}: {reply['error'].get('message')}")
        return reply["result"]

    def evaluate(self, expression):
        result = self.call("Runtime.evaluate", {
            "expression": expression, "returnByValue": True, "awaitPromise": True})
        if "exceptionDetails" in result:
            raise RuntimeError("script failed: " + json.dumps(result["exceptionDetails"])[:400])
        return result["result"].get("value")

    def open_tab(self):
        target = self.call("Target.createTarget", {"url": "about:blank"}, session=False)
        self.session = self.call("Target.attachToTarget",
                                 {"targetId": target["targetId"], "flatten": True},
                                 session=False)["sessionId"]
        for domain in ("Page", "DOM", "CSS", "Runtime"):
            self.call(domain + ".enable")

    def load(self, url, width, height, phone):
        self.call("Emulation.setDeviceMetricsOverride", {
            "width": width, "height": height, "deviceScaleFactor": 1, "mobile": phone})
        self.call("Emulation.setTouchEmulationEnabled", {"enabled": phone})
        self.events = []
        navigated = self.call("Page.navigate", {"url": url})
        if navigated.get("errorText"):
            raise RuntimeError(f"cannot open {url}: {navigated['errorText']}")
        self._wait(lambda e: e.get("method") == "Page.loadEventFired", CALL_TIMEOUT)
        self.evaluate("document.fonts.ready.then(() => true)")


# Measures how wide the page is laid out and what sticks out past the window:
# boxes, and lines of text running out of their boxes (a long line in a
# <pre>). What an ancestor clips or scrolls (overflow other than visible)
# counts only up to that ancestor's edge: a wide table in a scrolling box is
# fine (such boxes are counted, to be told). Of the elements sticking out,
# those whose parent does not (or is the body) are listed.
MEASURE_JS = r"""
((windowWidth) => {
  const root = document.documentElement;
  const limit = Math.min(windowWidth, root.clientWidth);
  const shown = (right, from) => {
    for (let a = from; a && a !== root; a = a.parentElement)
      if (getComputedStyle(a).overflowX !== 'visible')
        right = Math.min(right, a.getBoundingClientRect().right + scrollX);
    return right;
  };
  const elements = [...root.querySelectorAll('body, body *')];
  const reach = new Map();
  let scrolling = 0;
  for (const el of elements) {
    const box = el.getBoundingClientRect();
    if (box.width === 0 && box.height === 0) continue;
    if (el !== document.body && el.scrollWidth > el.clientWidth + 1 &&
        ['auto', 'scroll'].includes(getComputedStyle(el).overflowX)) scrolling++;
    reach.set(el, shown(box.right + scrollX, el.parentElement));
  }
  const walker = document.createTreeWalker(document.body, NodeFilter.SHOW_TEXT);
  const range = document.createRange();
  while (walker.nextNode()) {
    const el = walker.currentNode.parentElement;
    if (!reach.has(el)) continue;
    range.selectNodeContents(walker.currentNode);
    let right = 0;
    for (const line of range.getClientRects()) right = Math.max(right, line.right + scrollX);
    reach.set(el, Math.max(reach.get(el), shown(right, el)));
  }
  const past = new Set();
  const out = [];
  for (const el of elements) {
    const right = reach.get(el);
    if (right === undefined || right <= limit + 0.5) continue;
    past.add(el);
    // The page itself is no offender: its parts sticking out are.
    if (el === document.body) continue;
    if (past.has(el.parentElement) && el.parentElement !== document.body) continue;
    const words = (el.textContent || '').trim().split(/\s+/).slice(0, 8).join(' ');
    out.push({tag: el.tagName.toLowerCase(), id: el.id, cls: el.className.baseVal ?? el.className,
              right: Math.round(right), width: Math.round(el.getBoundingClientRect().width),
              text: words.length > 60 ? words.slice(0, 60) + '…' : words});
  }
  out.sort((a, b) => b.right - a.right);
  return {scrollWidth: Math.max(root.scrollWidth, document.body.scrollWidth),
          layoutWidth: root.clientWidth, limit,
          height: Math.max(root.scrollHeight, document.body.scrollHeight),
          sticking: past.size, offenders: out, scrolling};
})
"""

# Finds what a reader cannot follow on a narrow screen: a table wider than
# its box without a visible hint above it (or a hint above a table that
# fits) and, on the phone, a heading cell or a name in <code> that breaks
# over lines. Lines are counted from the boxes a range of text is laid out
# in: one whose middle lies below the previous line's bottom starts a line.
LAYOUT_JS = r"""
((phone) => {
  const problems = [];
  const label = el => el.textContent.trim().replace(/\s+/g, ' ').slice(0, 50);
  const lines = range => {
    let count = 0, bottom = -Infinity;
    const boxes = [...range.getClientRects()].filter(r => r.width && r.height);
    for (const r of boxes.sort((a, b) => a.top - b.top))
      if ((r.top + r.bottom) / 2 > bottom) { count++; bottom = r.bottom; }
    return count;
  };
  const shown = el => el && el.classList.contains('scroll-hint') && el.getClientRects().length &&
    getComputedStyle(el).visibility === 'visible' && el.textContent.trim() !== '';
  for (const table of document.querySelectorAll('table')) {
    if (!table.getClientRects().length) continue;
    let box = table.parentElement;
    while (box && box !== document.body && !['auto', 'scroll'].includes(getComputedStyle(box).overflowX))
      box = box.parentElement;
    if (box === document.body) box = null;
    const wide = box ? box.scrollWidth > box.clientWidth + 1
                     : table.getBoundingClientRect().right > document.documentElement.clientWidth;
    const hint = box && box.previousElementSibling;
    if (wide && !box) problems.push(['hint', `a table wider than the page, in no box that scrolls: "${label(table)}"`]);
    else if (wide && !shown(hint)) problems.push(['hint', `a table scrolls sideways with no hint shown above it: "${label(table)}"`]);
    else if (!wide && shown(hint)) problems.push(['hint', `a hint that the table scrolls, above one that fits: "${label(table)}"`]);
  }
  if (!phone) return problems;
  const cjk = /[CJK_CLASS]/u;
  const range = document.createRange();
  for (const el of document.querySelectorAll('th, code')) {
    if (!el.getClientRects().length) continue;
    if (!(el.closest('td') && cjk.test(el.textContent))) {
      range.selectNodeContents(el);
      const n = lines(range);
      if (n > 1) problems.push(['wrap', `<${el.tagName.toLowerCase()}> "${label(el)}" breaks over ${n} lines`]);
      continue;
    }
    const walker = document.createTreeWalker(el, NodeFilter.SHOW_TEXT);
    while (walker.nextNode()) {
      for (const m of walker.currentNode.data.matchAll(/[^\sCJK_CLASS]+/gu)) {
        range.setStart(walker.currentNode, m.index);
        range.setEnd(walker.currentNode, m.index + m[0].length);
        if (lines(range) > 1) problems.push(['wrap', `"${m[0]}" in the message "${label(el)}" breaks over lines`]);
      }
    }
  }
  return problems;
})
""".replace("CJK_CLASS", CJK_CLASS)

# Opens every <details>, then splits each text node at the edges of its
# Japanese runs, so that Chromium's font report for a run covers that run
# alone (the Latin around it may well use another font).
SPLIT_RUNS_JS = r"""
(() => {
  document.querySelectorAll('details').forEach(d => { d.open = true; });
  const cjk = /[CJK_CLASS]+/gu;
  const walker = document.createTreeWalker(document.body || document.documentElement,
                                           NodeFilter.SHOW_TEXT);
  const nodes = [];
  const anyCjk = new RegExp(cjk.source, 'u');  // test() on a /g pattern would carry lastIndex on
  while (walker.nextNode()) if (anyCjk.test(walker.currentNode.data)) nodes.push(walker.currentNode);
  for (let node of nodes) {
    const cuts = [];
    for (const m of node.data.matchAll(cjk)) cuts.push(m.index, m.index + m[0].length);
    let done = 0;
    for (const cut of cuts) {
      if (cut > done && cut < node.data.length + done) {
        node = node.splitText(cut - done);
        done = cut;
      }
    }
  }
  document.body && document.body.getBoundingClientRect();  // lays the pieces out
  return nodes.length;
})()
""".replace("CJK_CLASS", CJK_CLASS)

NOT_RENDERED = {"SCRIPT", "STYLE", "NOSCRIPT", "TEMPLATE", "HEAD", "TITLE"}


def overflow_problems(m, where, width):
    """The page's width as MEASURE_JS found it, as problems."""
    if m["scrollWidth"] <= m["limit"] and not m["sticking"]:
        return []
    lines = [f"{where}: the page is {m['scrollWidth']} px wide in a {width} px window "
             f"({m['sticking']} elements reach past {m['limit']} px)"]
    if m["layoutWidth"] > width:
        lines.append(f"  it is laid out {m['layoutWidth']} px wide: no "
                     '<meta name="viewport" content="width=device-width, initial-scale=1">?')
    for o in m["offenders"][:SHOWN_OFFENDERS]:
        label = o["tag"] + (f"#{o['id']}" if o["id"] else "") + \
            "".join(f".{c}" for c in str(o["cls"]).split())
        lines.append(f"  <{label}> reaches {o['right']} px, its box {o['width']} px wide: "
                     f"\"{o['text']}\"")
    if len(m["offenders"]) > SHOWN_OFFENDERS:
        lines.append(f"  ... and {len(m['offenders']) - SHOWN_OFFENDERS} more")
    return [("overflow", "\n".join(lines))]


def text_nodes(root):
    """The drawn text nodes of a DOM tree: (node, lang in effect, its
    element's own text)."""
    # (node, lang in effect, inside <head> or <script>, its element's own text)
    stack = [(root, "", False, "")]
    while stack:
        node, lang, hidden, context = stack.pop()
        if node["nodeType"] in (1, 9, 11):
            attrs = node.get("attributes", [])
            lang = dict(zip(attrs[::2], attrs[1::2])).get("lang", lang)
            hidden = hidden or node["nodeName"] in NOT_RENDERED
            children = node.get("shadowRoots", []) + node.get("children", [])
            context = "".join(c.get("nodeValue", "") for c in children if c["nodeType"] == 3)
            stack += [(child, lang, hidden, context) for child in reversed(children)]
        elif node["nodeType"] == 3 and not hidden:
            yield node, lang, context


def glyph_problems(browser, fonts, page, seen):
    """What the fonts Chromium drew each text run with cannot write, and
    Japanese outside lang="ja"; counts the glyphs per font into SEEN. Returns
    (problems, text runs, Japanese runs)."""
    problems = []
    texts = cjk_runs = 0
    root = browser.call("DOM.getDocument", {"depth": -1, "pierce": True})["root"]
    for node, lang, context in text_nodes(root):
        drawn = [ch for ch in node["nodeValue"] if needs_glyph(ch)]
        used = drawn and browser.call("CSS.getPlatformFontsForNode",
                                      {"nodeId": node["nodeId"]})["fonts"]
        if not used:
            continue  # nothing to draw, or not laid out: display: none and the like
        texts += 1
        snippet = " ".join(context.split())
        snippet = snippet if len(snippet) <= 50 else snippet[:50] + "…"
        for f in used:
            seen[f["familyName"]] = seen.get(f["familyName"], 0) + f["glyphCount"]
        unknown = [f["familyName"] for f in used if not fonts.known(f["postScriptName"])]
        if unknown:
            problems.append(("font", f"{page.name}: \"{snippet}\" is drawn with fonts fontconfig "
                                     f"does not list: {', '.join(unknown)}"))
            continue
        missing = sorted({ch for ch in drawn
                          if not any(fonts.has(f["postScriptName"], ch) for f in used)})
        if missing:
            problems.append(("glyph", f"{page.name}: \"{snippet}\" has characters none of its fonts "
                                      f"({', '.join(f['familyName'] for f in used)}) has, "
                                      f"drawn as empty boxes: "
                                      + ", ".join(describe_char(ch) for ch in missing)))
        if any(is_cjk(ch) for ch in drawn):
            cjk_runs += 1
            if lang.split("-")[0].lower() != "ja":
                problems.append(("lang", f"\"{snippet}\" (lang=\"{lang}\")"))
            wrong = [f["familyName"] for f in used if f["postScriptName"] not in fonts.japanese]
            if wrong:
                problems.append(("font", f"{page.name}: Japanese \"{snippet}\" is drawn with "
                                         f"fonts that cannot write Japanese: {', '.join(wrong)}"))
    return problems, texts, cjk_runs


def check_view(browser, fonts, page, view, screenshots):
    """Loads PAGE in one view; returns (problems, summary)."""
    name, width, height, phone = view
    started = time.monotonic()
    browser.load(page.as_uri(), width, height, phone)
    m = browser.evaluate(f"{MEASURE_JS}({width})")
    where = f"{page.name} at {width} px"
    problems = overflow_problems(m, where, width)
    problems += [(kind, f"{where}: {message}")
                 for kind, message in browser.evaluate(f"{LAYOUT_JS}({str(phone).lower()})")]
    if screenshots:
        shot = browser.call("Page.captureScreenshot", {
            "format": "png", "captureBeyondViewport": True,
            "clip": {"x": 0, "y": 0, "width": max(width, m["scrollWidth"]), "height": m["height"],
                     "scale": 1}})
        (screenshots / f"{page.stem}-{name}.png").write_bytes(base64.b64decode(shot["data"]))
    cjk_nodes = browser.evaluate(SPLIT_RUNS_JS)
    seen = {}
    found, texts, cjk_runs = glyph_problems(browser, fonts, page, seen)
    summary = (f"{where}{' (phone)' if phone else ''}: {m['scrollWidth']} px wide, "
               f"{m['height']} px tall, {m['scrolling']} boxes scroll sideways; "
               f"{texts} text runs, {cjk_runs} Japanese runs in {cjk_nodes} text nodes; fonts: "
               + (", ".join(f"{k} ({v} glyphs)" for k, v in sorted(seen.items())) or "none")
               + f"; {time.monotonic() - started:.1f} s")
    return problems + found, summary


SELF_TEST_PAGE = """<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>check_guide_pages self-test</title></head>
<body style="font-family: sans-serif">
<p lang="ja">設定を保存しました (clean)</p>
<p lang="ja">保存\U0010FFFDしました</p>
<p>Ends in a private-use character \U000F0000</p>
<p>明るさ</p>
<table><tr><td>path</td><td>C:\\Program&nbsp;Files\\{long}\\kelvo.auf</td></tr></table>
<p class="scroll-hint">scrolls sideways</p>
<div style="overflow-x: auto"><table><tr><td>scrolls in its box</td><td>{long}</td></tr></table></div>
<div style="overflow-x: auto"><table><tr><td>hintless</td><td>{long}</td></tr></table></div>
<p class="scroll-hint">scrolls sideways</p>
<div style="overflow-x: auto"><table><tr><td>fits its box</td></tr></table></div>
<table><tr><th style="width: 3em">slider name</th><td style="width: 5em">
<code lang="ja">利用可能なフォーマットがありません</code>
<code lang="ja" style="overflow-wrap: anywhere">D3DFMT_A2B10G10R10 が利用できません</code></td></tr></table>
<p style="width: 2em"><code style="overflow-wrap: anywhere">Cb(offs)</code></p>
<pre>kelvo.auf {long}</pre>
</body></html>
""".replace("{long}", "Tarnel" * 60)


FORMAT_NAME = re.compile("|".join(FORMATS))
# Comparisons of the formats belong in the paragraph the builder derives from
# the formats table; written by hand they go stale when measured again.
HAND_COMPARISON = re.compile(
    r"\b(?:fastest|quickest|slowest|(?:least|most) (?:exact|precise)|as (?:exact|fast) as)\b"
    r"|(?:最も|いちばん)(?:速|遅|正確|精度)|最速|精度の(?:低|高)い|と同じく正確", re.I)
EXACT_WORD = re.compile(r"\bexact\b|正確", re.I)


class PageText(html.parser.HTMLParser):
    """A guide page read for what it says of the formats: its language, its
    tables (rows of cell texts), the claims of the builder's paragraph
    (class "advice") as (what is said, the text naming the formats) and the
    text outside that paragraph."""

    def __init__(self, text):
        super().__init__()
        self.lang = ""
        self.tables, self.claims, self.texts_outside = [], [], []
        self.in_advice = False
        self.hidden = 0
        self.cell = self.claim = None
        self.feed(text)
        self.close()
        self.outside = "".join(self.texts_outside)

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        if tag == "html":
            self.lang = attrs.get("lang", "")
        elif tag in ("script", "style", "title"):
            self.hidden += 1
        elif tag == "p" and "advice" in (attrs.get("class") or "").split():
            self.in_advice = True
        elif tag == "span" and "data-claim" in attrs:
            self.claim = [attrs["data-claim"], ""]
        elif tag == "table":
            self.tables.append([])
        elif tag == "tr" and self.tables:
            self.tables[-1].append([])
        elif tag in ("td", "th"):
            self.cell = ""

    def handle_endtag(self, tag):
        if tag in ("script", "style", "title"):
            self.hidden -= 1
        elif tag == "p":
            self.in_advice = False
        elif tag == "span" and self.claim:
            self.claims.append(tuple(self.claim))
            self.claim = None
        elif tag in ("td", "th") and self.cell is not None and self.tables and self.tables[-1]:
            self.tables[-1][-1].append(" ".join(self.cell.split()))
            self.cell = None

    def handle_data(self, data):
        if self.cell is not None:
            self.cell += data
        if self.claim:
            self.claim[1] += data
        if not self.in_advice and not self.hidden:
            self.texts_outside.append(data)


def formats_rows(page):
    """The formats table read back from the page, in build_guide's row form,
    or None when the page has none."""
    sizes = build_guide.SIZES
    for table in page.tables:
        head, body = table[0], table[1:]
        if (len(head) == 8 and all(len(r) == 8 for r in body)
                and [r[1] for r in body] == FORMATS
                and all(size in head[6 + i] for i, size in enumerate(sizes))):
            return [{"index": r[0], "name": r[1], "typical": r[2], "normal": r[3],
                     "beyond": r[4], "carrying": r[5].removesuffix(" ms"),
                     "whole": {size: r[6 + i].removesuffix(" ms") for i, size in enumerate(sizes)}}
                    for r in body]
    return None


def words_against_table(page, rows):
    """What PAGE says of the formats that the table ROWS does not bear out."""
    facts = build_guide.format_facts(rows)
    problems = []
    for kind, text in page.claims:
        names = FORMAT_NAME.findall(text)
        table_says = facts.get(kind, ["no format"])
        if sorted(names) != sorted(table_says):
            problems.append(f"names {', '.join(names) or 'no format'} as {kind} (\"{text}\"); "
                            f"the formats table makes {', '.join(table_says)} so")
    for kind in sorted(set(facts) - {kind for kind, _ in page.claims}):
        problems.append(f"does not say which formats are {kind}")
    for table in page.tables:
        for row in table:
            if (len(row) == 3 and row[1] in FORMATS and EXACT_WORD.search(row[2])
                    and row[1] not in facts["exact"]):
                problems.append(f"calls {row[1]} exact (\"{row[2]}\"); its differences in the "
                                f"formats table are not")
    for m in HAND_COMPARISON.finditer(page.outside):
        context = " ".join(page.outside[max(0, m.start() - 40):m.end() + 40].split())
        problems.append(f"compares the formats outside the paragraph read off the table: "
                        f"\"…{context}…\"")
    return problems


def words_self_test(page, rows):
    """Runs the words check on the formats table altered: a second exact
    format (not F32, not the one recommended) made the quickest by far at
    both sizes, and of the others in the table's order the first given the
    largest typical difference, the second the largest in the normal range,
    the third the largest beyond white and black. Returns what it missed."""
    facts = build_guide.format_facts(rows)
    target = next((n for n in facts["exact"] if n not in ["F32"] + facts["recommended"]), None)
    if target is None:
        return ["the formats table has no second exact format to make the quickest"]
    spoilt = dict(zip(("typical", "normal", "beyond"),
                      [n for n in FORMATS if n != target]))
    altered = copy.deepcopy(rows)
    for row in altered:
        if row["name"] == target:
            row["whole"] = {size: f"{min(float(r['whole'][size]) for r in rows) / 2:.0f}"
                            for size in build_guide.SIZES}
        for kind, name in spoilt.items():
            if row["name"] == name:
                row[kind] = "1000"
    expected = {"recommended": [target], "exact": [
        n for n in facts["exact"] if n not in (spoilt["normal"], spoilt["beyond"])]}
    expected.update({"largest " + kind: [name] for kind, name in spoilt.items()})
    expected.update({"fastest " + size: [target] for size in build_guide.SIZES})
    got = build_guide.format_facts(altered)
    missed = [f"format_facts gives {', '.join(got[kind])} as {kind}, not {', '.join(names)}"
              for kind, names in expected.items() if got[kind] != names]
    lang = next(p for p in build_guide.PAGES if p["lang"] == page.lang)
    missed += ["the builder's paragraph for that table " + problem for problem in
               words_against_table(PageText(build_guide.formats_advice(altered, lang)), altered)]
    if not words_against_table(page, altered):
        missed.append("the page's own words passed against a table they contradict")
    return missed


def check_words(path):
    """The words check of one page: (what its self-test missed, problems)."""
    page = PageText(path.read_text(encoding="utf-8"))
    rows = formats_rows(page)
    if rows is None:
        return [], [f"{path.name}: no formats table (Format, name, ..., {build_guide.SIZES[-1]})"]
    missed = [f"{path.name}: {m}" for m in words_self_test(page, rows)]
    problems = [f"{path.name}: {p}" for p in words_against_table(page, rows)]
    print(f"{path.name}: {len(page.claims)} words about the formats checked against its table")
    return missed, problems


def report(page, found):
    """One message per problem for a page checked in every view: the fonts
    are the same in each, so what they find is said once; runs outside
    lang="ja" are gathered into one message."""
    messages = []
    for kind, message in found:
        if kind != "lang" and message not in messages:
            messages.append(message)
    runs = list(dict.fromkeys(m for kind, m in found if kind == "lang"))
    if runs:
        lines = [f"{page.name}: Japanese text outside lang=\"ja\" in {len(runs)} places, "
                 f"where CJK fonts may draw it with Chinese shapes:"]
        lines += ["  " + r for r in runs[:SHOWN_LANG]]
        if len(runs) > SHOWN_LANG:
            lines.append(f"  ... and {len(runs) - SHOWN_LANG} more")
        messages.append("\n".join(lines))
    return messages


def self_test(browser, fonts, workdir):
    """Checks a page with known faults; returns what the checker missed."""
    page = Path(workdir) / "self-test.html"
    page.write_text(SELF_TEST_PAGE, encoding="utf-8")
    # (kind, found in the message, what; None: no problem may name it)
    expected = [
        ("overflow", "<table>", "the too-wide table"),
        ("overflow", "<pre>", "the too-long line in a <pre>"),
        ("glyph", "U+10FFFD", "U+10FFFD inside Japanese text"),
        ("glyph", "U+F0000", "U+F0000 in English text"),
        ("lang", "明るさ", "Japanese outside lang=\"ja\""),
        ("hint", "hintless", "a table scrolling with no hint"),
        ("hint", "fits its box", "a hint above a table that fits"),
        ("wrap", "slider name", "a heading over two lines"),
        ("wrap", "\"Cb(offs)\"", "a name in <code> over two lines"),
        ("wrap", "\"D3DFMT_A2B10G10R10\"", "a Latin word of a message over two lines"),
        (None, "設定を保存", "flagged the clean Japanese paragraph"),
        (None, "scrolls in its box", "flagged the table that scrolls in its own box"),
        (None, "フォーマットがありません", "flagged a message wrapping between Japanese letters"),
    ]
    missed = []
    found_all = []
    for view in VIEWS:
        found, summary = check_view(browser, fonts, page, view, None)
        print("self-test: " + summary)
        for kind, needle, what in expected:
            named = {k for k, message in found if needle in message}
            # Headings and names are checked on the phone alone.
            if (named if kind is None else (view[3] or kind != "wrap") and kind not in named):
                missed.append(f"at {view[1]} px: {what}")
        found_all += found
    for message in report(page, found_all):
        print("self-test, found as it should: " + message.replace("\n", "\n    "))
    return missed


def missed_faults(what, missed):
    print(f"FAIL: {what}:\n" + "\n".join("  " + m for m in missed))
    return 1


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--screenshots", type=Path, required=True)
    parser.add_argument("pages", nargs="+", type=Path)
    args = parser.parse_args()

    def too_slow(*_):
        raise TimeoutError(f"the check took longer than {TOTAL_TIMEOUT} s")
    signal.signal(signal.SIGALRM, too_slow)
    signal.alarm(TOTAL_TIMEOUT)

    problems = [f"no page {p}" for p in args.pages if not p.is_file()]
    args.screenshots.mkdir(parents=True, exist_ok=True)
    for old in args.screenshots.glob("*.png"):
        old.unlink()

    for page in filter(Path.is_file, args.pages):
        missed, found = check_words(page)
        if missed:
            return missed_faults("the words check missed faults of an altered formats table", missed)
        problems += found

    workdir = tempfile.mkdtemp(prefix="check_guide_pages-")
    browser = None
    try:
        fonts = Fonts()
        started = time.monotonic()
        browser = Chromium(workdir)
        version = browser.call("Browser.getVersion", session=False)["product"]
        browser.open_tab()
        print(f"{version}, started in {time.monotonic() - started:.1f} s; "
              f"{len(fonts.ranges)} fonts installed, {len(fonts.japanese)} of them Japanese")
        missed = self_test(browser, fonts, workdir)
        if missed:
            return missed_faults("the checker's own test page has faults it did not report", missed)
        for page in filter(Path.is_file, args.pages):
            found = []
            for view in VIEWS:
                found_here, summary = check_view(browser, fonts, page.resolve(), view,
                                                 args.screenshots)
                print(summary)
                found += found_here
            problems += report(page, found)
    except (TimeoutError, EOFError, RuntimeError, OSError, subprocess.SubprocessError) as e:
        print(f"FAIL: {e}")
        if browser and os.path.exists(browser.log_path):
            tail = open(browser.log_path, errors="replace").readlines()[-10:]
            print("Chromium's last words:\n" + "".join(tail))
        return 1
    finally:
        signal.alarm(0)
        if browser:
            browser.close()
        shutil.rmtree(workdir, ignore_errors=True)

    print(f"screenshots in {args.screenshots}")
    for message in problems:
        print("FAIL: " + message)
    if problems:
        print(f"{len(problems)} problems in the guide's pages")
        return 1
    print("the guide's pages fit both windows and every character has its glyph")
    return 0


if __name__ == "__main__":
    sys.exit(main())
