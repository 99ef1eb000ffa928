#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Cuts the regular-script face the Windows program carries for PCs that have
none: AR PL UKai CN (Debian's fonts-arphic-ukai) reduced to the characters
the clock draws in it, under a family name of its own, so that it never
stands in for an installed face of the same name.

usage: make-kai-subset.py --font ukai.ttc --licence ARPHICPL.TXT.gz
                          --out kai.ttf --licence-out ARPHICPL.TXT SOURCE...

The characters: printable ASCII and Latin-1 (the digits, the colon, the
space and the long dates of Western locales), what a Chinese long date uses,
and every non-ASCII character of the SOURCE files (the program's captions and
messages). The Arphic Public License asks for its text unaltered beside the
font and for a notice in the font of how it was changed; both are written
here. Needs fontTools (Debian's fonttools); the output is the same bytes for
the same inputs.
"""

import argparse
import gzip
import shutil

from fontTools import subset

FAMILY = "FullScreenClock UKai"
LONG_DATE = "年月日星期周天一二三四五六七八九十〇零"
NOTICE = ("Subset of AR PL UKai CN made by the full-screen clock's build "
          "(resources/make-kai-subset.py): only the characters the clock draws are kept "
          "and the family is renamed to %s. The glyphs are unchanged." % FAMILY)


def characters(sources):
    wanted = {chr(c) for c in range(0x20, 0x7F)} | {chr(c) for c in range(0xA0, 0x100)}
    wanted |= set(LONG_DATE)
    for path in sources:
        with open(path, encoding="utf-8") as f:
            wanted |= {c for c in f.read() if ord(c) > 0x7F and c.isprintable()}
    return sorted(wanted)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--font", required=True)
    ap.add_argument("--licence", required=True)
    ap.add_argument("--out", required=True)
    ap.add_argument("--licence-out", required=True)
    ap.add_argument("sources", nargs="*")
    args = ap.parse_args()

    options = subset.Options()
    options.font_number = 0  # AR PL UKai CN in the collection
    options.drop_tables += ["FFTM"]  # a build stamp of the font editor
    font = subset.load_font(args.font, options)
    font.recalcTimestamp = False  # the same input gives the same bytes
    subsetter = subset.Subsetter(options)
    subsetter.populate(unicodes=[ord(c) for c in characters(args.sources)])
    subsetter.subset(font)

    names = font["name"]
    for record in list(names.names):
        if record.nameID in (1, 3, 4, 6, 16, 17):
            names.removeNames(nameID=record.nameID)
    # Windows' records only: GDI matches the family of platform 3.
    names.setName(FAMILY, 1, 3, 1, 0x409)
    names.setName("Regular", 2, 3, 1, 0x409)
    names.setName(FAMILY + " Regular", 3, 3, 1, 0x409)
    names.setName(FAMILY, 4, 3, 1, 0x409)
    names.setName(FAMILY.replace(" ", ""), 6, 3, 1, 0x409)
    names.setName(NOTICE, 10, 3, 1, 0x409)
    subset.save_font(font, args.out, options)

    with gzip.open(args.licence, "rb") as src, open(args.licence_out, "wb") as dst:
        shutil.copyfileobj(src, dst)


if __name__ == "__main__":
    main()
