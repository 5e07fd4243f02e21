"""Errors the library raises for the command to report in one line."""

from __future__ import annotations

import importlib


class SiteError(Exception):
    """A site file that cannot be planned; the message names the problem."""


class MissingExtra(ImportError):
    """An optional dependency is not installed; the message names the extra that brings it."""


def need(module: str, extra: str):
    """Imports `module`, or raises MissingExtra naming `pip install swathor[extra]`."""
    try:
        return importlib.import_module(module)
    except ImportError:
        raise MissingExtra(f"this needs the Python package '{module.split('.')[0]}'; install it "
                           f"with: pip install 'swathor[{extra}]'") from None
