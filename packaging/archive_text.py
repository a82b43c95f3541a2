#!/usr/bin/python3
"""Writes a text file as the release archive carries it, for Notepad on any
Windows: UTF-8 with a byte-order mark and CR LF line ends; @VERSION@ becomes
the release's version and @SHORT_VERSION@ its major.minor, as the plug-in's
information text shows it.

    archive_text.py SOURCE DESTINATION VERSION
"""

import sys
from pathlib import Path

source, destination, version = sys.argv[1:4]
short_version = ".".join(version.split(".")[:2])
text = Path(source).read_text(encoding="utf-8").replace("@VERSION@", version)
text = text.replace("@SHORT_VERSION@", short_version)
text = text.replace("\r\n", "\n").replace("\n", "\r\n")
Path(destination).parent.mkdir(parents=True, exist_ok=True)
Path(destination).write_bytes(b"\xef\xbb\xbf" + text.encode("utf-8"))
