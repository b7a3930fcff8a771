#!/usr/bin/python3
"""Writes the font sets the font-list tests run against, each a folder with
its fonts and a fonts.conf that makes a program see only them:

    make_sets.py OUTDIR

  desktop     what a desktop holds that Qt lists oddly: a family from two
              foundries (one with only an italic), a family with a Japanese
              name, a typographic family beside a legacy per-weight one, a
              name with quotes in it, and two Japanese gothics that are not
              IPA's (renamed IPA fonts): "Glimra Gothic", whose Latin is
              fixed-width although fontconfig calls it proportional, and
              which fontconfig prefers for Japanese, and "Glimra PGothic".
  nojapanese  the Latin families and DejaVu Sans, no Japanese font at all.
  empty       no font.
  late.ttf    a family to install while a program runs ("Glimra Late").
"""
import os
import shutil
import subprocess
import sys

from fontTools import subset
from fontTools.ttLib import TTFont

DEJAVU = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"
IPA_DIR = "/usr/share/fonts/opentype/ipafont-gothic"
ASCII = "".join(chr(c) for c in range(0x20, 0x7F))
ENGLISH, JAPANESE = 0x409, 0x411


def name_font(font, family, style="Regular", typographic=None, japanese=None):
    """Gives the font one family name (and a Japanese one) and nothing else."""
    table = font["name"]
    table.names = [r for r in table.names if r.nameID not in (1, 2, 3, 4, 6, 16, 17)]
    ids = {1: family, 2: style, 3: family + " " + style, 4: family + " " + style,
           6: (family + "-" + style).replace(" ", "").replace("'", "").replace('"', "")}
    if typographic:
        ids[16], ids[17] = typographic
    for name_id, text in ids.items():
        table.setName(text, name_id, 3, 1, ENGLISH)
    if japanese:
        table.setName(japanese, 1, 3, 1, JAPANESE)
        table.setName(japanese + " " + style, 4, 3, 1, JAPANESE)


def latin(path, family, vendor="GLIM", style="Regular", weight=400, italic=False, typographic=None,
          japanese=None):
    font = TTFont(DEJAVU)
    options = subset.Options()
    options.layout_features = []
    options.hinting = False
    options.drop_tables += ["FFTM"]
    sub = subset.Subsetter(options)
    sub.populate(text=ASCII)
    sub.subset(font)
    name_font(font, family, style, typographic, japanese)
    os2 = font["OS/2"]
    os2.achVendID = vendor
    os2.usWeightClass = weight
    os2.fsSelection = (os2.fsSelection & ~0x61) | (0x01 if italic else 0x40)
    font["head"].macStyle = 0x02 if italic else 0
    font["post"].italicAngle = -12.0 if italic else 0.0
    font.save(path)


def gothic(path, source, family, japanese, fixed_latin_said_proportional=False):
    font = TTFont(os.path.join(IPA_DIR, source), lazy=True)
    name_font(font, family, japanese=japanese)
    if fixed_latin_said_proportional:
        # One glyph of a third width: fontconfig no longer calls the font
        # dual-width, though every Latin letter keeps one width (VL Gothic).
        hmtx = font["hmtx"]
        glyph = font.getBestCmap()[ord("あ")]
        width, lsb = hmtx[glyph]
        hmtx[glyph] = (width * 3 // 4, lsb)
    font.save(path)


def write_conf(folder, fonts, prefer):
    aliases = "".join("<family>%s</family>" % f for f in prefer)
    with open(os.path.join(folder, "fonts.conf"), "w") as f:
        f.write('<?xml version="1.0"?>\n<!DOCTYPE fontconfig SYSTEM "fonts.dtd">\n<fontconfig>\n'
                + "".join("  <dir>%s</dir>\n" % d for d in fonts)
                + '  <cachedir>%s</cachedir>\n' % os.path.join(folder, "cache")
                + '  <alias binding="same"><family>sans-serif</family><prefer>%s</prefer></alias>\n' % aliases
                + "</fontconfig>\n")
    env = dict(os.environ, FONTCONFIG_FILE=os.path.join(folder, "fonts.conf"))
    subprocess.run(["fc-cache", "-f"], env=env, check=True, stdout=subprocess.DEVNULL)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    out = os.path.abspath(sys.argv[1])
    latin_dir = os.path.join(out, "latin")
    japanese_dir = os.path.join(out, "japanese")
    for d in (latin_dir, japanese_dir, os.path.join(out, "desktop"), os.path.join(out, "nojapanese"),
              os.path.join(out, "empty", "fonts")):
        os.makedirs(d, exist_ok=True)
    fonts = [
        # The foundry Qt lists first has only the italic.
        ("duo-a-italic.ttf", dict(family="Glimra Duo", vendor="AAAA", style="Italic", italic=True)),
        ("duo-b-regular.ttf", dict(family="Glimra Duo", vendor="BBBB")),
        ("duo-b-italic.ttf", dict(family="Glimra Duo", vendor="BBBB", style="Italic", italic=True)),
        ("kana.ttf", dict(family="Glimra Kana", japanese="グリムラかな")),
        ("type-regular.ttf", dict(family="Glimra Type", typographic=("Glimra Type", "Regular"))),
        ("type-black.ttf", dict(family="Glimra Type Black", weight=900, typographic=("Glimra Type", "Black"))),
        ("quoted.ttf", dict(family="O'Brien \"Quoted\"")),
    ]
    for file, args in fonts:
        latin(os.path.join(latin_dir, file), **args)
    gothic(os.path.join(japanese_dir, "gothic.ttf"), "ipag.ttf", "Glimra Gothic", "グリムラゴシック", True)
    gothic(os.path.join(japanese_dir, "pgothic.ttf"), "ipagp.ttf", "Glimra PGothic", "グリムラPゴシック")
    latin(os.path.join(out, "late.ttf"), "Glimra Late")
    dejavu = os.path.join(out, "dejavu")
    os.makedirs(dejavu, exist_ok=True)
    shutil.copy(DEJAVU, dejavu)
    write_conf(os.path.join(out, "desktop"), [latin_dir, japanese_dir, dejavu],
               ["Glimra Gothic", "Glimra PGothic", "DejaVu Sans"])
    write_conf(os.path.join(out, "nojapanese"), [latin_dir, dejavu], ["DejaVu Sans"])
    write_conf(os.path.join(out, "empty"), [os.path.join(out, "empty", "fonts")], [])


if __name__ == "__main__":
    main()
