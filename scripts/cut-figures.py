#!/usr/bin/python3
"""Figures for XM files that end early, as people meet them after an interrupted download.

    scripts/cut-figures.py [OUT] [--cuts N] [--header-cuts H] [--seed S] [--jobs J]
                           [--no-fidelity]

Cuts every .xm file of the fetched corpus (.cache/corpus) at N offsets drawn uniformly from
1 .. size - 1 by a seeded generator (default 14 cuts, seed 24) and, counted apart, at H offsets
before byte 74, where the song's own fields end (default 1), and writes the cut files under
OUT/cuts/ (default OUT: build/cut-figures). Renders each with $BUILD/xm_render (BUILD default:
build) and with Debian's xmp, and prints how many each renders (a WAV holding frames), how many
of those are audible (a sample above -60 dBFS) and our refusals grouped by reason. Then, unless
--no-fidelity, runs xmfidelity's corpus.py (XMFIDELITY, default ../shared/tools/xmfidelity
beside the repository) on the files cut anywhere, which renders them with openmpt123 too and
compares the renders over the span both play; its tables land in OUT/fidelity/results.md.
Writes OUT/cuts.json with every outcome. xmp, openmpt123 and python3-numpy serve these
figures only: they are installed here when missing, not by scripts/install-deps.sh.
"""

import argparse
import json
import os
import random
import re
import shutil
import subprocess
import sys
import wave
from collections import Counter
from concurrent.futures import ThreadPoolExecutor

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
RENDERER = os.path.join(REPO, os.environ.get("BUILD", "build"), "xm_render")
SILENCE = 10.0 ** (-60.0 / 20.0) * 32768  # -60 dBFS in 16-bit units
SONG_FIELDS_END = 74  # the header up to the instrument count: a file shorter than this is refused
TIMEOUT_S = 600


def songs(corpus):
    found = []
    for root, _, names in os.walk(corpus):
        found += [os.path.join(root, n) for n in names if n.lower().endswith(".xm")]
    return sorted(found)


def make_cuts(corpus, out, cuts, header_cuts, seed):
    """(cut file, whole size, cut offset, kind) for every song: "anywhere" for the uniform
    cuts, "header" for those before byte 74, each kind from its own seeded generator so that
    either count leaves the other kind's offsets as they are."""
    generator = random.Random(seed)
    header_generator = random.Random(seed + 1)
    made = []
    for path in songs(corpus):
        with open(path, "rb") as f:
            image = f.read()
        name = os.path.relpath(path, corpus).replace(os.sep, "__")[:-3]
        offsets = [(generator.randrange(1, len(image)), "anywhere") for _ in range(cuts)]
        offsets += [(header_generator.randrange(1, SONG_FIELDS_END), "header")
                    for _ in range(header_cuts)]
        for offset, kind in sorted(offsets):
            cut = os.path.join(out, kind, "%s.cut%d.xm" % (name, offset))
            os.makedirs(os.path.dirname(cut), exist_ok=True)
            with open(cut, "wb") as f:
                f.write(image[:offset])
            made.append((cut, len(image), offset, kind))
    return made


def peak(path):
    """Frames and the largest sample of a 16-bit WAV, or None when there is none to read."""
    import numpy as np  # installed by main when missing

    try:
        with wave.open(path, "rb") as w:
            if w.getsampwidth() != 2 or w.getnframes() == 0:
                return None
            data = np.frombuffer(w.readframes(w.getnframes()), dtype="<i2")
            return w.getnframes(), int(np.abs(data.astype(np.int32)).max())
    except (OSError, EOFError, wave.Error):
        return None


def render(job):
    cut, scratch = job
    base = os.path.join(scratch, os.path.basename(cut))
    outcome = {}
    commands = {
        "ours": [RENDERER, cut, base + ".ours.wav"],
        "xmp": ["xmp", "--norc", "--nocmd", "-q", "-f", "44100", "-i", "linear",
                "-o", base + ".xmp.wav", cut],
    }
    for tool, command in commands.items():
        wav = command[-1] if tool == "ours" else command[-2]
        try:
            run = subprocess.run(command, stdin=subprocess.DEVNULL, capture_output=True,
                                 timeout=TIMEOUT_S, text=True, errors="replace")
            message = run.stderr.strip().splitlines()
        except subprocess.TimeoutExpired:
            message = ["timed out"]
        found = peak(wav)
        outcome[tool] = {"rendered": found is not None,
                         "audible": found is not None and found[1] > SILENCE,
                         "seconds": round(found[0] / 44100, 2) if found else 0,
                         "message": message[-1] if message else ""}
        if os.path.exists(wav):
            os.remove(wav)
    return outcome


def reason(message):
    """Our refusal without the file name, with byte offsets folded: 'truncated at byte N, ...'."""
    text = message.split(": ", 2)[-1] if message.startswith("xm_render: cannot load") else message
    return re.sub(r"\d+", "N", text)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("out", nargs="?", default=os.path.join(REPO, "build", "cut-figures"))
    parser.add_argument("--cuts", type=int, default=14)
    parser.add_argument("--header-cuts", type=int, default=1)
    parser.add_argument("--seed", type=int, default=24)
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--no-fidelity", action="store_true")
    args = parser.parse_args()
    corpus = os.path.join(REPO, ".cache", "corpus")
    if not os.access(RENDERER, os.X_OK):
        sys.exit("cut-figures: %s is missing; build first (make build)" % RENDERER)
    missing = [tool for tool in ("xmp",) + (() if args.no_fidelity else ("openmpt123",))
               if not shutil.which(tool)]
    try:
        import numpy  # noqa: F401
    except ImportError:
        missing += ["python3-numpy", "python3-scipy"]
    if missing:
        sudo = [] if os.geteuid() == 0 else ["sudo"]
        subprocess.run(sudo + ["apt-get", "install", "-y", "-qq", "--no-install-recommends"]
                       + missing, check=True, stdout=subprocess.DEVNULL)
    if not songs(corpus):
        sys.exit("cut-figures: no corpus in %s (scripts/fetch-corpus.sh)" % corpus)

    cut_dir = os.path.join(args.out, "cuts")
    scratch = os.path.join(args.out, "scratch")
    shutil.rmtree(cut_dir, ignore_errors=True)
    os.makedirs(cut_dir)
    os.makedirs(scratch, exist_ok=True)
    made = make_cuts(corpus, cut_dir, args.cuts, args.header_cuts, args.seed)
    with ThreadPoolExecutor(max_workers=max(1, args.jobs)) as pool:
        outcomes = list(pool.map(render, [(cut, scratch) for cut, _, _, _ in made]))
    shutil.rmtree(scratch, ignore_errors=True)

    records = [{"file": os.path.basename(cut), "kind": kind, "size": size, "cut": offset,
                **outcome} for (cut, size, offset, kind), outcome in zip(made, outcomes)]
    with open(os.path.join(args.out, "cuts.json"), "w") as f:
        json.dump(records, f, indent=1)
    print("%d songs, seed %d" % (len(songs(corpus)), args.seed))
    for kind, title in (("anywhere", "cut anywhere"), ("header", "cut before byte 74")):
        group = [r for r in records if r["kind"] == kind]
        if not group:
            continue
        print("%d files %s:" % (len(group), title))
        for tool in ("ours", "xmp"):
            print("  %-4s renders %d, audible %d" % (
                tool, sum(r[tool]["rendered"] for r in group),
                sum(r[tool]["audible"] for r in group)))
        print("  xmp renders, ours does not: %d; ours renders, xmp does not: %d" % (
            sum(r["xmp"]["rendered"] and not r["ours"]["rendered"] for r in group),
            sum(r["ours"]["rendered"] and not r["xmp"]["rendered"] for r in group)))
        refusals = Counter(reason(r["ours"]["message"])
                           for r in group if not r["ours"]["rendered"])
        for text, count in refusals.most_common():
            print("  ours refused %d: %s" % (count, text))

    if not args.no_fidelity:
        tools = os.environ.get("XMFIDELITY", os.path.join(REPO, "..", "shared", "tools",
                                                           "xmfidelity"))
        subprocess.run([sys.executable, os.path.join(tools, "corpus.py"),
                        os.path.join(cut_dir, "anywhere"),
                        os.path.join(args.out, "fidelity"), "--jobs", str(args.jobs),
                        "--ours", RENDERER + " --rate 44100 {in} {out}"],
                       check=True, stdout=subprocess.DEVNULL)
        print("fidelity: %s" % os.path.join(args.out, "fidelity", "results.md"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
