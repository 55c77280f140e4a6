#!/usr/bin/python3
"""The page in headless Chromium with a software GL, in one browser session.

    page_test.py PAGE_DIR DESKTOP_BUILD_DIR

PAGE_DIR is the folder `make web` builds (build-web); DESKTOP_BUILD_DIR holds the desktop's
xm_render and show_capture, which the page's sound and pictures are held to. The session plays
the show as a user would (the question answered with Return, the tab hidden for a while, F1,
Escape), then has the page draw the show with the clock stepped as show_capture steps it.
The checks then read what the session saw. Runs under /usr/bin/python3, where Debian's selenium
lives.
"""
import base64
import importlib.util
import os
import struct
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import zlib

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys

HERE = os.path.dirname(os.path.abspath(__file__))
SCRIPTS = os.path.join(HERE, "..", "..", "scripts")
WIDTH, HEIGHT = 640, 480
RATE = 44100
SOUND_SECONDS = 15
# Song times of the frames read while the show plays, the scene each lies in and what is seen:
# the clear colour in the top left corner, or for the tunnel a quarter of the picture or more
# near black (its far end in the fog) under white text.
LIVE_FRAMES = [
    # ms, scene, corner colour (None: the tunnel)
    (5000, 2, (76, 128, 255)),  # light blue (0.3, 0.5, 1)
    (15000, 3, (230, 0, 153)),  # purple (0.9, 0, 0.6)
    (31000, 4, None),
]
# Frames set beside show_capture's, with the clock stepped 5 blocks (100 ms) a frame as it steps
# it, and how many pixels may differ in each: the browser's software GL and the desktop's place
# the pixels on the very edge of a quad or a line differently (see docs/PERFORMANCE.md).
STEPPED_FRAMES = [
    # ms, differing pixels at most (of 307200)
    (5000, 1500),
    (20000, 1500),
    (50000, 1500),
    (75000, 1500),
]
CHROMIUM_FLAGS = [
    "--headless=new", "--no-sandbox", "--use-gl=angle", "--use-angle=swiftshader",
    "--enable-unsafe-swiftshader", "--disable-background-networking",
    "--disable-component-update", "--disable-sync", "--no-first-run",
    "--autoplay-policy=no-user-gesture-required", "--window-size=800,600",
]


def load_script(name, path):
    spec = importlib.util.spec_from_file_location(name, path)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


web_serve = load_script("web_serve", os.path.join(SCRIPTS, "web-serve.py"))
compare_frames = load_script("compare_frames", os.path.join(SCRIPTS, "compare-frames.py"))


def wait_for(driver, script, what, seconds=120):
    """Polls a script until it returns a true value and returns that value."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        value = driver.execute_script("return " + script)
        if value:
            return value
        time.sleep(0.1)
    raise AssertionError("the page never reached: " + what)


def write_png(path, rgb):
    """Writes 640 x 480 RGB pixels as a PNG file, to look at beside show_capture's."""
    rows = b"".join(b"\0" + rgb[y * WIDTH * 3:(y + 1) * WIDTH * 3] for y in range(HEIGHT))

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body)))

    header = struct.pack(">IIBBBBB", WIDTH, HEIGHT, 8, 2, 0, 0, 0)
    with open(path, "wb") as file:
        file.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
                   chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def differing_pixels(a, b):
    """Pixels that differ by more than the rounding of a colour to 8 bits (the clear colour's
    0.3 x 255 = 76.5 is 76 on the desktop's GL and 77 in the browser's)."""
    return sum(1 for p in range(0, len(a), 3)
               if max(abs(a[p + c] - b[p + c]) for c in range(3)) > 1)


class Session:
    """What one browser session saw, filled by run()."""

    def __init__(self, page_dir, desktop_dir):
        self.page_dir = page_dir
        self.desktop_dir = desktop_dir
        self.seen = {}

    def run(self):
        server = web_serve.serve(self.page_dir)
        threading.Thread(target=server.serve_forever, daemon=True).start()
        options = webdriver.ChromeOptions()
        for flag in CHROMIUM_FLAGS:
            options.add_argument(flag)
        options.binary_location = "/usr/bin/chromium"
        driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
        try:
            driver.get("http://127.0.0.1:%d/index.html" % server.server_address[1])
            self.play(driver)
            self.step(driver)
        finally:
            self.seen["console"] = [entry["message"] for entry in driver.get_log("browser")]
            driver.quit()
            server.shutdown()

    def play(self, driver):
        seen = self.seen
        wait_for(driver, "show.state() === 'question'", "the question")
        seen["question"] = driver.find_element(By.ID, "question-text").text
        seen["caption"] = driver.find_element(By.ID, "question-caption").text
        seen["focused"] = driver.execute_script("return document.activeElement.id")
        driver.execute_script("show.captureSound(%d)" % (SOUND_SECONDS * RATE))
        driver.execute_script("show.grabFrames(%s)" % [ms for ms, _, _ in LIVE_FRAMES])
        ActionChains(driver).send_keys(Keys.RETURN).perform()
        wait_for(driver, "show.state() === 'playing'", "playing after Return")
        seen["full screen after yes"] = driver.execute_script("return show.fullScreen()")

        # The tab hidden behind another for four seconds: no frames, the clock goes on.
        wait_for(driver, "show.clockMs() > 6000", "6 s of song")
        first_tab = driver.current_window_handle
        driver.switch_to.new_window("tab")
        time.sleep(4)
        driver.close()
        driver.switch_to.window(first_tab)
        seen["visibility"] = wait_for(driver, "show.visibilityChanges().length >= 2 && "
                                      "show.visibilityChanges()", "hidden and visible again")

        sound = wait_for(driver, "show.capturedSound()", "%d s of sound" % SOUND_SECONDS)
        seen["sound"] = base64.b64decode(sound)
        seen["live frames"] = wait_for(
            driver, "show.grabbedFrames().length === %d && show.grabbedFrames()" % len(LIVE_FRAMES),
            "the frames at %s" % [ms for ms, _, _ in LIVE_FRAMES])
        seen["heard, taken"] = driver.execute_script(
            "return [show.framesHeard(), show.framesTaken()]")
        seen["first frame ms"] = driver.execute_script("return show.firstFrameMs()")

        clock_before = driver.execute_script("return show.clockMs()")
        ActionChains(driver).send_keys(Keys.F1).perform()
        wait_for(driver, "show.clockMs() < %d" % clock_before, "the restart after F1")
        seen["f1"] = (clock_before, driver.execute_script("return show.state()"))

        ActionChains(driver).send_keys(Keys.ESCAPE).perform()
        wait_for(driver, "show.state() === 'ended'", "the end after Escape")
        seen["ended"] = driver.find_element(By.ID, "ended").text
        seen["focused at end"] = driver.execute_script("return document.activeElement.id")

    def step(self, driver):
        times = [ms for ms, _ in STEPPED_FRAMES]
        driver.execute_script("show.grabFrames(%s); show.stepShow(5)" % times)
        frames = wait_for(driver, "show.grabbedFrames().length === %d && show.grabbedFrames()"
                          % len(times), "the stepped frames", seconds=240)
        self.seen["stepped frames"] = frames
        out = tempfile.mkdtemp(prefix="page-test-")
        subprocess.run([os.path.join(self.desktop_dir, "show_capture"), "--at",
                        ",".join(str(ms / 1000) for ms in times), "--out", out],
                       check=True, stdout=subprocess.DEVNULL)
        self.seen["desktop frames"] = out


session = None


class Page(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.seen = session.seen

    def test_question_is_the_programs_own_with_yes_the_default(self):
        self.assertEqual(self.seen["question"], "V\u00e4lkommen?")
        self.assertEqual(self.seen["caption"], "HEJD\u00c5!")
        self.assertEqual(self.seen["focused"], "yes")

    def test_yes_asks_for_full_screen(self):
        self.assertTrue(self.seen["full screen after yes"])

    def test_scenes_show_their_colours_on_the_song_clock(self):
        for (ms, scene, corner), frame in zip(LIVE_FRAMES, self.seen["live frames"]):
            with self.subTest(ms=ms, scene=scene):
                rgb = base64.b64decode(frame["rgb"])
                self.assertGreaterEqual(frame["clockMs"], ms)
                if corner:
                    for got, wanted in zip(rgb[0:3], corner):
                        self.assertAlmostEqual(got, wanted, delta=1, msg="the corner's colour")
                    continue
                pixels = [tuple(rgb[p:p + 3]) for p in range(0, len(rgb), 3)]
                dark = sum(1 for p in pixels if max(p) < 64)
                white = sum(1 for p in pixels if min(p) > 240)
                self.assertGreater(dark, len(pixels) // 4, "the tunnel's far end in black fog")
                self.assertGreater(white, 1000, "the texts are white")

    def test_a_hidden_tab_draws_nothing_and_the_clock_goes_on(self):
        hidden, shown = self.seen["visibility"][:2]
        self.assertEqual((hidden["state"], shown["state"]), ("hidden", "visible"))
        self.assertEqual(shown["framesDrawn"], hidden["framesDrawn"], "frames drawn while hidden")
        self.assertGreater(shown["clockMs"], hidden["clockMs"], "the clock while hidden")

    def test_sound_is_the_renderers_sample_for_sample(self):
        with tempfile.TemporaryDirectory() as out:
            wav = os.path.join(out, "song.wav")
            subprocess.run([os.path.join(session.desktop_dir, "xm_render"), "--seconds",
                            str(SOUND_SECONDS), "--embedded", wav], check=True)
            with open(wav, "rb") as file:
                expected = file.read()[44:]
        sound = self.seen["sound"]
        self.assertEqual(len(sound), len(expected))
        first = next((k for k in range(0, len(sound), 4) if sound[k:k + 4] != expected[k:k + 4]),
                     None)
        self.assertIsNone(first, "the first frame that differs")
        heard, taken = self.seen["heard, taken"]
        self.assertGreater(heard, 0, "frames heard")
        self.assertLessEqual(heard, taken, "frames heard against frames taken")

    def test_f1_restarts_the_music_and_escape_ends_the_show(self):
        clock_before, state = self.seen["f1"]
        self.assertEqual(state, "playing")
        self.assertIn("The show has ended.", self.seen["ended"])
        self.assertEqual(self.seen["focused at end"], "again")

    def test_stepped_frames_match_the_desktops_but_for_wide_line_ends(self):
        for (ms, most), frame in zip(STEPPED_FRAMES, self.seen["stepped frames"]):
            with self.subTest(ms=ms):
                path = os.path.join(self.seen["desktop frames"], "frame_%06d.png" % ms)
                _, _, desktop = compare_frames.read_png(path)
                page = base64.b64decode(frame["rgb"])
                write_png(path.replace("frame_", "page_"), page)
                count = differing_pixels(page, desktop)
                print("%s: %d pixels differ" % (path, count), file=sys.stderr)
                self.assertLessEqual(count, most)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__.strip().splitlines()[2].strip())
    session = Session(sys.argv[1], sys.argv[2])
    session.run()
    unittest.main(argv=sys.argv[:1], verbosity=2)
