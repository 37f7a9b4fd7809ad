#!/usr/bin/python3
"""The gateway's live page in headless Chromium, driven through chromedriver,
and writes a screenshot.

online (default): waits until the page shows the module table, the module in
fault and the fault alarm's Chinese name, and checks them in the DOM with the
configured labels (system_value "bus voltage" in V, module_value "rectifier
current" in A) and the times (local 24-hour text, ISO 8601 with the offset as
the tooltip).
offline: waits until the device's card is greyed and says "offline since
HH:MM:SS".

usage: page-check.py URL SCREENSHOT.png [online|offline]"""
import re
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
LOCAL_TIME = re.compile(r"\d{2}:\d{2}:\d{2}")
LOCAL_DATE_TIME = re.compile(r"\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}")
ISO_WITH_OFFSET = re.compile(r"\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2}[+-]\d{2}:\d{2}")


# Read in one script each: the page re-renders its tables on every update.
def module_rows(driver):
    return driver.execute_script(
        "return [...document.querySelectorAll('table.modules tbody tr')]"
        ".map((row) => [...row.cells].map((cell) => cell.textContent));")


def table_cells(driver, selector):
    return driver.execute_script(
        "return [...document.querySelectorAll(arguments[0] + ' tbody tr')]"
        ".map((row) => [...row.cells].map((cell) => [cell.textContent, cell.title]));", selector)


def alarm_names(driver):
    return [row[0][0] for row in table_cells(driver, "table.alarms")]


def text_of(driver, selector):
    return driver.execute_script("return document.querySelector(arguments[0]).textContent;",
                                 selector)


def title_of(driver, selector):
    return driver.execute_script("return document.querySelector(arguments[0]).title;", selector)


def legend(driver, plot):
    return driver.execute_script(
        "return [...document.querySelectorAll(arguments[0] + ' .u-legend .u-label')]"
        ".map((label) => label.textContent);", plot)


def stale(driver):
    return driver.execute_script(
        "return document.querySelector('.device').classList.contains('stale');")


def no_script_errors(driver):
    return not [entry for entry in driver.get_log("browser") if entry["level"] == "SEVERE"]


def online_checks(driver):
    WebDriverWait(driver, 30).until(
        lambda d: len(module_rows(d)) == 4 and FAULT_ALARM in alarm_names(d))
    rows = module_rows(driver)
    system = {row[0][0]: row[2][0] for row in table_cells(driver, "table.system")}
    since = [row[3] for row in table_cells(driver, "table.alarms")]
    return {
        "module 1 with its value": rows[0][:3] == ["1", "12.5", "normal"],
        "module 2 in fault": rows[1][2] == "fault",
        "module 3 without communication": rows[2][1:3] == ["—", "no communication"],
        "the fault alarm by its Chinese name": FAULT_ALARM in alarm_names(driver),
        "the alarms' times local, 24-hour, ISO 8601 with the offset as tooltip":
            all(LOCAL_DATE_TIME.fullmatch(text) and ISO_WITH_OFFSET.fullmatch(title)
                for text, title in since),
        "the system value by its label and unit": system.get("bus voltage") == "V",
        "the module column by its label": text_of(driver, ".module-value-heading")
        == "rectifier current (A)",
        "the system plot by its label": text_of(driver, ".system-plot-heading")
        == "bus voltage (V)" and "bus voltage (V)" in legend(driver, ".system-plot"),
        "the module plot's lines by the label": "rectifier current 1 (A)"
        in legend(driver, ".module-plot"),
        "the device online": text_of(driver, ".device .health") == "online",
        "the card not greyed": not stale(driver),
        "the update's time as tooltip": bool(ISO_WITH_OFFSET.fullmatch(
            title_of(driver, ".device .age"))),
        "two plots": len(driver.find_elements(By.CSS_SELECTOR, ".uplot canvas")) >= 2,
        "the live stream connected": text_of(driver, "#connection") == "live",
        "no script errors": no_script_errors(driver),
    }


def offline_checks(driver):
    WebDriverWait(driver, 30).until(lambda d: len(module_rows(d)) == 4 and stale(d))
    age = text_of(driver, ".device .age")
    return {
        "the device offline": text_of(driver, ".device .health") == "offline",
        "the card greyed": stale(driver),
        "offline since a local 24-hour time": age.startswith("offline since ")
        and bool(LOCAL_TIME.fullmatch(age[len("offline since "):])),
        "since when as ISO 8601 with the offset": bool(ISO_WITH_OFFSET.fullmatch(
            title_of(driver, ".device .age"))),
        "no script errors": no_script_errors(driver),
    }


def main(url, screenshot, expect):
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    with tempfile.TemporaryDirectory() as profile:
        for flag in FLAGS + [f"--user-data-dir={profile}"]:
            options.add_argument(flag)
        driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
        try:
            driver.get(url)
            # Loading and the first live update; the page needs a second or two.
            checks = offline_checks(driver) if expect == "offline" else online_checks(driver)
            for name, ok in checks.items():
                print(f"{'ok  ' if ok else 'FAIL'} {name}")
            driver.save_screenshot(screenshot)
            return 0 if all(checks.values()) else 1
        finally:
            driver.quit()


if __name__ == "__main__":
    if len(sys.argv) not in (3, 4) or sys.argv[3:] not in ([], ["online"], ["offline"]):
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1], sys.argv[2], sys.argv[3] if len(sys.argv) == 4 else "online"))
