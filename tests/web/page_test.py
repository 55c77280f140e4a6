#!/usr/bin/python3
"""The page in headless Chromium with a software GL, in one browser session.

    page_test.py PAGE_DIR DESKTOP_BUILD_DIR

PAGE_DIR is the folder `make web` builds; DESKTOP_BUILD_DIR holds the xm_render and
show_capture the page's sound and pictures are held to. The session plays the show as a user
would (the question answered with Return, the tab hidden for a while, F1, Escape), then has the
page draw the show again with its clock stepped as show_capture steps it; the checks read what
the session saw. Runs under /usr/bin/python3, where Debian's selenium lives.
"""
import base64
import os
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "scripts"))
import web_browser  # noqa: E402
from selenium.webdriver.common.action_chains import ActionChains  # noqa: E402
from selenium.webdriver.common.keys import Keys  # noqa: E402

RATE = 44100
SOUND_SECONDS = 15
# Frames read while the show plays: the song time, the scene and what is seen there, the clear
# colour in the top left corner, or for the tunnel (None) a quarter of the picture or more near
# black (its far end in the fog) under white text.
LIVE_FRAMES = [
    (5000, 2, (76, 128, 255)),  # light blue (0.3, 0.5, 1)
    (15000, 3, (230, 0, 153)),  # purple (0.9, 0, 0.6)
    (31000, 4, None),
]
# Frames set beside show_capture's, the clock stepped 5 blocks (100 ms) a frame as it steps it:
# the song time and how many of the 307200 pixels may differ (docs/PERFORMANCE.md says where).
STEPPED_FRAMES = [(5000, 1500), (20000, 1500), (50000, 1500), (75000, 1500)]

seen = {}


def press(page, key):
    ActionChains(page.driver).send_keys(key).perform()


def play(page):
    page.wait_for("show.state() === 'question'", "the question")
    seen["question"] = page.run("[document.getElementById('question-caption').textContent, "
                                "document.getElementById('question-text').textContent, "
                                "document.activeElement.id]")
    page.run("show.captureSound(%d)" % (SOUND_SECONDS * RATE))
    page.run("show.grabFrames(%s)" % [ms for ms, _, _ in LIVE_FRAMES])
    press(page, Keys.RETURN)
    seen["full screen"] = page.wait_for("show.state() === 'playing' && show.fullScreen()",
                                        "full screen after Return")
    # Four seconds behind another tab: no frames, but the music and its clock go on.
    page.wait_for("show.clockMs() > 6000", "6 s of song")
    first_tab = page.driver.current_window_handle
    page.driver.switch_to.new_window("tab")
    time.sleep(4)
    page.driver.close()
    page.driver.switch_to.window(first_tab)
    seen["visibility"] = page.wait_for("show.visibilityChanges().length > 1 && "
                                       "show.visibilityChanges()", "the tab shown again")
    seen["sound"] = base64.b64decode(page.wait_for("show.capturedSound()", "the sound"))
    page.wait_for("show.framesGrabbed() === 3", "the frames of each scene")
    seen["live frames"] = page.run("show.grabbedFrames()")
    seen["heard, taken"] = page.run("[show.framesHeard(), show.framesTaken()]")
    clock = page.run("show.clockMs()")
    press(page, Keys.F1)
    seen["after F1"] = page.wait_for("show.clockMs() < %d && !show.fullScreen() && "
                                     "document.title" % clock, "the restart in the page after F1")
    press(page, Keys.ESCAPE)
    page.wait_for("show.state() === 'ended'", "the end after Escape")
    seen["end"] = page.run("[document.querySelector('#ended p').textContent, "
                           "document.activeElement.id]")


def step(page, desktop_dir):
    times = [ms for ms, _ in STEPPED_FRAMES]
    page.run("show.grabFrames(%s)" % times)
    page.run("show.stepShow(5)")
    page.wait_for("show.framesGrabbed() === %d" % len(times), "the stepped frames")
    seen["stepped frames"] = page.run("show.grabbedFrames()")
    seen["desktop frames"] = tempfile.mkdtemp(prefix="page-test-")
    subprocess.run([os.path.join(desktop_dir, "show_capture"), "--out", seen["desktop frames"],
                    "--at", ",".join(str(ms / 1000) for ms in times)],
                   check=True, stdout=subprocess.DEVNULL)
    with tempfile.TemporaryDirectory() as out:
        wav = os.path.join(out, "song.wav")
        subprocess.run([os.path.join(desktop_dir, "xm_render"), "--seconds", str(SOUND_SECONDS),
                        "--embedded", wav], check=True)
        with open(wav, "rb") as file:
            seen["rendered sound"] = file.read()[44:]


def pixels(frame):
    rgb = base64.b64decode(frame["rgb"])
    return [tuple(rgb[p:p + 3]) for p in range(0, len(rgb), 3)]


class Page(unittest.TestCase):
    def test_question_is_the_programs_own_with_yes_the_default(self):
        self.assertEqual(seen["question"], ["HEJD\u00c5!", "V\u00e4lkommen?", "yes"])

    def test_scenes_show_their_colours_on_the_song_clock(self):
        for (ms, scene, corner), frame in zip(LIVE_FRAMES, seen["live frames"]):
            with self.subTest(ms=ms, scene=scene):
                self.assertGreaterEqual(frame["clockMs"], ms)
                shown = pixels(frame)
                if corner:
                    for got, wanted in zip(shown[0], corner):
                        self.assertAlmostEqual(got, wanted, delta=1, msg="the corner's colour")
                    continue
                dark = sum(1 for p in shown if max(p) < 64)
                white = sum(1 for p in shown if min(p) > 240)
                self.assertGreater(dark, len(shown) // 4, "the tunnel's end in the fog")
                self.assertGreater(white, 1000, "the white texts")

    def test_a_hidden_tab_draws_nothing_and_the_clock_goes_on(self):
        hidden, shown = seen["visibility"][:2]
        self.assertEqual([hidden["state"], shown["state"]], ["hidden", "visible"])
        self.assertEqual(shown["framesDrawn"], hidden["framesDrawn"], "frames while hidden")
        self.assertGreater(shown["clockMs"], hidden["clockMs"], "the clock while hidden")

    def test_sound_is_the_renderers_sample_for_sample(self):
        sound = seen["sound"]
        expected = seen["rendered sound"]
        self.assertEqual(len(sound), len(expected))
        first = next((k // 4 for k in range(0, len(sound), 4)
                      if sound[k:k + 4] != expected[k:k + 4]), None)
        self.assertIsNone(first, "the first frame that differs")
        heard, taken = seen["heard, taken"]
        self.assertGreater(heard, 0, "frames heard")
        self.assertLessEqual(heard, taken, "frames heard against frames taken")

    def test_f1_toggles_full_screen_and_escape_ends_the_show(self):
        self.assertEqual(seen["after F1"], "Joka's Outline Font Tutorial")
        self.assertEqual(seen["end"], ["The show has ended.", "again"])

    def test_stepped_frames_match_the_desktops_but_for_edge_pixels(self):
        for (ms, most), frame in zip(STEPPED_FRAMES, seen["stepped frames"]):
            with self.subTest(ms=ms):
                path = os.path.join(seen["desktop frames"], "frame_%06d.png" % ms)
                _, _, desktop = compare_frames.read_png(path)
                page = base64.b64decode(frame["rgb"])
                with open(path.replace(".png", "_page.ppm"), "wb") as file:
                    file.write(b"P6 640 480 255\n" + page)
                # A channel off by one is the rounding of a colour: the clear colour's
                # 0.3 x 255 = 76.5 is 76 on the desktop and 77 in the browser.
                differing = sum(1 for p in range(0, len(page), 3)
                                if max(abs(page[p + c] - desktop[p + c]) for c in range(3)) > 1)
                print("%s: %d pixels differ" % (path, differing), file=sys.stderr)
                self.assertLessEqual(differing, most)


compare_frames = web_browser.load_script("compare_frames", "compare-frames.py")

if __name__ == "__main__":
    if not os.path.isfile(os.path.join(sys.argv[1], "index.html")):
        sys.exit("page_test: no page in %s (make web builds it)" % sys.argv[1])
    page = web_browser.Page(sys.argv[1])
    try:
        play(page)
        step(page, sys.argv[2])
    finally:
        page.close()
    unittest.main(argv=sys.argv[:1], verbosity=2)
