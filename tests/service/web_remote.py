#!/usr/bin/python3
"""The web remote in a real browser: Debian's chromium, headless, driven through
chromedriver by Selenium, against quellatond and a simulated unit. The page shows the unit,
its controls carry labels for screen readers, a click on a way's mute sends that way's block
to the line, and an edit made by another client appears on the page.

    web_remote.py QUELLATOND QUELLATON_CLI QUELLATON_UNIT_SIM [--screenshot PNG [--size WxH]]
"""
import json
import os
import re
import subprocess
import sys
import tempfile
import time
import urllib.request

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By

TIMEOUT = 15


def wait_until(what, check, timeout=TIMEOUT):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = check()
        if value:
            return value
        time.sleep(0.1)
    raise AssertionError("timed out: " + what)


def frames(log):
    try:
        with open(log) as f:
            return [line.split()[0] for line in f if line.strip()]
    except FileNotFoundError:
        return []


def unit_parameters(cli, work, state):
    """The unit's working set as quellaton-cli show --json reads it from the state file."""
    with open(state) as f:
        image = next(line.split()[-1] for line in f if line.startswith("unit 1 image "))
    path = os.path.join(work, "unit.sps")
    with open(path, "w") as f:
        f.write("A5A5A500520028000140%s00AA\r\n" % image)
    out = subprocess.run([cli, "show", "--json", path], check=True, capture_output=True, text=True)
    return {(r["section"], r["parameter"]): r["value"] for r in json.loads(out.stdout)["parameters"]}


def request(method, url, body=None):
    data = None if body is None else json.dumps(body).encode()
    req = urllib.request.Request(url, data=data, method=method,
                                 headers={"Content-Type": "application/json"})
    with urllib.request.urlopen(req, timeout=10) as reply:
        return reply.status, json.loads(reply.read() or b"{}")


def main():
    service_program, cli, sim_program = sys.argv[1:4]
    screenshot = None
    size = (420, 900)  # a phone-sized screen
    args = sys.argv[4:]
    while args:
        if args[0] == "--screenshot":
            screenshot = args[1]
        elif args[0] == "--size":
            size = tuple(int(v) for v in args[1].split("x"))
        args = args[2:]

    processes = []
    work = tempfile.mkdtemp()
    driver = None
    try:
        link = os.path.join(work, "line")
        log = os.path.join(work, "frames.log")
        state = os.path.join(work, "units.state")
        sim = subprocess.Popen([sim_program, "--link", link, "--ids", "1", "--log", log,
                                "--state", state], stdout=subprocess.PIPE, text=True)
        processes.append(sim)
        assert sim.stdout.readline().strip() == "ready", "the simulator did not start"
        service = subprocess.Popen([service_program, "--port", link, "--ids", "1-1", "--listen",
                                    "127.0.0.1:0", "--interval", "0.5"],
                                   stdout=subprocess.PIPE, text=True)
        processes.append(service)
        base = re.search(r"listening on (http://\S+/)", service.stdout.readline()).group(1)

        options = webdriver.ChromeOptions()
        options.binary_location = "/usr/bin/chromium"
        for argument in ("--headless=new", "--no-sandbox", "--disable-gpu",
                         "--disable-dev-shm-usage", "--window-size=%d,%d" % size):
            options.add_argument(argument)
        driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
        driver.set_page_load_timeout(TIMEOUT)
        driver.get(base)

        # The unit appears, online, with its temperature and attenuation.
        mute = wait_until("the High mute control is usable", lambda: next(
            (e for e in driver.find_elements(By.ID, "u1-1-mute-high") if e.is_enabled()), None))
        state_text = driver.find_element(By.ID, "u1-1-state").text
        assert state_text == "online", state_text
        wait_until("the temperature is shown",
                   lambda: re.search(r"\d+ °C", driver.find_element(By.ID, "u1-1-temperature").text))
        assert "dB" in driver.find_element(By.ID, "u1-1-attenuation").text

        # Every control has a name for screen readers.
        for element in driver.find_elements(By.CSS_SELECTOR, "input, select, button"):
            if not element.is_displayed():
                continue
            name = element.accessible_name
            assert name, "a control without an accessible name: %s" % element.get_attribute("id")
        assert mute.accessible_name == "High mute", mute.accessible_name
        assert driver.find_element(By.ID, "u1-1-gain-mid").accessible_name == "Mid gain"
        assert driver.find_element(By.ID, "u1-1-level").accessible_name == "Main level"

        # The curve of the section is drawn from the service's model.
        wait_until("the response curve is drawn",
                   lambda: driver.find_elements(By.CSS_SELECTOR, "#u1-1 .curve polyline"))

        # A click on High's mute: its block reaches the line, and the unit is muted.
        assert unit_parameters(cli, work, state)[("High", "Mute")] == "off"
        before = len(frames(log))
        mute.click()
        wait_until("the High output block reaches the line", lambda: any(
            f.startswith("A5A5A500A1000000") for f in frames(log)[before:]))
        wait_until("the unit is muted",
                   lambda: unit_parameters(cli, work, state)[("High", "Mute")] == "on")

        # Another client's edit shows on the page, live.
        status, reply = request("PATCH", base + "api/units/1/1",
                                {"section": "mid", "parameter": "gain", "value": -7.0})
        assert status == 200, reply
        wait_until("the other client's edit shows", lambda: driver.find_element(
            By.ID, "u1-1-gain-mid-value").text == reply["changes"][0]["value"])
        assert mute.is_selected()

        if screenshot:
            # A way that sounds, for a curve to look at.
            section = driver.find_element(By.ID, "u1-1-curve-section")
            section.find_element(By.CSS_SELECTOR, "option[value=mid]").click()
            wait_until("the Mid curve is drawn", lambda: len(driver.find_element(
                By.CSS_SELECTOR, "#u1-1 .curve polyline").get_attribute("points")) > 100)
            driver.save_screenshot(screenshot)
        print("web remote: the page shows the unit, its controls are named, a mute click "
              "reaches the line and another client's edit shows live")
        return 0
    finally:
        if driver:
            driver.quit()
        for process in reversed(processes):
            process.terminate()
            try:
                process.wait(5)
            except subprocess.TimeoutExpired:
                process.kill()
        subprocess.run(["rm", "-rf", work])


if __name__ == "__main__":
    sys.exit(main())
