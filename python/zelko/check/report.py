"""The report of a run: plain text, JSON, or JUnit XML for CI systems."""

from __future__ import annotations

import json
import re
import xml.etree.ElementTree as ElementTree
from collections.abc import Callable, Iterator, Sequence
from dataclasses import dataclass

from .findings import ERROR, INFO, WARNING, CheckFinding, fails


class Run:
    """What a run found: the number of pages, the findings of those that
    have any (by position), and, for the reports that list every page, the
    routes in order. A passing page leaves nothing else behind, so memory
    does not grow with the size of the site. Findings about the site that
    belong to no page (a sitemap listing URLs elsewhere) come first."""

    def __init__(self, routes: list[str] | None = None) -> None:
        self.pages = 0
        self.findings: dict[int, list[CheckFinding]] = {}
        self.routes = routes
        self.site_findings: list[CheckFinding] = []

    def add(self, index: int, findings: list[CheckFinding]) -> None:
        self.pages += 1
        if findings:
            self.findings[index] = findings

    def all_findings(self) -> Iterator[CheckFinding]:
        yield from self.site_findings
        for index in sorted(self.findings):
            yield from self.findings[index]

    def results(self) -> Iterator[tuple[str, Sequence[CheckFinding]]]:
        by_source: dict[str, list[CheckFinding]] = {}
        for finding in self.site_findings:
            by_source.setdefault(finding.route, []).append(finding)
        yield from by_source.items()
        for index, route in enumerate(self.routes or ()):
            yield route, self.findings.get(index, ())


@dataclass(frozen=True)
class Summary:
    pages: int
    failing_pages: int
    errors: int
    warnings: int
    infos: int
    failed: bool

    @classmethod
    def of(cls, run: Run, fail_on: str) -> Summary:
        findings = list(run.all_findings())
        return cls(
            pages=run.pages,
            failing_pages=len(run.findings),
            errors=sum(1 for finding in findings if finding.severity == ERROR),
            warnings=sum(1 for finding in findings if finding.severity == WARNING),
            infos=sum(1 for finding in findings if finding.severity == INFO),
            failed=any(fails(finding, fail_on) for finding in findings),
        )

    @property
    def findings(self) -> int:
        return self.errors + self.warnings + self.infos

    def line(self) -> str:
        pages = _plural(self.pages, "page")
        if not self.findings:
            return f"No findings in {pages}."
        counts = f"{_plural(self.errors, 'error')}, {_plural(self.warnings, 'warning')}"
        if self.infos:
            counts += f", {self.infos} info"
        return f"{_plural(self.findings, 'finding')} ({counts}) in {self.failing_pages} of {pages}."


def _plural(count: int, noun: str) -> str:
    return f"{count} {noun}" if count == 1 else f"{count} {noun}s"


def text_report(run: Run, summary: Summary) -> str:
    lines = [
        f"{finding.route}  {finding.severity}  {finding.field}  {finding.message}"
        for finding in run.all_findings()
    ]
    lines.append(summary.line())
    return "\n".join(lines) + "\n"


def json_report(run: Run, summary: Summary) -> str:
    document = {
        "findings": [finding.to_dict() for finding in run.all_findings()],
        "summary": {
            "pages": summary.pages,
            "pages_with_findings": summary.failing_pages,
            "errors": summary.errors,
            "warnings": summary.warnings,
            "info": summary.infos,
            "failed": summary.failed,
        },
    }
    return json.dumps(document, indent=2, ensure_ascii=False) + "\n"


# Characters XML 1.0 cannot carry at all, which a page's title may hold.
_NOT_XML = re.compile("[\x00-\x08\x0b\x0c\x0e-\x1f\ufffe\uffff]")


def _xml_text(text: str) -> str:
    return _NOT_XML.sub("\ufffd", text)


def junit_report(run: Run, summary: Summary) -> str:
    """One test case per route, one failure per finding."""
    suite = ElementTree.Element(
        "testsuite",
        name="zelko check",
        tests="0",  # counted below: the pages, and the sitemaps that have findings
        failures=str(summary.findings),
        errors="0",
        skipped="0",
    )
    cases = 0
    for route, findings in run.results():
        cases += 1
        case = ElementTree.SubElement(
            suite, "testcase", classname="zelko.check", name=_xml_text(route)
        )
        for finding in findings:
            failure = ElementTree.SubElement(
                case,
                "failure",
                message=_xml_text(f"{finding.field}: {finding.message}"),
                type=finding.severity,
            )
            actual = json.dumps(finding.actual, ensure_ascii=False)
            failure.text = _xml_text(
                f"{finding.severity} {finding.field}: {finding.message}\nactual: {actual}"
            )
    suite.set("tests", str(cases))
    root = ElementTree.Element("testsuites", name="zelko check")
    root.append(suite)
    ElementTree.indent(root)
    body = ElementTree.tostring(root, encoding="unicode")
    return f'<?xml version="1.0" encoding="UTF-8"?>\n{body}\n'


REPORTS: dict[str, Callable[[Run, Summary], str]] = {
    "text": text_report,
    "json": json_report,
    "junit": junit_report,
}
