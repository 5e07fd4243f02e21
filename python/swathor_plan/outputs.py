"""Writing a set of output files all or nothing.

Every file is first rendered in memory, then written to a temporary name in its own folder;
only when all of them are written are they renamed into place. A target that is a symbolic
link is replaced at the place it points to (the link stays); a FIFO, a device or "-" (standard
output) is written through instead of being replaced. New files get the permissions the umask
gives; a file that is replaced keeps its mode.
"""

from __future__ import annotations

import os
import stat
import sys
from dataclasses import dataclass
from pathlib import Path
from typing import Callable


class OutputError(Exception):
    """An output that cannot be written; `target` is the path the user gave."""

    def __init__(self, target: str, message: str):
        super().__init__(f"{target}: {message}")
        self.target = target


def _umask() -> int:
    mask = os.umask(0)
    os.umask(mask)
    return mask


@dataclass
class _Item:
    target: str
    render: Callable[[], bytes]
    data: bytes = b""
    tmp: Path | None = None


def check_target(target: str) -> None:
    """Raises OutputError when `target` can never be written (before any work is done)."""
    if target == "-":
        return
    path = Path(target)
    real = Path(os.path.realpath(path))
    if real.is_dir():
        raise OutputError(target, "is a directory")
    if not real.parent.is_dir():
        raise OutputError(target, "the folder does not exist")
    if not os.access(real.parent, os.W_OK) and not _writes_through(real):
        raise OutputError(target, "the folder is not writable")


def _writes_through(real: Path) -> bool:
    try:
        mode = real.stat().st_mode
    except FileNotFoundError:
        return False
    return stat.S_ISFIFO(mode) or stat.S_ISCHR(mode) or stat.S_ISSOCK(mode)


class Outputs:
    def __init__(self) -> None:
        self._items: list[_Item] = []

    def add(self, target: str, render: Callable[[], bytes]) -> None:
        self._items.append(_Item(target, render))

    def targets(self) -> list[str]:
        return [i.target for i in self._items]

    def commit(self) -> None:
        """Renders and writes every output, or raises leaving no file of this set behind."""
        for item in self._items:
            item.data = item.render()
        through = [i for i in self._items
                   if i.target == "-" or _writes_through(Path(os.path.realpath(i.target)))]
        placed = [i for i in self._items if i not in through]
        try:
            for item in placed:
                item.tmp = self._write_temporary(item)
            for item in placed:
                try:
                    os.replace(item.tmp, os.path.realpath(item.target))
                except OSError as e:
                    raise OutputError(item.target, e.strerror or str(e)) from None
                item.tmp = None
        finally:
            for item in placed:
                if item.tmp is not None:
                    item.tmp.unlink(missing_ok=True)
        for item in through:
            try:
                if item.target == "-":
                    sys.stdout.buffer.write(item.data)
                    sys.stdout.flush()
                else:
                    with open(item.target, "wb") as f:
                        f.write(item.data)
            except OSError as e:
                raise OutputError(item.target, e.strerror or str(e)) from None

    @staticmethod
    def _write_temporary(item: _Item) -> Path:
        real = Path(os.path.realpath(item.target))
        try:
            mode = stat.S_IMODE(real.stat().st_mode)
        except FileNotFoundError:
            mode = 0o666 & ~_umask()
        except OSError as e:
            raise OutputError(item.target, e.strerror or str(e)) from None
        for n in range(100):
            tmp = real.with_name(f".{real.name}.{os.getpid()}.{n}.tmp")
            try:
                fd = os.open(tmp, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o600)
            except FileExistsError:
                continue
            except OSError as e:
                raise OutputError(item.target, e.strerror or str(e)) from None
            try:
                with os.fdopen(fd, "wb") as f:
                    f.write(item.data)
                os.chmod(tmp, mode)
            except OSError as e:
                tmp.unlink(missing_ok=True)
                raise OutputError(item.target, e.strerror or str(e)) from None
            return tmp
        raise OutputError(item.target, "no free temporary name in its folder")
