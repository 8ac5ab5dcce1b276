"""``zelko validate``: the eight built-in rules over pages, as a table or JSON,
and the reciprocity of hreflang alternates across the pages given; with
``--structured-data``, each page's JSON-LD against the schema.org vocabulary
and the rich-result rules too."""

from __future__ import annotations

import argparse
import json
import re
from collections.abc import Iterator, Sequence
from dataclasses import dataclass, field
from typing import Any

from _zelko_native import SEOIssue, SEOPayload, validate_payload

from .._dates import date_problem
from .._files import Page, Site, load_site
from ..check.graph import DANGLING_REFERENCE, dangling_references
from ..structured_data import check_structured_data
from ._common import (
    EXIT_FINDINGS,
    EXIT_OK,
    Output,
    Streams,
    add_report_options,
    add_site_command,
    page_hreflang,
    payloads,
    whole_head,
)

_SEVERITY_RANK = {"info": 0, "warning": 1, "error": 2}


def register(commands: argparse._SubParsersAction[argparse.ArgumentParser]) -> None:
    command = add_site_command(
        commands, "validate", "Check pages against the eight built-in rules."
    )
    add_report_options(command, ("text", "json"))
    command.add_argument(
        "--structured-data",
        action="store_true",
        help="also check each page's JSON-LD against the schema.org vocabulary and the"
        " rich-result rules (ZELKO301 to ZELKO311)",
    )
    command.set_defaults(run=run)


@dataclass(frozen=True)
class _Finding:
    page: str
    rule_id: str
    severity: str
    message: str
    url: str | None
    details: dict[str, Any] = field(default_factory=dict)

    @classmethod
    def of(cls, page: str, issue: SEOIssue) -> _Finding:
        return cls(page, issue.rule_id, issue.severity, issue.message, issue.url, issue.details)


# Hreflang reciprocity, checked across the pages of one run.
HREFLANG_NO_RETURN_LINK = "ZELKO201"
HREFLANG_NO_SELF_LINK = "ZELKO202"


# What a page file holds that the payload does not show, checked per page.
UNKNOWN_STATUS = "ZELKO109"
NOT_A_DATE = "ZELKO110"
UNSAFE_CANONICAL = "ZELKO111"

# The statuses of pages that are not public (yet, or any more): noindex is
# what they are meant to get. Any other status but "published" is a typo.
NON_PUBLIC_STATUSES = frozenset({"draft", "pending", "private", "scheduled", "archived"})
KNOWN_STATUSES = NON_PUBLIC_STATUSES | {"published"}
# Controls and white space: a canonical URL holding one is not the URL served.
_NOT_IN_A_URL = re.compile(r"[\x00-\x20\x7f-\x9f\s]")
_DOT_SEGMENTS = frozenset({".", "..", "%2e", ".%2e", "%2e.", "%2e%2e"})


def _page_findings(page: Page, payload: SEOPayload) -> Iterator[_Finding]:
    entity = page.entity.to_dict()
    status = entity.get("status")
    # Compared as the builder does: ASCII letters without regard to case.
    known = status is not None and status.isascii() and status.lower() in KNOWN_STATUSES
    if status is not None and not known and "noindex" in payload.robots.split(","):
        yield _Finding(
            page.source,
            UNKNOWN_STATUS,
            "warning",
            f"status {status!r} is neither 'published' nor a status of a page that is"
            " not public (draft, pending, private, scheduled, archived): the page will"
            " not be indexed",
            payload.canonical,
            {"field": "entity.status", "status": status},
        )
    for name in ("published_at", "updated_at"):
        value = entity.get(name)
        problem = date_problem(value) if isinstance(value, str) else None
        if problem is not None:
            yield _Finding(
                page.source,
                NOT_A_DATE,
                "warning",
                f"{name}: {problem} (zelko sitemap refuses it)",
                payload.canonical,
                {"field": f"entity.{name}", "value": value},
            )
    problem = _canonical_problem(payload.canonical)
    if problem is not None:
        yield _Finding(
            page.source,
            UNSAFE_CANONICAL,
            "warning",
            f"canonical URL {payload.canonical!r} {problem}",
            payload.canonical,
            {"field": "canonical"},
        )


def _graph_findings(page: Page, site: Site, payload: SEOPayload) -> Iterator[_Finding]:
    """References to nodes that the page's JSON-LD does not describe: in its
    linked graph when the site asks for one, else in the payload's nodes."""
    graph = None
    if site.head is not None and site.head.jsonld_graph:
        head = whole_head(page, site, payload)
        graph = head.jsonld_graph() if head is not None else None
    value = graph if graph is not None else payload.schema_jsonld
    for node_id in dangling_references(value):
        yield _Finding(
            page.source,
            DANGLING_REFERENCE,
            "error",
            f"@id {node_id!r} is referred to but no node of the page's JSON-LD describes it",
            payload.canonical,
            {"field": "schema_jsonld", "id": node_id},
        )


def _canonical_problem(url: str) -> str | None:
    """Why crawlers may read the canonical URL as another one, if they may."""
    if _NOT_IN_A_URL.search(url):
        return "holds a control character or white space"
    path = url.split("?", 1)[0].split("#", 1)[0]
    after_authority = path.split("//", 1)[-1]
    segments = after_authority.split("/")[1:]
    if any(segment.lower() in _DOT_SEGMENTS for segment in segments):
        return "holds a dot segment ('.' or '..'), which browsers and crawlers resolve away"
    return None


@dataclass(frozen=True)
class _Alternates:
    page: str
    canonical: str
    links: list[tuple[str, str]]


def run(args: argparse.Namespace, streams: Streams) -> int:
    site = load_site(args.config)
    findings: list[_Finding] = []
    alternates: list[_Alternates] = []
    pages = 0
    for page, payload in payloads(args.pages, site, streams, "validating"):
        pages += 1
        findings.extend(_Finding.of(page.source, issue) for issue in validate_payload(payload))
        findings.extend(_page_findings(page, payload))
        findings.extend(_graph_findings(page, site, payload))
        if args.structured_data:
            findings.extend(
                _Finding(
                    page.source,
                    issue.rule_id,
                    issue.severity,
                    issue.message,
                    payload.canonical,
                    issue.details,
                )
                for issue in check_structured_data(payload)
            )
        links = page_hreflang(page, site)
        if links:
            alternates.append(_Alternates(page.source, payload.canonical, links))
    findings.extend(_hreflang_findings(alternates))
    with Output(args.output, streams.out) as output:
        if args.format == "json":
            output.write(_findings_json(findings, pages))
        else:
            output.write(_findings_table(findings, pages))
    failing = any(
        _SEVERITY_RANK.get(finding.severity, 2) >= _SEVERITY_RANK[args.fail_on]
        for finding in findings
        if args.fail_on in _SEVERITY_RANK
    )
    return EXIT_FINDINGS if failing else EXIT_OK


def _hreflang_findings(pages: Sequence[_Alternates]) -> Iterator[_Finding]:
    """A page must list itself, and every page it lists (among those given)
    must list it back."""
    by_url = {page.canonical: page for page in pages}
    for page in pages:
        urls = {url for _, url in page.links}
        if page.canonical not in urls:
            yield _Finding(
                page.page,
                HREFLANG_NO_SELF_LINK,
                "warning",
                "hreflang alternates do not include the page itself",
                page.canonical,
            )
        for tag, url in page.links:
            other = by_url.get(url)
            if other is None or other is page:
                continue
            if page.canonical not in {back for _, back in other.links}:
                yield _Finding(
                    page.page,
                    HREFLANG_NO_RETURN_LINK,
                    "warning",
                    f"hreflang alternate {tag} ({url}, {other.page}) does not link back",
                    page.canonical,
                    {"tag": tag, "alternate": url, "alternate_page": other.page},
                )


def _findings_table(findings: Sequence[_Finding], pages: int) -> str:
    rows = [("RULE", "SEVERITY", "PAGE", "MESSAGE")]
    rows += [(f.rule_id, f.severity, f.page, f.message) for f in findings]
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
                "rule_id": finding.rule_id,
                "severity": finding.severity,
                "message": finding.message,
                "url": finding.url,
                "details": finding.details,
            }
            for finding in findings
        ],
    }
    return json.dumps(document, indent=2, ensure_ascii=False) + "\n"
