"""``zelko validate``: the eight built-in rules over pages, as a table or JSON."""

from __future__ import annotations

import argparse
import json
from collections.abc import Sequence
from dataclasses import dataclass

from _zelko_native import SEOIssue, validate_payload

from .._files import load_site
from ._common import EXIT_FINDINGS, EXIT_OK, Output, Streams, add_site_command, payloads

_SEVERITY_RANK = {"info": 0, "warning": 1, "error": 2}


def register(commands: argparse._SubParsersAction[argparse.ArgumentParser]) -> None:
    command = add_site_command(
        commands, "validate", "Check pages against the eight built-in rules."
    )
    command.add_argument(
        "--fail-on",
        choices=("info", "warning", "error", "never"),
        default="warning",
        help="exit with status 1 when a finding is at least this severe (default: warning)",
    )
    command.add_argument(
        "--format",
        choices=("table", "json"),
        default="table",
        help="report as a readable table (default) or as JSON",
    )
    command.set_defaults(run=run)


@dataclass(frozen=True)
class _Finding:
    page: str
    issue: SEOIssue


def run(args: argparse.Namespace, streams: Streams) -> int:
    site = load_site(args.config)
    findings: list[_Finding] = []
    pages = 0
    for page, payload in payloads(args.pages, site, streams, "validating"):
        pages += 1
        findings.extend(_Finding(page.source, issue) for issue in validate_payload(payload))
    with Output(args.output, streams.out) as output:
        if args.format == "json":
            output.write(_findings_json(findings, pages))
        else:
            output.write(_findings_table(findings, pages))
    threshold = _SEVERITY_RANK.get(args.fail_on)
    failing = threshold is not None and any(
        _SEVERITY_RANK.get(finding.issue.severity, 2) >= threshold for finding in findings
    )
    return EXIT_FINDINGS if failing else EXIT_OK


def _findings_table(findings: Sequence[_Finding], pages: int) -> str:
    rows = [("RULE", "SEVERITY", "PAGE", "MESSAGE")]
    rows += [(f.issue.rule_id, f.issue.severity, f.page, f.issue.message) for f in findings]
    lines = []
    if findings:
        widths = [max(len(row[column]) for row in rows) for column in range(3)]
        for row in rows:
            # Three padded columns; the message (the fourth) is not padded.
            cells = [cell.ljust(width) for cell, width in zip(row, widths, strict=False)]
            lines.append("  ".join([*cells, row[3]]))
    lines.append(_summary(findings, pages))
    return "\n".join(lines) + "\n"


def _summary(findings: Sequence[_Finding], pages: int) -> str:
    page_word = _plural(pages, "page")
    if not findings:
        return f"No findings in {page_word}."
    affected = len({finding.page for finding in findings})
    return f"{_plural(len(findings), 'finding')} in {affected} of {page_word}."


def _plural(count: int, noun: str) -> str:
    return f"{count} {noun}" if count == 1 else f"{count} {noun}s"


def _findings_json(findings: Sequence[_Finding], pages: int) -> str:
    document = {
        "pages": pages,
        "findings": [
            {
                "page": finding.page,
                "rule_id": finding.issue.rule_id,
                "severity": finding.issue.severity,
                "message": finding.issue.message,
                "url": finding.issue.url,
                "details": finding.issue.details,
            }
            for finding in findings
        ],
    }
    return json.dumps(document, indent=2, ensure_ascii=False) + "\n"
