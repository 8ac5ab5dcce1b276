"""The report of a run: plain text, JSON, or JUnit XML for CI systems."""

from __future__ import annotations

import json
import re
import xml.etree.ElementTree as ElementTree
from collections.abc import Callable, Sequence
from dataclasses import dataclass

from .findings import ERROR, INFO, WARNING, CheckFinding, fails


@dataclass(frozen=True)
class Result:
    route: str
    findings: Sequence[CheckFinding]


@dataclass(frozen=True)
class Summary:
    pages: int
    failing_pages: int
    errors: int
    warnings: int
    infos: int
    failed: bool

    @classmethod
    def of(cls, results: Sequence[Result], fail_on: str) -> Summary:
        findings = [finding for result in results for finding in result.findings]
        return cls(
            pages=len(results),
            failing_pages=sum(1 for result in results if result.findings),
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


def text_report(results: Sequence[Result], summary: Summary) -> str:
    lines = [
        f"{finding.route}  {finding.severity}  {finding.field}  {finding.message}"
        for result in results
        for finding in result.findings
    ]
    lines.append(summary.line())
    return "\n".join(lines) + "\n"


def json_report(results: Sequence[Result], summary: Summary) -> str:
    document = {
        "findings": [finding.to_dict() for result in results for finding in result.findings],
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


def junit_report(results: Sequence[Result], summary: Summary) -> str:
    """One test case per route, one failure per finding."""
    suite = ElementTree.Element(
        "testsuite",
        name="zelko check",
        tests=str(summary.pages),
        failures=str(summary.findings),
        errors="0",
        skipped="0",
    )
    for result in results:
        case = ElementTree.SubElement(
            suite, "testcase", classname="zelko.check", name=_xml_text(result.route)
        )
        for finding in result.findings:
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
    root = ElementTree.Element("testsuites", name="zelko check")
    root.append(suite)
    ElementTree.indent(root)
    body = ElementTree.tostring(root, encoding="unicode")
    return f'<?xml version="1.0" encoding="UTF-8"?>\n{body}\n'


REPORTS: dict[str, Callable[[Sequence[Result], Summary], str]] = {
    "text": text_report,
    "json": json_report,
    "junit": junit_report,
}
