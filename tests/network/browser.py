"""The panel in headless Chromium: a person lifts a nozzle and runs a delivery; the driver
(korvan-host under Wine, network mode) hands it over and confirms it; the page shows it cleared."""
import os
import sys

from selenium import webdriver
from selenium.common.exceptions import StaleElementReferenceException
from selenium.webdriver.common.by import By

from harness import Host, arguments, check, station, wait_for


def run(server, folder, wine, screenshot):
    options = webdriver.ChromeOptions()
    for flag in ("--headless=new", "--no-sandbox", "--disable-gpu",
                 "--window-size=1400,1000", "--disable-dev-shm-usage"):
        options.add_argument(flag)
    browser = webdriver.Chrome(options=options)
    try:
        browser.get("http://127.0.0.1:%d/" % server.panel)
        find = lambda css: browser.find_elements(By.CSS_SELECTOR, css)

        def text(css):  # the page redraws under us: read again when stale
            for _ in range(20):
                try:
                    found = find(css)
                    return found[0].text if found else ""
                except StaleElementReferenceException:
                    pass
            return ""
        wait_for("the pumps on the page", lambda: find("#pump-1"))
        wait_for("the live stream", lambda: find("#link.up"))
        host = Host(wine, folder, (31, 32, 41, 42))
        host.drain([])  # the scenario's deliveries, out of the way

        find("#hose-31 button.lift")[0].click()
        wait_for("pump 1 calling", lambda: "calling" in text("#pump-1 .state").lower())
        litres = find("#hose-31 input[aria-label=litres]")[0]
        litres.clear()
        litres.send_keys("3.5")
        find("#hose-31 button.run")[0].click()
        wait_for("the delivery in the waiting list", lambda: find("#waiting tbody tr"))
        row = text("#waiting tbody tr")
        check("3.500" in row, "waiting row %r, wanted 3.500 litres" % row)
        delivery = find("#waiting tbody tr")[0].get_attribute("id").split("-")[1]

        answer = host.do("poll")
        check(answer.startswith("nozzle 31 volume 3"), "the driver got %r" % answer)
        check(host.do("confirm") == "ok", "confirmation")
        wait_for("the delivery cleared on the page",
                 lambda: find("#cleared-" + delivery) and not find("#waiting tbody tr"))
        wait_for("the host among the clients", lambda: find("#clients tbody tr"))
        browser.save_screenshot(screenshot)
        print("screenshot", screenshot)
        host.quit()
    finally:
        browser.quit()


if __name__ == "__main__":
    a = arguments("server bin wine work", screenshot=None)
    shot = a.screenshot or os.path.join(a.work, "browser", "panel.png")
    sys.exit(station(a, "browser", lambda server, folder: run(server, folder, a.wine, shot)))
