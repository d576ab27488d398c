#!/usr/bin/python3
"""Pictures of the installer's pages for the README: makes the installer of what is built
(tools/package.sh --no-build, unsigned), runs it on a fresh two-screen Xvfb and Wine prefix,
saves each page cropped to its window and presses Next, then does the same with the uninstaller
and its question about the settings (answered No).

  tools/installer-shots.py [OUT_DIR]      (OUT_DIR defaults to docs/)

Writes installer-welcome.png, installer-folder.png, installer-options.png,
installer-progress.png, installer-finish.png, uninstaller-confirm.png and uninstaller-question.png.
"""

import os
import subprocess
import sys
import tempfile
import types
import zipfile

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
from run_e2e import Dialog, Session, shot, wait_for  # noqa: E402

NEXT, IDNO = 1, 7


def titled(s, title):
    return [w for w in s.windows() if w["visible"] and w["class"] == "#32770" and w["title"].startswith(title)]


def page(s, title):
    return wait_for(title, lambda: next((Dialog(s, w) for w in titled(s, title)), None), 60)


def message_box(s, title):
    """The box a window titled title shows over itself."""
    def poll():
        found = titled(s, title)
        return next((Dialog(s, w) for w in found if w["owner"] in {o["hwnd"] for o in found}), None)
    return wait_for(f"a question over {title!r}", poll, 60)


def texts_of(dialog):
    return " ".join(dialog.texts())


def walk(s, out_dir, exe, title, steps):
    """steps: (file name, a text the page shows); each page is saved and its Next pressed."""
    proc = subprocess.Popen(["wine", exe], env=s.env, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    s.children.append(proc)
    for name, text in steps:
        dialog = wait_for(f"the page with {text!r}",
                          lambda: (lambda d: d if text in texts_of(d) else None)(page(s, title)), 60)
        print(shot(s, out_dir, name, dialog), flush=True)
        dialog.click(NEXT)
    return proc


def main():
    out_dir = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "docs"))
    work = tempfile.mkdtemp(prefix="qv-shots-")
    bin_dir = os.path.join(ROOT, "build", "windows", "bin")
    s = Session(types.SimpleNamespace(artifacts=None, keep=False, bin_dir=bin_dir,
                                      probe=os.path.join(bin_dir, "qv_e2e_probe.exe")))
    try:
        env = {k: v for k, v in os.environ.items() if not k.startswith("QV_SIGN_")}
        subprocess.run(["bash", os.path.join(ROOT, "tools", "package.sh"), "--no-build", "--out", work], env=env,
                       check=True, stdout=subprocess.DEVNULL)
        (setup,) = [os.path.join(work, n) for n in os.listdir(work) if n.endswith("-setup.exe")]
        version = os.path.basename(setup)[len("Quadrivue-"):-len("-setup.exe")]
        with zipfile.ZipFile(os.path.join(work, f"Quadrivue-{version}-win64.zip")) as z:
            z.extractall(os.path.join(work, "files"))
        # Made again with a progress page that waits for Next, so that it can be seen.
        subprocess.run(["makensis", "-V2", f"-DVERSION={version}", "-DMUI_FINISHPAGE_NOAUTOCLOSE",
                        "-DMUI_UNFINISHPAGE_NOAUTOCLOSE", f"-DOUTFILE={setup}",
                        f"-DSTAGE={os.path.join(work, 'files')}", os.path.join(ROOT, "packaging", "installer.nsi")],
                       check=True, stdout=subprocess.DEVNULL)
        s.start()
        s.env["WINEDLLOVERRIDES"] += ";winemenubuilder.exe=d"
        # No window manager runs: Wine draws the captions itself.
        s.run(["wine", "reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "Decorated", "/t", "REG_SZ", "/d", "N",
               "/f"])
        title = "Quadrivue Setup"
        walk(s, out_dir, setup, title, [("installer-welcome.png", "Welcome"), ("installer-folder.png", "Destination"),
                                        ("installer-options.png", "Choose Components"),
                                        ("installer-progress.png", "Completed"),
                                        ("installer-finish.png", "Run Quadrivue now")]).wait(timeout=60)
        (local,) = [os.path.join(d, "AppData", "Local") for d in
                    (os.path.join(s.prefix, "drive_c", "users", u) for u in os.listdir(os.path.join(s.prefix, "drive_c", "users")))
                    if os.path.basename(d) != "Public"]
        uninstaller = os.path.join(local, "Programs", "Quadrivue", "Uninstall.exe")
        title = "Quadrivue Uninstall"
        walk(s, out_dir, uninstaller, title, [("uninstaller-confirm.png", "Uninstalling from")])
        question = message_box(s, title)
        print(shot(s, out_dir, "uninstaller-question.png", question), flush=True)
        question.click(IDNO)
    finally:
        s.close()
        subprocess.run(["rm", "-rf", work])


if __name__ == "__main__":
    main()
