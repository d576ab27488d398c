#!/usr/bin/python3
"""Files that go out with a release, made by tools/package.sh.

  release-files.py guide MARKDOWN HTML
      the user guide as one self-contained HTML file: its pictures become data URIs
  release-files.py manifests --version V --setup SETUP.exe --zip ZIP --out DIR
      the winget (version, installer, default locale) and Scoop manifests filled in from
      packaging/, with the download addresses and the SHA-256 of the built files
"""

import argparse
import base64
import hashlib
import html
import os
import re
import string
import sys

import markdown

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
PACKAGING = os.path.join(ROOT, "packaging")
# Where releases are downloaded from, with {version}: the one place to change for a real site.
RELEASE_URL_FILE = os.path.join(PACKAGING, "release-url.txt")
# The program's home page address, kept in its source.
ADDRESSES = os.path.join(ROOT, "src", "ui", "about_info.h")
MIME = {".png": "image/png", ".jpg": "image/jpeg", ".jpeg": "image/jpeg", ".gif": "image/gif"}
STYLE = """body{font-family:"Segoe UI",Tahoma,sans-serif;max-width:52em;margin:2em auto;padding:0 1em;
line-height:1.5;color:#222}h1,h2,h3{line-height:1.2}img{max-width:100%;height:auto;border:1px solid #ccc}
table{border-collapse:collapse}td,th{border:1px solid #ccc;padding:.3em .6em;text-align:left}
code,kbd{background:#f3f3f3;padding:0 .2em}"""


def inline_pictures(body, base):
    def data_uri(match):
        src = html.unescape(match.group(2))
        if re.match(r"^[a-z]+:", src):
            return match.group(0)
        path = os.path.join(base, src)
        mime = MIME.get(os.path.splitext(path)[1].lower())
        if not mime:
            sys.exit(f"release-files: {src}: not a picture the guide can embed")
        with open(path, "rb") as f:
            encoded = base64.b64encode(f.read()).decode("ascii")
        return f'{match.group(1)}"data:{mime};base64,{encoded}"'
    return re.sub(r'(<img\b[^>]*?\bsrc=)"([^"]*)"', data_uri, body)


def make_guide(source, target):
    with open(source, encoding="utf-8") as f:
        text = f.read()
    title = next((line[2:].strip() for line in text.splitlines() if line.startswith("# ")), "Quadrivue")
    body = markdown.markdown(text, extensions=["tables", "toc", "sane_lists"], output_format="html")
    body = inline_pictures(body, os.path.dirname(os.path.abspath(source)))
    page = (f'<!DOCTYPE html>\n<html lang="en">\n<head>\n<meta charset="utf-8">\n'
            f'<meta name="viewport" content="width=device-width, initial-scale=1">\n'
            f"<title>{html.escape(title)}</title>\n<style>{STYLE}</style>\n</head>\n<body>\n{body}\n</body>\n</html>\n")
    with open(target, "w", encoding="utf-8", newline="\n") as f:
        f.write(page)


def sha256(path):
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            digest.update(block)
    return digest.hexdigest()


def make_manifests(args):
    with open(RELEASE_URL_FILE, encoding="utf-8") as f:
        base = f.read().strip().format(version=args.version).rstrip("/")
    with open(ADDRESSES, encoding="utf-8") as f:
        home = re.search(r'kHomePageAddress\s*=\s*"([^"]+)"', f.read())
    if not home:
        sys.exit(f"release-files: no kHomePageAddress in {ADDRESSES}")
    values = {
        "VERSION": args.version,
        "HOME_URL": home.group(1),
        "SETUP_URL": f"{base}/{os.path.basename(args.setup)}",
        "SETUP_SHA256": sha256(args.setup).upper(),
        "ZIP_URL": f"{base}/{os.path.basename(args.zip)}",
        "ZIP_SHA256": sha256(args.zip),
    }
    made = []
    for folder, _, names in os.walk(PACKAGING):
        for name in sorted(names):
            if not name.endswith((".yaml", ".json")):
                continue
            source = os.path.join(folder, name)
            with open(source, encoding="utf-8") as f:
                filled = string.Template(f.read()).substitute(values)
            target = os.path.join(args.out, os.path.relpath(source, PACKAGING))
            os.makedirs(os.path.dirname(target), exist_ok=True)
            with open(target, "w", encoding="utf-8", newline="\n") as f:
                f.write(filled)
            made.append(target)
    for path in sorted(made):
        print(path)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    commands = parser.add_subparsers(dest="command", required=True)
    guide = commands.add_parser("guide")
    guide.add_argument("source")
    guide.add_argument("target")
    manifests = commands.add_parser("manifests")
    manifests.add_argument("--version", required=True)
    manifests.add_argument("--setup", required=True)
    manifests.add_argument("--zip", required=True)
    manifests.add_argument("--out", required=True)
    args = parser.parse_args()
    if args.command == "guide":
        make_guide(args.source, args.target)
    else:
        make_manifests(args)


if __name__ == "__main__":
    main()
