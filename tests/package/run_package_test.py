#!/usr/bin/python3
"""The release as a user receives it: tools/package.sh with a throw-away code-signing
certificate, the signatures, the manifests' hashes, and the installer under Wine on a fresh
prefix and two-screen Xvfb of its own: silent install, the installed copy's first start, an
upgrade while it runs, silent uninstall.

Usage: run_package_test.py --bin-dir DIR --probe EXE [--keep]
Prints one PASS/FAIL line per check and exits 1 when any check failed.
"""

import argparse
import glob
import hashlib
import json
import os
import subprocess
import sys
import time
import types
import zipfile

import yaml

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", ".."))
sys.path.insert(0, os.path.join(HERE, "..", "e2e"))
from run_e2e import Failure, Session, centred_on_black, holds, read_ppm, wait_for, winpath  # noqa: E402

SIGNER = "Quadrivue Test Signer"
UNINSTALL_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quadrivue"
RUN_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Run"
PROFILE_KEY = r"HKCU\Software\Quadrivue"
PROGRAM_FILES = ("Quadrivue.exe", "help.png", "guide.html")
KEPT_FILES = ("settings.idx", "excluded.txt")


def sha256(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def read(path):
    with open(path, "rb") as f:
        return f.read()


def cpath(s, path):
    """The C: form of a path inside the prefix, as the installer writes it."""
    return "C:\\" + os.path.relpath(path, os.path.join(s.prefix, "drive_c")).replace("/", "\\")


def make_certificate(work):
    key, cert, pfx = (os.path.join(work, n) for n in ("key.pem", "cert.pem", "cert.p12"))
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
                    "-days", "2", "-subj", f"/CN={SIGNER}", "-addext", "extendedKeyUsage=codeSigning",
                    "-addext", "keyUsage=digitalSignature"], check=True, capture_output=True)
    subprocess.run(["openssl", "pkcs12", "-export", "-inkey", key, "-in", cert, "-out", pfx,
                    "-passout", "pass:throw-away"], check=True, capture_output=True)
    return cert, pfx


def check_signature(path, cert):
    """The signer's name and a matching digest; valid once its self-signed root is trusted."""
    plain = subprocess.run(["osslsigncode", "verify", "-in", path], capture_output=True, text=True)
    if f"Subject: /CN={SIGNER}" not in plain.stdout or "self-signed certificate" not in plain.stdout + plain.stderr:
        raise Failure(f"{os.path.basename(path)}: no signature by {SIGNER}:\n{plain.stdout[-800:]}")
    trusted = subprocess.run(["osslsigncode", "verify", "-CAfile", cert, "-in", path], capture_output=True, text=True)
    if trusted.returncode != 0 or "Signature verification: ok" not in trusted.stdout:
        raise Failure(f"{os.path.basename(path)}: signature does not verify:\n{trusted.stdout[-800:]}")


def check_manifests(out, version, setup, zip_path):
    docs = {os.path.basename(p): yaml.safe_load(read(p)) for p in glob.glob(os.path.join(out, "manifests", "winget", "*"))}
    with open(os.path.join(out, "manifests", "scoop", "quadrivue.json")) as f:
        scoop = json.load(f)
    kinds = sorted(d["ManifestType"] for d in docs.values())
    if kinds != ["defaultLocale", "installer", "version"]:
        raise Failure(f"winget manifests {kinds}")
    if {d["PackageVersion"] for d in docs.values()} != {version} or scoop["version"] != version:
        raise Failure(f"versions {[d['PackageVersion'] for d in docs.values()]} {scoop['version']}, built {version}")
    (installer,) = docs["Quadrivue.Quadrivue.installer.yaml"]["Installers"]
    zipped = scoop["architecture"]["64bit"]
    for what, url, digest, path in (("winget", installer["InstallerUrl"], installer["InstallerSha256"], setup),
                                    ("scoop", zipped["url"], zipped["hash"], zip_path)):
        if str(digest).lower() != sha256(path) or not url.endswith("/" + os.path.basename(path)):
            raise Failure(f"{what}: {url} {digest}, built {os.path.basename(path)} {sha256(path)}")


def registry_values(s, key):
    """{name: data} of a key, None when it is not there."""
    rc, out = s.run(["wine", "reg", "query", key])
    if rc != 0:
        return None
    values = {}
    for line in out.splitlines():
        parts = line.strip().split(None, 2)
        if len(parts) >= 2 and parts[1].startswith("REG_"):
            values[parts[0]] = parts[2] if len(parts) == 3 else ""
    return values


def expect_registry(s, install):
    exe = f'"{cpath(s, install)}\\Quadrivue.exe"'
    uninstall = f'"{cpath(s, install)}\\Uninstall.exe"'
    want = {"DisplayName": "Quadrivue", "Publisher": "Quadrivue", "DisplayIcon": exe, "InstallLocation": cpath(s, install),
            "UninstallString": uninstall, "QuietUninstallString": uninstall + " /S", "NoModify": "0x1", "NoRepair": "0x1"}
    got = registry_values(s, UNINSTALL_KEY) or {}
    wrong = {k: got.get(k) for k, v in want.items() if got.get(k) != v}
    if wrong or int(got.get("EstimatedSize", "0"), 0) < 1000:
        raise Failure(f"uninstall key: wrong {wrong}, all {got}")
    run = (registry_values(s, RUN_KEY) or {}).get("Quadrivue")
    if run != exe:
        raise Failure(f"Run value {run!r}, want {exe!r}")
    return got["DisplayVersion"]


def running_copies(s):
    return {w["pid"] for w in s.windows() if w.get("class") == "QuadrivueShow"}


def makensis(s, version, stage, out):
    subprocess.run(["makensis", "-V2", f"-DVERSION={version}", f"-DSTAGE={stage}", f"-DOUTFILE={out}",
                    os.path.join(ROOT, "packaging", "installer.nsi")], check=True, capture_output=True)


def run_installer(s, out, version, cert):
    setup = os.path.join(out, f"Quadrivue-{version}-setup.exe")
    staged = os.path.join(s.work, "staged")
    with zipfile.ZipFile(os.path.join(out, f"Quadrivue-{version}-win64.zip")) as z:
        z.extractall(staged)
    (local,) = [p for p in glob.glob(os.path.join(s.prefix, "drive_c", "users", "*", "AppData", "Local"))
                if os.sep + "Public" + os.sep not in p]
    install = os.path.join(local, "Programs", "Quadrivue")
    profile = os.path.dirname(local)
    shortcut = os.path.join(profile, "Roaming", "Microsoft", "Windows", "Start Menu", "Programs", "Quadrivue.lnk")
    state = types.SimpleNamespace(pid=None)

    def install_fresh():
        rc, _ = s.run(["wine", setup, "/S"], timeout=120)
        missing = [n for n in PROGRAM_FILES if not os.path.exists(os.path.join(install, n)) or
                   read(os.path.join(install, n)) != read(os.path.join(staged, n))]
        if rc != 0 or missing or not os.path.exists(shortcut):
            raise Failure(f"exit {rc}, files not as packaged {missing}, shortcut {os.path.exists(shortcut)}")
        if expect_registry(s, install) != version:
            raise Failure("DisplayVersion is not the build's version")
        check_signature(os.path.join(install, "Uninstall.exe"), cert)
        return f"into {cpath(s, install)}"

    def first_start():
        s.cli("load", winpath(os.path.join(install, "help.png")), winpath(os.path.join(s.work, "help.ppm")))
        hw, hh, pixels = read_ppm(os.path.join(s.work, "help.ppm"))
        log = open(os.path.join(s.work, "installed.log"), "w")
        s.children.append(subprocess.Popen(["wine", os.path.join(install, "Quadrivue.exe")], env=s.env, cwd=install,
                                           stdout=log, stderr=subprocess.STDOUT))
        wait_for("the show window", lambda: (s.find("QuadrivueShow") or {}).get("visible"), 60)
        wait_for("Wine's tray window closed", lambda: s.probe("close-wine-tray")[0] != "closed 0", 15)
        s.wait_screen("installed-help", centred_on_black(pixels, hw, hh), 20)
        (state.pid,) = running_copies(s)
        return "help.png centred on monitor 2"

    def upgrade():
        s.cli("settings", "set", winpath(os.path.join(install, "settings.idx")), "m_nInterval=7", "m_bRandom=0")
        with open(os.path.join(install, "excluded.txt"), "w") as f:
            f.write("# kept\r\nC:\\pictures\\never.jpg\r\n")
        kept = {n: read(os.path.join(install, n)) for n in KEPT_FILES}
        newer = os.path.join(s.work, "newer")
        os.makedirs(newer)
        for n in PROGRAM_FILES:
            with open(os.path.join(newer, n), "wb") as f:
                f.write(read(os.path.join(staged, n)) + (b"\0newer build" if n == "Quadrivue.exe" else b""))
        makensis(s, "9.9.9", newer, os.path.join(s.work, "newer-setup.exe"))
        rc, _ = s.run(["wine", os.path.join(s.work, "newer-setup.exe"), "/S", f"/D={cpath(s, install)}"], timeout=120)
        if rc != 0 or read(os.path.join(install, "Quadrivue.exe")) != read(os.path.join(newer, "Quadrivue.exe")):
            raise Failure(f"exit {rc}; Quadrivue.exe replaced: no")
        changed = [n for n, data in kept.items() if read(os.path.join(install, n)) != data]
        if changed or expect_registry(s, install) != "9.9.9":
            raise Failure(f"changed by the upgrade: {changed}; DisplayVersion not 9.9.9")
        wait_for("the new copy", lambda: running_copies(s) and state.pid not in running_copies(s), 30)
        holds("one copy running", lambda: None if len(running_copies(s)) == 1 else f"copies {running_copies(s)}", 3)
        return "settings kept byte for byte, the old copy closed, one new copy runs"

    def uninstall():
        rc, _ = s.run(["wine", os.path.join(install, "Uninstall.exe"), "/S"], timeout=60)
        wait_for("the uninstaller", lambda: not os.path.exists(os.path.join(install, "Uninstall.exe")), 60)
        wait_for("the copy to end", lambda: not running_copies(s), 20)
        left = [n for n in PROGRAM_FILES if os.path.exists(os.path.join(install, n))]
        kept = [n for n in KEPT_FILES if os.path.exists(os.path.join(install, n))]
        run = (registry_values(s, RUN_KEY) or {}).get("Quadrivue")
        if rc != 0 or left or os.path.exists(shortcut) or run or registry_values(s, UNINSTALL_KEY) is not None:
            raise Failure(f"exit {rc}, left {left}, shortcut {os.path.exists(shortcut)}, Run {run!r}, "
                          f"uninstall key {registry_values(s, UNINSTALL_KEY)}")
        if kept != list(KEPT_FILES) or registry_values(s, PROFILE_KEY) is None:
            raise Failure(f"settings not kept: files {kept}, profile {registry_values(s, PROFILE_KEY)}")
        return "program, shortcut, Run value and uninstall key gone; settings kept"

    for name, step in (("silent install", install_fresh), ("installed copy starts", first_start),
                       ("upgrade while running", upgrade), ("silent uninstall", uninstall)):
        if not s.check(name, step):
            break


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--bin-dir", required=True, help="folder with Quadrivue.exe, quadrivue-cli.exe, help.png")
    parser.add_argument("--probe", required=True, help="qv_e2e_probe.exe")
    parser.add_argument("--keep", action="store_true", help="keep the temporary folder")
    args = parser.parse_args()
    s = Session(types.SimpleNamespace(artifacts=None, keep=args.keep, bin_dir=args.bin_dir, probe=args.probe))
    t0 = time.monotonic()
    out = os.path.join(s.work, "release")
    cert, pfx = make_certificate(s.work)
    try:
        env = dict(os.environ, QV_SIGN_PFX=pfx, QV_SIGN_PASSWORD="throw-away")
        env.pop("QV_SIGN_TIMESTAMP", None)
        made = subprocess.run(["bash", os.path.join(ROOT, "tools", "package.sh"), "--no-build", "--out", out],
                              env=env, capture_output=True, text=True)
        said = [line for line in made.stdout.splitlines() if line.startswith("package: made")]
        s.record("package.sh", made.returncode == 0 and bool(said), said[0] if said else made.stdout + made.stderr)
        if made.returncode == 0:
            version = next(n for n in os.listdir(out) if n.endswith("-setup.exe"))[len("Quadrivue-"):-len("-setup.exe")]
            setup = os.path.join(out, f"Quadrivue-{version}-setup.exe")
            zip_path = os.path.join(out, f"Quadrivue-{version}-win64.zip")

            def signatures():
                with zipfile.ZipFile(zip_path) as z:
                    z.extract("Quadrivue.exe", s.work)
                for path in (os.path.join(s.work, "Quadrivue.exe"), os.path.join(out, f"quadrivue-cli-{version}.exe"),
                             setup):
                    check_signature(path, cert)
                if "signed with cert.p12" not in said[0]:
                    raise Failure("package.sh does not say it signed")
                return "Quadrivue.exe in the zip, quadrivue-cli, the installer"
            s.check("signatures", signatures)
            s.check("manifests", lambda: check_manifests(out, version, setup, zip_path))
            s.start()
            s.env["WINEDLLOVERRIDES"] += ";winemenubuilder.exe=d"  # no menu entries on the Linux side
            run_installer(s, out, version, cert)
    finally:
        s.close()
    passed = sum(s.results)
    print(f"package test: {passed} passed, {len(s.results) - passed} failed in {time.monotonic() - t0:.0f} s")
    return 0 if s.results and all(s.results) else 1


if __name__ == "__main__":
    sys.exit(main())
