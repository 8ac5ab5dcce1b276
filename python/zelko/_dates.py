"""Dates as the sitemap protocol reads them (W3C Datetime, the ISO 8601
profile the engine's sitemap writer takes): ``YYYY``, ``YYYY-MM``,
``YYYY-MM-DD``, or a full date with ``Thh:mm``, optional seconds and
fraction, and a zone (``Z`` or ``+hh:mm``). One place for the check, so
that ``zelko validate`` and the page-file loaders refuse the same texts that
``zelko sitemap`` would refuse later.
"""

from __future__ import annotations

import calendar
import re

_W3C_DATETIME = re.compile(
    r"(?P<year>\d{4})(?:-(?P<month>\d{2})(?:-(?P<day>\d{2})"
    r"(?:T(?P<hour>\d{2}):(?P<minute>\d{2})(?::(?P<second>\d{2})(?:\.\d+)?)?"
    r"(?:Z|[+-](?P<zone_hour>\d{2}):(?P<zone_minute>\d{2})))?)?)?",
    re.ASCII,
)
# What a page file may hold in published_at and updated_at: a full date, or
# a date and time whose zone may be left out (JSON-LD allows it; a sitemap
# then asks for it, and zelko validate says so).
_ISO_DATETIME = re.compile(
    r"(?P<year>\d{4})-(?P<month>\d{2})-(?P<day>\d{2})"
    r"(?:T(?P<hour>\d{2}):(?P<minute>\d{2})(?::(?P<second>\d{2})(?:\.\d+)?)?"
    r"(?:Z|[+-](?P<zone_hour>\d{2}):(?P<zone_minute>\d{2}))?)?",
    re.ASCII,
)

EXPECTED = "expected a date (YYYY-MM-DD) or a date and time with its zone (2024-05-01T09:30:00Z)"


def date_problem(text: str) -> str | None:
    """Why ``text`` is not a W3C Datetime, or ``None`` when it is one."""
    match = _W3C_DATETIME.fullmatch(text)
    if match is None:
        return f"not a date: {text!r}; {EXPECTED}"
    return _calendar_problem(text, match)


def iso_date_problem(text: str) -> str | None:
    """Why ``text`` is not an ISO 8601 date or date and time (the zone may be
    left out), or ``None`` when it is one."""
    match = _ISO_DATETIME.fullmatch(text)
    if match is None:
        return f"not an ISO 8601 date or date and time: {text!r}"
    return _calendar_problem(text, match)


def _calendar_problem(text: str, match: re.Match[str]) -> str | None:
    parts = {name: int(value) for name, value in match.groupdict().items() if value is not None}
    year, month, day = parts["year"], parts.get("month", 1), parts.get("day", 1)
    if not 1 <= month <= 12 or not 1 <= day <= calendar.monthrange(year or 2000, month)[1]:
        return f"not a calendar date: {text!r}"
    limits = {"hour": 23, "minute": 59, "second": 59, "zone_hour": 23, "zone_minute": 59}
    if any(parts.get(name, 0) > limit for name, limit in limits.items()):
        return f"not a time of day: {text!r}"
    return None


__all__ = ["EXPECTED", "date_problem", "iso_date_problem"]
