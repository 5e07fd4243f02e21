"""The Python surface of swathor: names, conversions, copies and references."""

import gc
import pathlib
import sys
import sysconfig

import pytest

import swathor
from conftest import coords, square

S = swathor


def test_classes_in_registration_order():
    names = [n for n in vars(S) if not n.startswith("_")]
    assert names == ["Point", "LineString", "Polygon", "Environment", "PathSettings",
                     "PlanningResult", "PathService", "transitRoute"]
    assert not isinstance(S.transitRoute, type)
    assert S.__doc__ and S.__doc__.endswith(".")
    assert S.PathService().getVersion() == "1.3"


def test_built_for_the_running_interpreter():
    module = pathlib.Path(S.__file__)
    assert module.name.endswith(sysconfig.get_config_var("EXT_SUFFIX"))
    version = f"{sys.version_info.major}.{sys.version_info.minor}"
    data = module.read_bytes()
    assert b"Python version mismatch: module was compiled for Python %s, but the interpreter " \
           b"version is incompatible: %s." in data
    assert version.encode() + b"\0" in data


@pytest.mark.parametrize("obj, text", [
    (S.Point(1.5, -2), "(1.500000, -2.000000)"),
    (S.Point(0, 0), "(0.000000, 0.000000)"),
    (S.Point(1e-7, 2), "(0.000000, 2.000000)"),
    (S.Point(-0.0000004, 1234567.125), "(-0.000000, 1234567.125000)"),
])
def test_point_repr(obj, text):
    assert repr(obj) == text


@pytest.mark.parametrize("call", [
    lambda: S.Point(), lambda: S.Environment(), lambda: S.PlanningResult(),
    lambda: S.PlanningResult(1), lambda: S.Point(x=1, y=2), lambda: S.Point("1", 2),
    lambda: S.Polygon([S.Point(0, 0), (1, 1)]), lambda: S.PathService().computeFullTask(1, 2, 3),
    lambda: S.LineString().addPoint(point=S.Point(0, 0)),
])
def test_bad_calls_raise_type_error(call):
    with pytest.raises(TypeError):
        call()


def test_no_constructor_message():
    with pytest.raises(TypeError, match=r": No constructor defined!$"):
        S.PlanningResult()


@pytest.mark.parametrize("obj", [S.Point(0, 0), S.LineString(), S.Polygon(), S.PathSettings(),
                                 S.Environment(S.Polygon()), S.PathService()])
def test_no_extra_attributes(obj):
    with pytest.raises(AttributeError):
        obj.extra = 1


def test_settings_conversions():
    s = S.PathSettings()
    s.offset = 1
    assert s.offset == 1.0 and type(s.offset) is float
    s.borderLaps = 2**64 - 1
    assert s.borderLaps == 2**64 - 1
    for bad in (-1, 1.5, 2**64):
        with pytest.raises(TypeError):
            s.borderLaps = bad
    s.pattern = "squares"
    s.pattern = "Spirale ü"
    assert s.pattern == "Spirale ü"


def test_getpoints_returns_copies():
    line = S.LineString([S.Point(0, 0), S.Point(1, 0)])
    pts = line.getPoints()
    pts[0].x = 99
    pts.append(S.Point(5, 5))
    assert coords(line.getPoints()) == [(0, 0), (1, 0)]
    line.addPoint(S.Point(1, 0))
    assert coords(line.getPoints()) == [(0, 0), (1, 0), (1, 0)]
    poly = S.Polygon((S.Point(0, 1), S.Point(1, 1)))  # any sequence
    assert coords(poly.getPoints()) == [(0, 1), (1, 1)]


def test_environment_orientation_and_copies():
    cw = S.Polygon([S.Point(0, 0), S.Point(0, 4), S.Point(4, 4), S.Point(4, 0)])
    env = S.Environment(cw)
    assert coords(env.getPerimeter().getPoints()) == [(4, 0), (4, 4), (0, 4), (0, 0)]
    assert env.getObstacles() == []
    hole = square(1, 1, 2, 2)
    env.addObstacle(hole)
    assert coords(hole.getPoints()) == [(1, 1), (2, 1), (2, 2), (1, 2)]  # caller's copy untouched
    assert coords(env.getObstacles()[0].getPoints()) == [(1, 2), (2, 2), (2, 1), (1, 1)]
    env.getObstacles()[0].getPoints()[0].x = 50
    assert env.getObstacles()[0].getPoints()[0].x == 1
    assert not hasattr(env, "getMowAreas")


def test_path_is_a_live_reference(result):
    path = result.path
    n = len(path.getPoints())
    path.addPoint(S.Point(42, 42))
    assert len(result.path.getPoints()) == n + 1
    assert coords(result.path.getPoints())[-1] == (42, 42)
    del result
    gc.collect()
    assert len(path.getPoints()) == n + 1  # keeps the result alive
    replacement = S.LineString([S.Point(1, 2)])
    holder = S.PathService().computeFullTask(S.Environment(square(0, 0, 5, 5)), S.PathSettings(),
                                             S.Point(1, 1))
    holder.path = replacement
    replacement.addPoint(S.Point(3, 3))
    assert coords(holder.path.getPoints()) == [(1, 2)]


def test_slices_list_is_new_but_elements_refer_into_result(result):
    n = len(result.slices)
    listed = result.slices
    listed.append(S.LineString())
    assert len(result.slices) == n
    first = result.slices[0]
    first.addPoint(S.Point(-1, -1))
    assert coords(result.slices[0].getPoints())[-1] == (-1, -1)
    result.slices = []
    assert result.slices == []


def test_slice_read_before_assignment_stays_valid(result):
    kept = [result.slices[i] for i in range(3)]
    before = [coords(s.getPoints()) for s in kept]
    result.slices = [S.LineString([S.Point(7, 7)])]
    result.slices = []
    gc.collect()
    assert [coords(s.getPoints()) for s in kept] == before
    result.slices = [S.LineString([S.Point(7, 7)])]
    assert coords(result.slices[0].getPoints()) == [(7, 7)]
    del result
    gc.collect()
    assert [coords(s.getPoints()) for s in kept] == before


def test_reassigned_slices_are_freed(result):
    """The fault this pins: every assignment kept the replaced slices until the result died."""
    import resource

    line = S.LineString([S.Point(i, 0) for i in range(200)])
    many = [line] * 1000                      # 3.2 MB of points per assignment
    before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    for _ in range(600):                      # 1.9 GB if every assignment were kept
        result.slices = many
    grown_mb = (resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - before) / 1024
    assert grown_mb < 600                     # a sanitizer's quarantine keeps up to 256 MB
