#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Writes the Debian changelog from the AppStream metainfo's <releases>, newest first.

Usage: changelog.py METAINFO OUTPUT "NAME <ADDRESS>"
"""
import email.utils
import sys
import textwrap
import xml.etree.ElementTree as ET
from datetime import datetime, timezone


def items(release):
    """Each <p> or <li> of the release's description as one line of text."""
    description = release.find("description")
    if description is None:
        return ["Release " + release.get("version") + "."]
    texts = [" ".join("".join(node.itertext()).split()) for node in description.iter() if node.tag in ("p", "li")]
    return [text for text in texts if text]


def main():
    metainfo, output, maintainer = sys.argv[1:4]
    releases = ET.parse(metainfo).getroot().findall("releases/release")
    if not releases:
        sys.exit(f"changelog.py: {metainfo} has no <release>")
    entries = []
    for release in releases:
        version, date = release.get("version"), release.get("date")
        when = datetime.strptime(date, "%Y-%m-%d").replace(tzinfo=timezone.utc)
        lines = [f"tallyvue ({version}) unstable; urgency=medium", ""]
        for text in items(release):
            lines += textwrap.wrap(text, 76, initial_indent="  * ", subsequent_indent="    ")
        lines += ["", f" -- {maintainer}  {email.utils.format_datetime(when)}", ""]
        entries.append("\n".join(lines))
    with open(output, "w", encoding="utf-8") as out:
        out.write("\n".join(entries))


if __name__ == "__main__":
    main()
