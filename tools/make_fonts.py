#!/usr/bin/python3
"""Writes COUNT small font families and a fontconfig file that lists only them.

    make_fonts.py OUTDIR COUNT [--japanese]

Each family is a copy of a Latin subset of DejaVu Sans named
"Glimra Test 00001", "Glimra Test 00002", ... Only the digits differ, so the
template is built once with fontTools and the copies are patched in place:
thousands of families take well under a second. --japanese adds the IPA
gothic fonts (the label font's stand-in and a fallback for Japanese text).

    make_fonts.py OUTDIR COUNT --beside=ipa|noto-cjk|dejavu [--noto-cjk=FILE]

--beside chooses what sits beside the generated families: the IPA gothics
(as --japanese), Noto Sans CJK JP instead (FILE, or the one installed under
/usr/share/fonts; exit status 3 when there is none), or no Japanese font at
all, only DejaVu Sans.

Point FONTCONFIG_FILE at OUTDIR/fonts.conf to make a program see only these.
"""
import os
import subprocess
import sys

from fontTools import subset
from fontTools.ttLib import TTFont

SOURCE = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"
JAPANESE_DIR = "/usr/share/fonts/opentype/ipafont-gothic"
PLACEHOLDER = "QZQZQ"
TEXT = "".join(chr(c) for c in range(0x20, 0x7F))


def template():
    font = TTFont(SOURCE)
    options = subset.Options()
    options.name_IDs = [1, 2, 3, 4, 5, 6, 16, 17]
    options.layout_features = []
    options.hinting = False
    sub = subset.Subsetter(options)
    sub.populate(text=TEXT)
    sub.subset(font)
    name = font["name"]
    for rec in list(name.names):
        if rec.nameID in (1, 4, 16):
            rec.string = "Glimra Test " + PLACEHOLDER
        elif rec.nameID == 3:
            rec.string = "GlimraTest-" + PLACEHOLDER
        elif rec.nameID == 6:
            rec.string = "GlimraTest-" + PLACEHOLDER
        elif rec.nameID in (2, 17):
            rec.string = "Book"
    path = "/tmp/.glimra-template-%d.ttf" % os.getpid()
    font.save(path)
    with open(path, "rb") as f:
        data = f.read()
    os.remove(path)
    return data


def find_noto_cjk():
    for root, _, files in os.walk("/usr/share/fonts"):
        for name in ("NotoSansCJK-Regular.ttc", "NotoSansCJKjp-Regular.otf"):
            if name in files:
                return os.path.join(root, name)
    return None


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    out = os.path.abspath(sys.argv[1])
    count = int(sys.argv[2])
    japanese = "--japanese" in sys.argv[3:]
    beside = "ipa" if japanese else None
    noto = None
    for arg in sys.argv[3:]:
        if arg.startswith("--beside="):
            beside = arg.split("=", 1)[1]
        elif arg.startswith("--noto-cjk="):
            noto = arg.split("=", 1)[1]
    if beside not in (None, "ipa", "noto-cjk", "dejavu"):
        sys.exit("--beside takes ipa, noto-cjk or dejavu")
    if beside == "noto-cjk":
        noto = noto or find_noto_cjk()
        if not noto or not os.path.isfile(noto):
            print("no Noto Sans CJK font installed", file=sys.stderr)
            sys.exit(3)
    fonts = os.path.join(out, "fonts")
    os.makedirs(fonts, exist_ok=True)
    data = template()
    wide = PLACEHOLDER.encode("utf-16-be")
    narrow = PLACEHOLDER.encode("ascii")
    for i in range(1, count + 1):
        digits = "%05d" % i
        patched = data.replace(wide, digits.encode("utf-16-be")).replace(narrow, digits.encode("ascii"))
        with open(os.path.join(fonts, "glimra-test-%s.ttf" % digits), "wb") as f:
            f.write(patched)
    dirs = ["<dir>%s</dir>" % fonts]
    if beside == "ipa":
        dirs.append("<dir>%s</dir>" % JAPANESE_DIR)
    elif beside == "dejavu":
        dirs.append("<dir>%s</dir>" % os.path.dirname(SOURCE))
    elif beside == "noto-cjk":
        # The one file alone: its directory may hold the serif and the bold.
        link = os.path.join(out, "noto-cjk")
        os.makedirs(link, exist_ok=True)
        target = os.path.join(link, os.path.basename(noto))
        if not os.path.exists(target):
            os.symlink(os.path.abspath(noto), target)
        dirs.append("<dir>%s</dir>" % link)
    with open(os.path.join(out, "fonts.conf"), "w") as f:
        f.write('<?xml version="1.0"?>\n<!DOCTYPE fontconfig SYSTEM "fonts.dtd">\n<fontconfig>\n  %s\n'
                '  <cachedir>%s</cachedir>\n</fontconfig>\n' % ("\n  ".join(dirs), os.path.join(out, "cache")))
    # Scan the fonts once here, so that the first program to use them does
    # not spend seconds building fontconfig's cache.
    env = dict(os.environ, FONTCONFIG_FILE=os.path.join(out, "fonts.conf"))
    subprocess.run(["fc-cache", "-f"], env=env, check=False, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


if __name__ == "__main__":
    main()
