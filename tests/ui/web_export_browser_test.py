#!/usr/bin/python3
"""Exports a project as a web site with the batch command and clicks through its outline in
headless Chromium: nested lists start hidden, a click on a node entry shows its list and loads
its page into the frame "main", a second click hides the list again.

Usage: web_export_browser_test.py ORVENDA PROJECT.RSK [SCREENSHOT.png]
"""
import os
import shutil
import subprocess
import sys
import tempfile

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

failures = []


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what)
    if not condition:
        failures.append(what)


def start_browser(profile):
    options = webdriver.ChromeOptions()
    binary = shutil.which("chromium") or "/usr/bin/chromium"
    options.binary_location = binary
    for arg in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                "--window-size=1000,560", "--user-data-dir=" + profile):
        options.add_argument(arg)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    driver = shutil.which("chromedriver") or "/usr/bin/chromedriver"
    return webdriver.Chrome(service=Service(driver), options=options)


def entry(browser, text):
    """The <li> of the outline entry whose link shows `text` (blanks are &nbsp;)."""
    for item in browser.find_elements(By.TAG_NAME, "li"):
        link = item.find_element(By.XPATH, "./a")
        # textContent: hidden entries have no visible text. The mark ("1" or "2") comes first.
        if link.get_attribute("textContent").replace("\u00a0", " ")[2:] == text:
            return item, link
    raise AssertionError("no outline entry " + text)


def own_list(item):
    lists = item.find_elements(By.XPATH, "./ul")
    return lists[0] if lists else None


def main_page(browser):
    browser.switch_to.default_content()
    browser.switch_to.frame("main")
    href = browser.execute_script("return location.href")
    title = browser.execute_script("return document.title")
    browser.switch_to.default_content()
    browser.switch_to.frame("contents")
    return href, title


def wait_main(browser, page):
    try:
        WebDriverWait(browser, 5).until(lambda b: main_page(b)[0].endswith(page))
    except Exception:
        pass
    return main_page(browser)


def main():
    orvenda, project = sys.argv[1], sys.argv[2]
    screenshot = sys.argv[3] if len(sys.argv) > 3 else None
    work = tempfile.mkdtemp(prefix="orvenda-web-")
    browser = None
    try:
        site = os.path.join(work, "site")
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        run = subprocess.run([orvenda, "--web-export", project, "--output", site], env=env,
                             capture_output=True, text=True, timeout=60)
        check(run.returncode == 0, "the batch export succeeds " + run.stderr.strip())
        if run.returncode != 0:
            return 1

        browser = start_browser(os.path.join(work, "profile"))
        browser.get("file://" + os.path.join(site, "index.htm"))
        browser.switch_to.frame("contents")
        WebDriverWait(browser, 5).until(
            lambda b: b.execute_script("return document.readyState") == "complete")

        hala, hala_link = entry(browser, "Hala A")
        lis, _ = entry(browser, "Lis CKV 250")
        sklad, _ = entry(browser, "Sklad")
        top = browser.find_element(By.XPATH, "/html/body/ul")
        check(top.is_displayed(), "the top-level list is open")
        check(hala_link.is_displayed() and sklad.is_displayed(), "the top-level entries show")
        check(not own_list(hala).is_displayed() and not own_list(sklad).is_displayed(),
              "nested lists start hidden")
        check(not lis.is_displayed(), "entries of nested lists start hidden")

        hala_link.click()
        check(own_list(hala).is_displayed(), "a click on a node entry shows its list")
        check(lis.is_displayed(), "the node's children show")
        check(not own_list(lis).is_displayed(), "the lists below the children stay hidden")
        check(not own_list(sklad).is_displayed(), "other nodes' lists stay hidden")
        href, title = wait_main(browser, "data/00000001.htm")
        check(href.endswith("/data/00000001.htm") and title == "Hala A",
              "the node's page is in the frame main (%s, %s)" % (href, title))

        hluk, hluk_link = entry(browser, "Hluk")
        hluk_link.click()
        href, title = wait_main(browser, "data/00000004.htm")
        check(href.endswith("/data/00000004.htm") and title == "Hluk",
              "a risk entry shows its page (%s, %s)" % (href, title))
        check(own_list(hala).is_displayed(), "a click on a risk entry leaves the lists alone")

        if screenshot:
            lis_link = lis.find_element(By.XPATH, "./a")
            lis_link.click()
            wait_main(browser, "data/00000002.htm")
            entry(browser, "Úder beranem")[1].click()
            wait_main(browser, "data/00000003.htm")
            browser.switch_to.default_content()
            browser.save_screenshot(screenshot)
            browser.switch_to.frame("contents")
            lis_link.click()  # closed again for the checks below

        hala_link.click()
        check(not own_list(hala).is_displayed(), "a second click hides the list")
        check(not lis.is_displayed(), "the children hide with it")

        errors = [e for e in browser.get_log("browser") if e.get("level") == "SEVERE"]
        check(not errors, "no script errors %s" % errors)
    finally:
        if browser is not None:
            browser.quit()
        shutil.rmtree(work, ignore_errors=True)
    print("web export in chromium: %d failed" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
