#!/usr/bin/python3
"""The gateway's live page in headless Chromium, driven through chromedriver:
waits until the page shows the module table, the module in fault and the
fault alarm's Chinese name, checks them in the DOM and writes a screenshot.

usage: page-check.py URL SCREENSHOT.png"""
import sys
import tempfile

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

FAULT_ALARM = "第2整流模块整流模块故障告警"
FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync",
         "--window-size=1280,1150"]


# Read in one script each: the page re-renders its tables on every update.
def module_rows(driver):
    return driver.execute_script(
        "return [...document.querySelectorAll('table.modules tbody tr')]"
        ".map((row) => [...row.cells].map((cell) => cell.textContent));")


def alarm_names(driver):
    return driver.execute_script(
        "return [...document.querySelectorAll('table.alarms tbody tr')]"
        ".map((row) => row.cells[0].textContent);")


def text_of(driver, selector):
    return driver.execute_script("return document.querySelector(arguments[0]).textContent;",
                                 selector)


def main(url, screenshot):
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    with tempfile.TemporaryDirectory() as profile:
        for flag in FLAGS + [f"--user-data-dir={profile}"]:
            options.add_argument(flag)
        driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
        try:
            driver.get(url)
            # Loading and the first live update; the page needs a second or two.
            WebDriverWait(driver, 30).until(
                lambda d: len(module_rows(d)) == 4 and FAULT_ALARM in alarm_names(d))
            rows = module_rows(driver)
            checks = {
                "module 1 with its value": rows[0][:3] == ["1", "12.5", "normal"],
                "module 2 in fault": rows[1][2] == "fault",
                "module 3 without communication": rows[2][1:3] == ["—", "no communication"],
                "the fault alarm by its Chinese name": FAULT_ALARM in alarm_names(driver),
                "the device online": text_of(driver, ".device .health") == "online",
                "two plots": len(driver.find_elements(By.CSS_SELECTOR, ".uplot canvas")) >= 2,
                "the live stream connected": text_of(driver, "#connection") == "live",
                "no script errors": not [entry for entry in driver.get_log("browser")
                                         if entry["level"] == "SEVERE"],
            }
            for name, ok in checks.items():
                print(f"{'ok  ' if ok else 'FAIL'} {name}")
            driver.save_screenshot(screenshot)
            return 0 if all(checks.values()) else 1
        finally:
            driver.quit()


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1], sys.argv[2]))
