"""What a check reports: one finding per expectation a page does not meet."""

from __future__ import annotations

from dataclasses import dataclass

# Spelt as zelko validate and SEOIssue spell them.
ERROR = "error"
WARNING = "warning"
INFO = "info"

SEVERITIES = (ERROR, WARNING, INFO)
# The --fail-on thresholds of zelko check and zelko validate: a finding at
# least as severe fails the run; "never" fails none.
FAIL_ON = ("info", "warning", "error", "never")
_RANK = {INFO: 0, WARNING: 1, ERROR: 2}


@dataclass(frozen=True)
class CheckFinding:
    """One expectation of the contract that a page does not meet.

    ``field`` is the dotted path of the expectation (``title.max_length``,
    ``open_graph.required``), ``severity`` one of "error", "warning" and
    "info", ``actual`` what the page has instead (a JSON value). A finding
    of a site rule (``site.duplicate_title``) is about several pages: the
    first is ``route``, the others are ``related`` (``None`` for a finding
    about one page alone).
    """

    route: str
    field: str
    severity: str
    message: str
    actual: object = None
    related: tuple[str, ...] | None = None

    def to_dict(self) -> dict[str, object]:
        document: dict[str, object] = {
            "route": self.route,
            "field": self.field,
            "severity": self.severity,
            "message": self.message,
            "actual": self.actual,
        }
        if self.related is not None:
            document["related"] = list(self.related)
        return document


def fails(finding: CheckFinding, fail_on: str) -> bool:
    """Whether the finding is at least as severe as ``fail_on``."""
    return fail_on in _RANK and _RANK[finding.severity] >= _RANK[fail_on]
