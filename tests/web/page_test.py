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

sys.path.insert(0, os.path.dirname(__file__) + "/../../scripts")
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
# the song times, and how many of the 307200 pixels may differ (docs/PERFORMANCE.md says where).
STEPPED_MS = [5000, 20000, 50000, 75000]
MOST_DIFFERING = 1500

seen = {}


def press(page, key):
    ActionChains(page.driver).send_keys(key).perform()


def play(page):
    seen["question"] = page.wait_for("show.state() === 'question' && "
                                     "[document.getElementById('question-caption').textContent, "
                                     "document.getElementById('question-text').textContent, "
                                     "document.activeElement.id]", "the question")
    page.run("show.captureSound(%d)" % (SOUND_SECONDS * RATE))
    page.run("show.grabFrames(%s)" % [ms for ms, _, _ in LIVE_FRAMES])
    press(page, Keys.RETURN)
    page.wait_for("show.state() === 'playing' && show.fullScreen()", "full screen after Return")
    # Four seconds behind another tab: no frames, but the music and its clock go on.
    page.wait_for("show.clockMs() > 6000", "6 s of song")
    page.driver.switch_to.new_window("tab")
    time.sleep(4)
    page.driver.close()
    page.driver.switch_to.window(page.driver.window_handles[0])
    seen["visibility"] = page.wait_for("show.visibilityChanges().length > 1 && "
                                       "show.visibilityChanges()", "the tab shown again")
    seen["sound"] = base64.b64decode(page.wait_for("show.capturedSound()", "the sound"))
    seen["live frames"] = page.wait_for("show.framesGrabbed() === 3 && show.grabbedFrames()",
                                        "the frames of each scene")
    seen["heard, taken"] = page.run("[show.framesHeard(), show.framesTaken()]")
    clock = page.run("show.clockMs()")
    press(page, Keys.F1)
    seen["after F1"] = page.wait_for("show.clockMs() < %d && !show.fullScreen() && "
                                     "document.title" % clock, "the restart in the page after F1")
    press(page, Keys.ESCAPE)
    seen["end"] = page.wait_for("show.state() === 'ended' && "
                                "[document.querySelector('#ended p').textContent, "
                                "document.activeElement.id]", "the end after Escape")


def step(page, desktop_dir):
    page.run("show.grabFrames(%s)" % STEPPED_MS)
    page.run("show.stepShow(5)")
    seen["stepped frames"] = page.wait_for("show.framesGrabbed() === %d && show.grabbedFrames()"
                                           % len(STEPPED_MS), "the stepped frames")
    seen["desktop output"] = tempfile.mkdtemp(prefix="page-test-")
    subprocess.run([os.path.join(desktop_dir, "show_capture"), "--out", seen["desktop output"],
                    "--at", ",".join(str(ms / 1000) for ms in STEPPED_MS)],
                   check=True, stdout=subprocess.DEVNULL)
    wav = os.path.join(seen["desktop output"], "song.wav")
    subprocess.run([os.path.join(desktop_dir, "xm_render"), "--seconds", str(SOUND_SECONDS),
                    "--embedded", wav], check=True)
    with open(wav, "rb") as file:
        seen["rendered sound"] = file.read()[44:]


class Page(unittest.TestCase):
    def test_question_is_the_programs_own_with_yes_the_default(self):
        self.assertEqual(seen["question"], ["HEJD\u00c5!", "V\u00e4lkommen?", "yes"])

    def test_scenes_show_their_colours_on_the_song_clock(self):
        for (ms, scene, corner), frame in zip(LIVE_FRAMES, seen["live frames"]):
            with self.subTest(ms=ms, scene=scene):
                self.assertGreaterEqual(frame["clockMs"], ms)
                rgb = base64.b64decode(frame["rgb"])
                shown = [rgb[p:p + 3] for p in range(0, len(rgb), 3)]
                if corner:
                    off = max(abs(got - wanted) for got, wanted in zip(shown[0], corner))
                    self.assertLessEqual(off, 1, "the corner's colour")
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
        alike = len(os.path.commonprefix([sound, expected]))
        self.assertEqual(alike // 4, len(expected) // 4, "the first frame that differs")
        heard, taken = seen["heard, taken"]
        self.assertGreater(heard, 0, "frames heard")
        self.assertLessEqual(heard, taken, "frames heard against frames taken")

    def test_f1_toggles_full_screen_and_escape_ends_the_show(self):
        self.assertEqual(seen["after F1"], "Joka's Outline Font Tutorial")
        self.assertEqual(seen["end"], ["The show has ended.", "again"])

    def test_stepped_frames_match_the_desktops_but_for_edge_pixels(self):
        for ms, frame in zip(STEPPED_MS, seen["stepped frames"]):
            with self.subTest(ms=ms):
                path = os.path.join(seen["desktop output"], "frame_%06d.png" % ms)
                _, _, desktop = compare_frames.read_png(path)
                page = base64.b64decode(frame["rgb"])
                self.assertEqual(len(desktop), len(page), "the desktop picture's size")
                with open(path.replace(".png", "_page.ppm"), "wb") as file:
                    file.write(b"P6 640 480 255\n" + page)
                # A channel off by one is the rounding of a colour: the clear colour's
                # 0.3 x 255 = 76.5 is 76 on the desktop and 77 in the browser.
                differing = sum(1 for p in range(0, len(page), 3)
                                if max(abs(page[p + c] - desktop[p + c]) for c in range(3)) > 1)
                print("%s: %d pixels differ" % (path, differing), file=sys.stderr)
                self.assertLessEqual(differing, MOST_DIFFERING)


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
