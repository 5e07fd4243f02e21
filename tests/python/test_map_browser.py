"""The offline map in a real browser: headless Chromium driven by selenium, with no network."""

import io
import os
import shutil
from pathlib import Path

import pytest

import swathor_plan as sp
from swathor_plan import webmap

webdriver = pytest.importorskip("selenium.webdriver")
CHROMIUM, DRIVER = shutil.which("chromium"), shutil.which("chromedriver")
pytestmark = pytest.mark.skipif(not (CHROMIUM and DRIVER), reason="needs chromium and chromedriver")

REPO = Path(__file__).resolve().parents[2]


@pytest.fixture(scope="module")
def browser():
    from selenium.webdriver.chrome.service import Service

    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    for arg in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                "--no-first-run", "--disable-background-networking", "--disable-component-update",
                "--disable-sync", "--disable-quic", "--window-size=1000,800",
                # Every network request fails: the page must not need one.
                "--proxy-server=http://127.0.0.1:9", "--proxy-bypass-list=<-loopback>"):
        options.add_argument(arg)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    # The browser is not ours to check: keep a sanitizer preload of the test run out of it.
    env = {k: v for k, v in os.environ.items() if k != "LD_PRELOAD"}
    driver = webdriver.Chrome(service=Service(DRIVER, env=env), options=options)
    yield driver
    driver.quit()


# A big plan's shapes go on a canvas: drawn there, they are not SVG paths to count.
@pytest.mark.parametrize("site, canvas", [("garden", False), ("garden-local", False),
                                          ("garden", True)])
def test_map_loads_offline_and_shows_the_route(tmp_path, browser, site, canvas, monkeypatch):
    from PIL import Image

    if canvas:
        monkeypatch.setattr(webmap, "MANY_SHAPES", 0)
    s = sp.load_site(REPO / "examples" / "sites" / f"{site}.geojson")
    plan = sp.plan_site(s, sp.options(), s.perimeter[0])
    page = tmp_path / "map.html"
    m = sp.measure(s, plan, 0.5)
    page.write_bytes(sp.map_bytes(s, plan, m, site))
    browser.get(page.as_uri())
    assert browser.execute_script("return window.swathorReady === true")
    errors = [e for e in browser.get_log("browser") if e["level"] == "SEVERE"]
    assert errors == []
    canvases, shapes, gaps = browser.execute_script(
        "const pane = document.querySelector('.leaflet-map-pane');"
        "return [pane.querySelectorAll('canvas').length, pane.querySelectorAll('path').length,"
        "        pane.querySelectorAll('.leaflet-gaps-pane path[fill=\"#ff2d95\"]').length]")
    assert (canvases > 0) == canvas
    assert gaps == 1 and webmap._polygons(s.frame, m.uncovered)["polygons"]  # one shape, no seams
    if not canvas:
        assert shapes >= len(plan.stretches())
    labels = browser.execute_script(
        "return [...document.querySelectorAll('.leaflet-control-layers label')]"
        ".map(l => l.textContent.trim())")
    assert "Route" in labels and "Not mowed" in labels
    image = Image.open(io.BytesIO(browser.get_screenshot_as_png())).convert("RGB")
    assert len(image.getcolors(1 << 20) or []) > 50     # drawn, not a blank page


def test_sorties_each_have_their_layer(tmp_path, browser):
    s = sp.load_site(REPO / "examples" / "sites" / "park.geojson")
    plan = sp.plan_site(s, sp.options(), sp.dock_position(s))
    trips = sp.plan_sorties(s, plan, 45)
    driven = trips.plan(plan)
    page = tmp_path / "map.html"
    page.write_bytes(sp.map_bytes(s, driven, sp.measure(s, driven, 0.5), "park", "sortie"))
    browser.get(page.as_uri())
    assert browser.execute_script("return window.swathorReady === true")
    assert [e for e in browser.get_log("browser") if e["level"] == "SEVERE"] == []
    labels = browser.execute_script(
        "return [...document.querySelectorAll('.leaflet-control-layers label')]"
        ".map(l => l.textContent.trim())")
    assert [f"sortie {k}" for k in range(1, len(trips.sorties) + 1)] == \
        [label for label in labels if label.startswith("sortie")]
    assert "Route" not in labels
    (REPO / "build" / "sorties-map.png").write_bytes(browser.get_screenshot_as_png())
