"""Benchmark of what a plan's figures, picture and map cost: swathor_plan.measure(), the picture
and the map on deterministic big plans, as medians and spread of N runs in one process (the first, cold
run reported apart, as a one-off command meets it).

    python3 bench/figures.py [--runs N] [CASE...]

Cases: field-squares (a 57 ha field in two parts, one with a hole: squares at 0.5 m),
field-squares-fine (the same at 0.05 m: 89,000 swaths that touch, and the hops between), field-rings
(the same field in rings at 0.3 m), lanes-touching, lanes-overlapping, lanes-apart (100,000
lanes 10 m long in 1000 rows of 100, rows 0.5, 0.4 and 0.6 m apart, swath 0.5 m) and solar
(400 m x 300 m with 1500 piles, lines at 0.5 m).
"""

from __future__ import annotations

import argparse
import statistics
import sys
import time

import swathor_plan as sp
from swathor_plan import export, webmap
from swathor_plan.planning import Plan

FIELD = sp.Site(perimeter=[(0, 0), (920, 0), (920, 633), (0, 633)],
                parts=[[(0, 0), (450, 0), (450, 633), (0, 633)],
                       [(470, 0), (920, 0), (920, 633), (470, 633)]],
                obstacles=[[(200, 300), (240, 300), (240, 330), (200, 330)]])


def solar() -> sp.Site:
    piles = [[(x, y), (x + 1.2, y), (x + 1.2, y + 0.3), (x, y + 0.3)]
             for y in (10 + 280 / 30 * row for row in range(30))
             for x in (20 + 360 / 50 * col for col in range(50))]
    return sp.Site(perimeter=[(0, 0), (400, 0), (400, 300), (0, 300)], obstacles=piles)


def lanes(spacing: float) -> tuple[sp.Site, Plan, float]:
    """100,000 lanes, each its own slice, driven row by row with hops between."""
    route, slices, steps = [], [], []
    for r in range(1000):
        y = 0.25 + spacing * r
        for c in range(100):
            x0 = c * 11.0 + 0.5
            ends = [(x0, y), (x0 + 10.0, y)] if r % 2 else [(x0 + 10.0, y), (x0, y)]
            if route:
                steps.append(-1)
            route += ends
            steps.append(len(slices))
            slices.append(ends)
    width, height = 1100.0, 0.25 + spacing * 1000
    site = sp.Site(perimeter=[(0, 0), (width, 0), (width, height), (0, height)])
    return site, Plan(route, slices, ["lane"] * len(slices), steps, [], 0.0), 0.5


def planned(site: sp.Site, pattern: str, offset: float) -> tuple[sp.Site, Plan, float]:
    return site, sp.plan_site(site, sp.options(pattern=pattern, offset=offset),
                              site.perimeter[0]), offset


CASES = {
    "field-squares": lambda: planned(FIELD, "squares", 0.5),
    "field-squares-fine": lambda: planned(FIELD, "squares", 0.05),
    "field-rings": lambda: planned(FIELD, "rings", 0.3),
    "lanes-touching": lambda: lanes(0.5),
    "lanes-overlapping": lambda: lanes(0.4),
    "lanes-apart": lambda: lanes(0.6),
    "solar": lambda: planned(solar(), "lines", 0.5),
}


def timed(work) -> tuple[float, object]:
    start = time.perf_counter()
    result = work()
    return time.perf_counter() - start, result


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("cases", nargs="*", choices=[[], *CASES], default=[])
    args = parser.parse_args()
    print(f"{'case':18} {'swaths':>7} {'cold s':>7} {'median s':>9} {'spread s':>13} "
          f"{'picture s':>9} {'map s':>6}  coverage, overlap m²")
    for name in args.cases or CASES:
        site, plan, offset = CASES[name]()
        cold, m = timed(lambda: sp.measure(site, plan, offset))
        warm = [timed(lambda: sp.measure(site, plan, offset))[0] for _ in range(args.runs)]
        picture, _ = timed(lambda: export.plot_bytes("png", site, plan, m, name))
        page, _ = timed(lambda: webmap.map_bytes(site, plan, m, name))
        print(f"{name:18} {len(m.runs):7} {cold:7.2f} {statistics.median(warm):9.2f} "
              f"{min(warm):6.2f}-{max(warm):<6.2f} {picture:9.2f} {page:6.2f}  "
              f"{m.coverage * 100:.3f} %, {m.overlap_m2:.1f}", flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
