"""Coordinate frames: where a site's numbers live, and the metric plane the planner works in.

The planner works on a plane in metres. A geographic site is projected onto a transverse
Mercator plane centred on the site (x east, y north, metres; distortion below 1e-8 within a few
kilometres of the centre), planned there, and its results are taken back to WGS 84
longitude/latitude. A planar site is planned in its own numbers.
"""

from __future__ import annotations

from dataclasses import dataclass
from typing import Iterable, Sequence

from swathor_plan.errors import need

Coord = tuple[float, float]

# A geographic site wider than this (degrees of longitude or latitude) is not a lawn: its
# numbers are almost certainly metres in a file that does not say so.
MAX_GEOGRAPHIC_SPAN_DEG = 1.0
# A planar site narrower than this (file units) whose numbers fit longitude/latitude ranges is
# almost certainly degrees in a file marked planar.
MIN_PLANAR_SPAN = 0.01


class FrameError(ValueError):
    """Coordinates that do not fit the frame the file claims; the message names the fix."""


@dataclass(frozen=True)
class LocalFrame:
    """A planar site: file coordinates are the planning plane."""

    geographic = False

    def to_plane(self, points: Iterable[Coord]) -> list[Coord]:
        return [(float(x), float(y)) for x, y in points]

    def to_output(self, points: Iterable[Coord]) -> list[Coord]:
        return [(float(x), float(y)) for x, y in points]

    def array_to_output(self, xy):
        """to_output of an (n, 2) numpy array, as one."""
        return xy

    def describe(self) -> str:
        return "planar (file units)"


class GeoFrame:
    """A geographic site: WGS 84 longitude/latitude, planned on a local transverse Mercator plane.

    `source_crs` is the file's own CRS (anything pyproj understands); outputs are always WGS 84
    longitude/latitude, as RFC 7946 wants.
    """

    geographic = True

    def __init__(self, lon0: float, lat0: float, source_crs="EPSG:4326"):
        pyproj = need("pyproj", "geo")
        self.lon0, self.lat0 = lon0, lat0
        # On the WGS 84 datum, not only its ellipsoid: a plane with no datum would reach other
        # datums by a "ballpark" transformation without their shift (130 m in Britain).
        self.local_crs = pyproj.CRS.from_proj4(
            f"+proj=tmerc +lat_0={lat0!r} +lon_0={lon0!r} +k=1 +x_0=0 +y_0=0 "
            "+datum=WGS84 +units=m +no_defs")
        wgs84 = pyproj.CRS.from_epsg(4326)
        self.source_crs = pyproj.CRS.from_user_input(source_crs)
        # The file's CRS reaches WGS 84 through its datum, by the best transformation PROJ
        # has offline, and WGS 84 the plane: two steps, so the first is the one every GIS
        # tool takes to WGS 84.
        self._source_to_lonlat = pyproj.Transformer.from_crs(self.source_crs, wgs84,
                                                             always_xy=True)
        self._from_lonlat = pyproj.Transformer.from_crs(wgs84, self.local_crs, always_xy=True)
        self._to_lonlat = pyproj.Transformer.from_crs(self.local_crs, wgs84, always_xy=True)

    @classmethod
    def centred_on(cls, lonlat: Sequence[Coord], source_crs="EPSG:4326") -> "GeoFrame":
        """The frame centred on the bounding box of `lonlat` (WGS 84 positions)."""
        xs = [p[0] for p in lonlat]
        ys = [p[1] for p in lonlat]
        return cls((min(xs) + max(xs)) / 2, (min(ys) + max(ys)) / 2, source_crs)

    def to_plane(self, points: Iterable[Coord]) -> list[Coord]:
        """File (source CRS) positions to the planning plane."""
        return _transform(self._from_lonlat, _transform(self._source_to_lonlat, points))

    def lonlat_to_plane(self, points: Iterable[Coord]) -> list[Coord]:
        return _transform(self._from_lonlat, points)

    def to_output(self, points: Iterable[Coord]) -> list[Coord]:
        """Planning plane to WGS 84 longitude/latitude."""
        return _transform(self._to_lonlat, points)

    def array_to_output(self, xy):
        """to_output of an (n, 2) numpy array, as one."""
        import numpy as np
        if not len(xy):
            return xy
        return np.column_stack(self._to_lonlat.transform(xy[:, 0], xy[:, 1]))

    def describe(self) -> str:
        source = ""
        if not self.source_crs.equals(pyproj_wgs84(), ignore_axis_order=True):
            code = self.source_crs.to_epsg()
            source = f" from {self.source_crs.name}" + (f" (EPSG:{code})" if code else "")
        return (f"WGS 84{source}, planned on a local plane centred at "
                f"{_degrees(self.lat0, 'N', 'S')} {_degrees(self.lon0, 'E', 'W')}")


def pyproj_wgs84():
    return need("pyproj", "geo").CRS.from_epsg(4326)


def _degrees(value: float, positive: str, negative: str) -> str:
    return f"{abs(value):.6f} {positive if value >= 0 else negative}"


def _transform(transformer, points: Iterable[Coord]) -> list[Coord]:
    pts = list(points)
    if not pts:
        return []
    xs, ys = transformer.transform([p[0] for p in pts], [p[1] for p in pts])
    return list(zip(map(float, xs), map(float, ys)))


def check_lonlat(points: Sequence[Coord]) -> None:
    """Raises FrameError when `points` cannot be the longitude/latitude of one lawn."""
    xs = [p[0] for p in points]
    ys = [p[1] for p in points]
    if min(xs) < -180 or max(xs) > 180 or min(ys) < -90 or max(ys) > 90:
        raise FrameError(
            f"coordinates such as ({xs[0]:g}, {ys[0]:g}) cannot be longitude/latitude; if they are "
            "metres, add \"frame\": \"local\" to the file or pass --frame local")
    span = max(max(xs) - min(xs), max(ys) - min(ys))
    if span > MAX_GEOGRAPHIC_SPAN_DEG:
        raise FrameError(
            f"the site spans {span:g} degrees, too large for a lawn in longitude/latitude; if "
            "its coordinates are metres, add \"frame\": \"local\" to the file or pass --frame local")


def check_planar(points: Sequence[Coord]) -> None:
    """Raises FrameError when planar `points` look like longitude/latitude."""
    xs = [p[0] for p in points]
    ys = [p[1] for p in points]
    span = max(max(xs) - min(xs), max(ys) - min(ys))
    in_range = min(xs) >= -180 and max(xs) <= 180 and min(ys) >= -90 and max(ys) <= 90
    if in_range and span < MIN_PLANAR_SPAN:
        raise FrameError(
            f"the site is only {span:g} units across, so its coordinates look like "
            "longitude/latitude; drop the \"frame\": \"local\" marker or pass --frame lonlat")
