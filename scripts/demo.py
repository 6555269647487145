#!/usr/bin/env python3
"""Runs the launcher with the stand-in client under Wine.

With DISPLAY set, on that display: walk with W/A/S/D, close the client's
window to end. Without it, on a virtual display: plays a short scripted walk,
saves a screenshot of the client's window and prints what the client got.
"""
import argparse
import os
import shutil
import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
BUILD = ROOT / "build" / "windows"
os.environ.setdefault("E2E_CLIENT", str(BUILD / "tests" / "client" / "client.exe"))
os.environ.setdefault("E2E_WINPROBE", str(BUILD / "tests" / "tools" / "winprobe.exe"))
os.environ.setdefault("E2E_CACHE_DIR", str(BUILD / "e2e-cache"))
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
import harness  # noqa: E402

LAUNCHER = BUILD / "Varnel Official Client.exe"
DEMO = ROOT / "build" / "demo"
# Up, up-right, right, down-right, down... a lap around the map.
WALK = ["W+ W-", "W+ D+ W- D-", "D+ D-", "S+ D+ S- D-", "S+ S-", "S+ A+ S- A-", "A+ A-", "W+ A+ W- A-"]


def lay_out_install() -> Path:
    folder = DEMO / "Varnel"
    shutil.rmtree(DEMO, ignore_errors=True)
    (folder / "bin").mkdir(parents=True)
    shutil.copyfile(LAUNCHER, folder / LAUNCHER.name)
    shutil.copyfile(os.environ["E2E_CLIENT"], folder / "bin" / "client.exe")
    (folder / "VarnelOfficial.ini").write_text("[SmartWalking]\r\nEnabled=1\r\n")
    return folder


def on_users_display() -> int:
    folder = lay_out_install()
    prefix = DEMO / "prefix"
    print("step: preparing a Wine prefix", flush=True)
    harness.copy_prefix(harness.ensure_template(Path(os.environ["E2E_CACHE_DIR"])), prefix)
    env = dict(os.environ, **harness.WINE_BASE_ENV, WINEPREFIX=str(prefix),
               CLIENT_LOG=harness.windows_path(DEMO / "client.log"))
    # The test prefix leaves windows unmanaged for a bare Xvfb; a real desktop has a window manager.
    subprocess.run(["wine", "reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "Managed", "/d", "Y", "/f"],
                   env=env, check=False, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    print(f"step: running {folder / LAUNCHER.name}; walk with W/A/S/D, close the window to end", flush=True)
    code = subprocess.run(["wine", harness.windows_path(folder / LAUNCHER.name)], env=env, cwd=folder,
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode
    subprocess.run(["wineserver", "-k"], env=env, check=False)
    print(f"launcher exit code: {code}")
    print(f"client log: {DEMO / 'client.log'}")
    return 0


def on_virtual_display() -> int:
    shutil.rmtree(DEMO, ignore_errors=True)
    with harness.WineSession() as wine:
        print(f"step: virtual display {wine.display}", flush=True)
        game = wine.install(launcher=LAUNCHER, ini=b"[SmartWalking]\r\nEnabled=1\r\n", parent=DEMO)
        run = game.start()
        client = game.client
        client.wait_ready()
        wine.focus(client)
        mark = client.mark()
        print("step: walking a lap with W/A/S/D", flush=True)
        for step in WALK:
            wine.keys(step)
        client.wait_for("move", since=mark, timeout=5)
        received = client.keys(since=mark, settle=0.5)
        shot = DEMO / "walk.png"
        shutil.copyfile(wine.screenshot(client, "walk", client_area=False), shot)
        print("step: closing the client's window", flush=True)
        wine.probe("close", hex(client.main_window))
        code = run.wait(15)
        print()
        print(f"{'what':<24} {'value'}")
        print(f"{'pressed':<24} {' '.join(WALK)}")
        print(f"{'client received':<24} {received}")
        print(f"{'client window title':<24} {client.title('main')}")
        print(f"{'launcher exit code':<24} {code}")
        print(f"{'screenshot':<24} {shot}")
        return 0 if code == 0 else 1


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--virtual", action="store_true", help="use a virtual display even when DISPLAY is set")
    args = parser.parse_args()
    if os.environ.get("DISPLAY") and not args.virtual:
        return on_users_display()
    return on_virtual_display()


if __name__ == "__main__":
    sys.exit(main())
