"""Debian's headless Chromium, driven through WebDriver (Debian's
chromedriver and python3-selenium: run under /usr/bin/python3). Nothing is
downloaded, and the browser is kept off every network but 127.0.0.1."""
import os
import shutil
import tempfile
import time

from selenium import webdriver
from selenium.webdriver.chrome.options import Options
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.remote.remote_connection import RemoteConnection

# A browser that stops answering fails its test instead of holding it until
# ctest's timeout: no WebDriver command of these tests takes a minute.
RemoteConnection.set_timeout(60)


def chromium(width, height):
    profile = tempfile.mkdtemp(prefix='pulley-chromium-')
    options = Options()
    options.binary_location = '/usr/bin/chromium'
    for flag in ('--headless=new', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
                 '--disable-background-networking', '--disable-component-update', '--disable-sync',
                 '--user-data-dir=' + profile, '--window-size=%d,%d' % (width, height)):
        options.add_argument(flag)
    driver = webdriver.Chrome(service=Service('/usr/bin/chromedriver'), options=options)
    driver.set_window_size(width, height)
    original_quit = driver.quit

    def quit():
        original_quit()
        shutil.rmtree(profile, ignore_errors=True)
    driver.quit = quit
    return driver


def viewport(driver, width, height):
    """Makes the page's viewport width x height (the window has chrome around it)."""
    driver.set_window_size(width, height)
    inner = driver.execute_script('return [window.innerWidth, window.innerHeight]')
    driver.set_window_size(2 * width - inner[0], 2 * height - inner[1])


def guide_pictures(driver, url, name, folder, settle=2):
    """The operator's guide's pictures of the page at url: at a tablet's and a
    phone's size, by day and at night, as folder/name-WxH-day.png and so on."""
    for width, height in ((800, 1280), (390, 844)):
        for night in (0, 1):
            viewport(driver, width, height)
            driver.get('%s?night=%d' % (url, night))
            time.sleep(settle)
            driver.save_screenshot(os.path.join(folder, '%s-%dx%d-%s.png' % (
                name, width, height, 'night' if night else 'day')))
