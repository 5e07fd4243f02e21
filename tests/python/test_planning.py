"""End-to-end planning through the Python module."""

import math

import pytest

import swathor as S
from conftest import coords, square


def snapshot(env, settings, start):
    return (
        coords(env.getPerimeter().getPoints()),
        [coords(o.getPoints()) for o in env.getObstacles()],
        [getattr(settings, n) for n in ("pattern", "offset", "angle", "distanceToBorder", "mowArea",
                                        "mowBorder", "borderLaps", "mowBorderCcw", "mowExclusionsBoder",
                                        "exclusionsBorderLaps", "mowExclusionsBorderCcw")],
        (start.x, start.y),
    )


@pytest.mark.parametrize("angle", [0.0, 0.4, -2.0, math.pi])
def test_route_starts_at_start_and_inputs_stay(garden, angle):
    settings = S.PathSettings()
    settings.angle = angle
    start = S.Point(1, 1)
    before = snapshot(garden, settings, start)
    r = S.PathService().computeFullTask(garden, settings, start)
    after = snapshot(garden, settings, start)
    assert before == after
    first = r.path.getPoints()[0]
    if angle == 0.0:
        assert (first.x, first.y) == (1, 1)
    assert first.x == pytest.approx(1, abs=1e-12) and first.y == pytest.approx(1, abs=1e-12)
    assert len(r.slices) > 10


def test_full_run_prints_nothing(garden, capfd):
    settings = S.PathSettings()
    settings.pattern = "squares"
    S.PathService().computeFullTask(garden, settings, S.Point(19, 11))
    out, err = capfd.readouterr()
    assert out == "" and err == ""


def test_every_slice_is_driven_in_order(result):
    path = coords(result.path.getPoints())
    for s in result.slices:
        pts = coords(s.getPoints())
        if len(pts) == 2:
            assert any(path[i:i + 2] in (pts, pts[::-1]) for i in range(len(path) - 1))


def test_default_square_gives_lanes_then_clockwise_laps():
    r = S.PathService().computeFullTask(S.Environment(square(0, 0, 10, 10)), S.PathSettings(),
                                        S.Point(0, 0))
    kinds = [len(s.getPoints()) == 2 for s in r.slices]
    assert kinds == [True] * 14 + [False] * 3
    for lap in r.slices[14:]:
        p = coords(lap.getPoints())
        area = sum(a[0] * b[1] - a[1] * b[0] for a, b in zip(p, p[1:] + p[:1]))
        assert area < 0


@pytest.mark.parametrize("field, value, text", [
    ("offset", 0.0, "offset is 0"),
    ("offset", float("nan"), "offset is nan"),
    ("angle", float("inf"), "angle is inf"),
    ("distanceToBorder", float("-inf"), "distanceToBorder is -inf"),
    ("offset", 1e-7, r"lanes \(at most 1000000\)"),
])
def test_unusable_settings_raise_value_error(garden, field, value, text):
    settings = S.PathSettings()
    setattr(settings, field, value)
    with pytest.raises(ValueError, match=text):
        S.PathService().computeFullTask(garden, settings, S.Point(1, 1))


def test_unusable_coordinates_raise_value_error(garden):
    with pytest.raises(ValueError, match="start x is nan"):
        S.PathService().computeFullTask(garden, S.PathSettings(), S.Point(float("nan"), 0))
    garden.addMowArea(S.Polygon([S.Point(0, 0), S.Point(2e9, 0), S.Point(1, 1)]))
    with pytest.raises(ValueError, match="mow area 0 point"):
        S.PathService().computeFullTask(garden, S.PathSettings(), S.Point(1, 1))


def test_huge_lap_counts_do_not_wrap():
    env = S.Environment(square(0, 0, 10, 10))
    settings = S.PathSettings()
    settings.mowArea = False
    counts = []
    for laps in (1000, 2**32, 2**32 + 1, 2**64 - 1):
        settings.borderLaps = laps
        counts.append(len(S.PathService().computeFullTask(env, settings, S.Point(0, 0)).slices))
    assert len(set(counts)) == 1 and counts[0] > 5
