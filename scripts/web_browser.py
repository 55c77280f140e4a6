"""The page in headless Chromium, for the page's tests and scripts/web-figures.py: the page's
folder served on a free local port and Debian's Chromium driven through selenium, with
SwiftShader for WebGL. Import it under /usr/bin/python3, where Debian's selenium lives.
"""
import os
import threading
import time
import types

from selenium import webdriver
from selenium.webdriver.chrome.service import Service

HERE = os.path.dirname(os.path.abspath(__file__))
FLAGS = [
    "--headless=new", "--no-sandbox", "--use-gl=angle", "--use-angle=swiftshader",
    "--enable-unsafe-swiftshader", "--disable-background-networking",
    "--disable-component-update", "--disable-sync", "--no-first-run",
    "--autoplay-policy=no-user-gesture-required",
]


def load_script(name, file):
    """A script of this folder (named with a hyphen) as a module."""
    path = os.path.join(HERE, file)
    module = types.ModuleType(name)
    module.__file__ = path
    with open(path, encoding="utf-8") as source:
        exec(compile(source.read(), path, "exec"), module.__dict__)
    return module


web_serve = load_script("web_serve", "web-serve.py")


class Page:
    """The page's folder served and open in a browser window of the given size; close() ends
    both. `driver` is the selenium driver, `service` runs chromedriver."""

    def __init__(self, folder, width=800, height=600):
        self.server = web_serve.serve(folder)
        threading.Thread(target=self.server.serve_forever, daemon=True).start()
        options = webdriver.ChromeOptions()
        for flag in FLAGS + ["--window-size=%d,%d" % (width, height)]:
            options.add_argument(flag)
        options.binary_location = "/usr/bin/chromium"
        self.service = Service("/usr/bin/chromedriver")
        self.driver = webdriver.Chrome(service=self.service, options=options)
        self.driver.get("http://127.0.0.1:%d/index.html" % self.server.server_address[1])

    def run(self, script):
        return self.driver.execute_script("return " + script)

    def wait_for(self, script, what, seconds=240):
        """Polls a script until it gives a true value, and returns that value."""
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            value = self.run(script)
            if value:
                return value
            time.sleep(0.1)
        raise AssertionError("the page never reached " + what)

    def close(self):
        self.driver.quit()
        self.server.shutdown()
