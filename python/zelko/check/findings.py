"""What a check reports: one finding per expectation a page does not meet."""

from __future__ import annotations

from dataclasses import dataclass

ERROR = "Error"
WARNING = "Warning"
INFO = "Info"

SEVERITIES = (ERROR, WARNING, INFO)


@dataclass(frozen=True)
class CheckFinding:
    """One expectation of the contract that a page does not meet.

    ``field`` is the dotted path of the expectation (``title.max_length``,
    ``open_graph.required``), ``severity`` one of "Error", "Warning" and
    "Info", ``actual`` what the page has instead (a JSON value).
    """

    route: str
    field: str
    severity: str
    message: str
    actual: object = None

    def to_dict(self) -> dict[str, object]:
        return {
            "route": self.route,
            "field": self.field,
            "severity": self.severity,
            "message": self.message,
            "actual": self.actual,
        }


def fails(finding: CheckFinding, fail_on: str) -> bool:
    """Whether the finding makes a run fail: errors always, warnings on request."""
    if finding.severity == ERROR:
        return True
    return fail_on == "warning" and finding.severity == WARNING
