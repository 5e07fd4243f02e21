import pytest

import swathor


def square(x0, y0, x1, y1):
    return swathor.Polygon(
        [swathor.Point(x0, y0), swathor.Point(x1, y0), swathor.Point(x1, y1), swathor.Point(x0, y1)]
    )


def coords(points):
    return [(p.x, p.y) for p in points]


@pytest.fixture
def garden():
    env = swathor.Environment(square(0, 0, 20, 12))
    env.addObstacle(square(8, 4, 11, 7))
    env.setVirtualWire(swathor.LineString([swathor.Point(1, 6), swathor.Point(19, 6)]))
    return env


@pytest.fixture
def result(garden):
    return swathor.PathService().computeFullTask(garden, swathor.PathSettings(), swathor.Point(1, 1))
