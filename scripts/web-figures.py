#!/usr/bin/python3
"""Measures the page in headless Chromium with SwiftShader: frames per second in each scene,
where the time of a frame goes, the time from the answer to the first frame, and the size of
the page's folder gzipped.

    scripts/web-figures.py [--profile] [PAGE_DIR]

PAGE_DIR defaults to build-web. The show plays in the page (the question answered No) in real
time; in each scene the script counts the frames drawn over a few seconds of song and reads
the CPU time the browser's renderer process (the page's script: the program and the GL
emulation) and its GPU process (SwiftShader drawing) took meanwhile, from /proc. Prints one
line per figure. With --profile, `perf record` samples the GPU process for 3 s of scene 2 after
its count, and the shares of its samples by library and by thread are printed. Runs under
/usr/bin/python3, where Debian's selenium lives.
"""
import gzip
import os
import subprocess
import sys
import tempfile
import time

import web_browser

HERE = os.path.dirname(os.path.abspath(__file__))

# Scene, song seconds to measure over (inside the scene's stretch of the show).
SCENES = [(2, 4.0, 10.0), (3, 16.0, 22.0), (4, 31.0, 37.0)]


def children(pid):
    """The process ids under pid, recursively."""
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % entry) as stat:
                parent = int(stat.read().rsplit(")", 1)[1].split()[1])
        except OSError:
            continue
        if parent == pid:
            found.append(int(entry))
            found.extend(children(int(entry)))
    return found


def cpu_seconds(pids, kind):
    """CPU seconds (user and system) of the processes of one kind (--type=...)."""
    total = 0.0
    for pid in pids:
        try:
            with open("/proc/%d/cmdline" % pid) as cmdline:
                if "--type=" + kind not in cmdline.read():
                    continue
            with open("/proc/%d/stat" % pid) as stat:
                fields = stat.read().rsplit(")", 1)[1].split()
        except OSError:
            continue
        total += (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
    return total


def of_kind(pids, kind):
    for pid in pids:
        with open("/proc/%d/cmdline" % pid) as cmdline:
            if "--type=" + kind in cmdline.read():
                return pid
    return None


def profile(pid, seconds):
    """The shares of perf's samples of one process by library and by thread."""
    with tempfile.TemporaryDirectory() as out:
        data = os.path.join(out, "perf.data")
        subprocess.run(["perf", "record", "-F", "499", "-o", data, "-p", str(pid), "--", "sleep",
                        str(seconds)], check=True, capture_output=True)
        for key in ("dso", "comm"):
            report = subprocess.run(["perf", "report", "-i", data, "--sort", key, "--stdio"],
                                    check=True, capture_output=True, text=True).stdout
            rows = [line.strip() for line in report.splitlines() if "%" in line and
                    not line.startswith("#")]
            print("  by %s: %s" % ("library" if key == "dso" else "thread", "; ".join(rows[:5])))


def gzipped_size(folder):
    return sum(len(gzip.compress(open(os.path.join(folder, name), "rb").read(), 9))
               for name in sorted(os.listdir(folder)))


def main():
    arguments = [argument for argument in sys.argv[1:] if argument != "--profile"]
    folder = arguments[0] if arguments else os.path.join(HERE, "..", "build-web")
    raw = sum(os.path.getsize(os.path.join(folder, name)) for name in os.listdir(folder))
    print("page folder: %d bytes, %d bytes gzipped (-9, file by file)"
          % (raw, gzipped_size(folder)))
    page = web_browser.Page(folder)
    try:
        page.wait_for("show.state() === 'question'", "the question")
        page.run("document.getElementById('no').click()")
        page.wait_for("show.firstFrameMs() !== null", "the first frame")
        print("answer to first frame: %.1f ms" % page.run("show.firstFrameMs()"))
        processes = children(page.service.process.pid)
        for scene, start, end in SCENES:
            page.wait_for("show.clockMs() >= %d" % (start * 1000), "the scene")
            frames0 = page.run("show.framesDrawn()")
            renderer0 = cpu_seconds(processes, "renderer")
            gpu0 = cpu_seconds(processes, "gpu-process")
            wall0 = time.monotonic()
            page.wait_for("show.clockMs() >= %d" % (end * 1000), "the scene's end")
            frames = page.run("show.framesDrawn()") - frames0
            wall = time.monotonic() - wall0
            renderer = cpu_seconds(processes, "renderer") - renderer0
            gpu = cpu_seconds(processes, "gpu-process") - gpu0
            print("scene %d: %.1f fps over %.1f s; per frame %.1f ms in the renderer process "
                  "(script), %.1f ms in the GPU process (SwiftShader)"
                  % (scene, frames / wall, wall, 1000 * renderer / max(frames, 1),
                     1000 * gpu / max(frames, 1)))
            if scene == 2 and "--profile" in sys.argv:
                print("GPU process in scene 2, 3 s of samples:")
                profile(of_kind(processes, "gpu-process"), 3)
    finally:
        page.close()


if __name__ == "__main__":
    main()
