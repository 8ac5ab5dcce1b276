"""``zelko sitemap``: the sitemap set of the pages given, written into a directory."""

from __future__ import annotations

import argparse
import os
from dataclasses import dataclass

from _zelko_native import SEOPayload, normalize_public_url_fn

from .._files import InputError, Page, Site, load_site
from ..crawl import SitemapWriter
from ._common import EXIT_OK, Streams, payloads, positive_int


def register(commands: argparse._SubParsersAction[argparse.ArgumentParser]) -> None:
    help_text = "Write the XML sitemap set of the pages into a directory."
    command = commands.add_parser("sitemap", help=help_text, description=help_text)
    command.add_argument(
        "-c", "--config", required=True, metavar="SITE", help="site configuration file"
    )
    command.add_argument(
        "pages",
        nargs="+",
        metavar="PAGE",
        help="page file (.json), or a directory searched for *.json",
    )
    command.add_argument("--out", required=True, metavar="DIR", help="directory to write into")
    command.add_argument("--gzip", action="store_true", help="compress the parts of a split set")
    command.add_argument(
        "--max-urls",
        type=_max_urls,
        default=MAX_URLS,
        metavar="N",
        help="URLs per file, at most 50000 (the default)",
    )
    command.set_defaults(run=run)


MAX_URLS = 50000  # the sitemap protocol's limit per file


def _max_urls(text: str) -> int:
    value = positive_int(text)
    if value > MAX_URLS:
        raise argparse.ArgumentTypeError(f"must be at most {MAX_URLS}, got {value}")
    return value


@dataclass
class _Tally:
    written: int = 0
    noindex: int = 0
    elsewhere: int = 0


def run(args: argparse.Namespace, streams: Streams) -> int:
    site = load_site(args.config)
    # The name is checked before anything is created: a NUL would cut it
    # after makedirs had made the directories in front of it.
    if "\0" in args.out:
        raise InputError(args.out, "", "cannot write: embedded null byte")
    if not args.out.isascii() and not _is_utf8(args.out):
        raise InputError(args.out, "", "cannot write: the name is not UTF-8")
    try:
        os.makedirs(args.out, exist_ok=True)
        writer = SitemapWriter(args.out, site.config, max_urls=args.max_urls, gzip=args.gzip)
    except ValueError as error:  # --max-urls is checked by then: the site's URLs
        raise InputError(site.source, "public_base_url", str(error)) from None
    except OSError as error:
        raise InputError(args.out, "", f"cannot write: {error.strerror or error}") from None
    tally = _Tally()
    with writer:
        for page, payload in payloads(args.pages, site, streams, "mapping"):
            _add_page(writer, page, payload, site, tally)
    for name in writer.files:
        streams.out.write(os.path.join(args.out, name) + "\n")
    left_out = tally.noindex + tally.elsewhere
    streams.out.write(
        f"{_plural(tally.written, 'URL')} in {_plural(len(writer.files), 'file')}; "
        f"{_plural(left_out, 'page')} left out "
        f"({tally.noindex} noindex, {tally.elsewhere} canonical elsewhere)\n"
    )
    return EXIT_OK


def _is_utf8(name: str) -> bool:
    try:
        name.encode("utf-8")
    except UnicodeEncodeError:  # bytes of the argument that are not UTF-8
        return False
    return True


def _plural(count: int, noun: str) -> str:
    return f"{count} {noun}" if count == 1 else f"{count} {noun}s"


def _add_page(
    writer: SitemapWriter, page: Page, payload: SEOPayload, site: Site, tally: _Tally
) -> None:
    if "noindex" in payload.robots.split(","):
        tally.noindex += 1
        return
    if payload.canonical != normalize_public_url_fn(page.route, site.config):
        tally.elsewhere += 1
        return
    dates = page.entity.to_dict()
    date_field = "updated_at" if dates.get("updated_at") else "published_at"
    image = payload.og.image
    try:
        writer.add(
            payload.canonical,
            lastmod=dates.get(date_field) or None,
            alternates=dict(page.alternates),
            images=[image] if image else [],
        )
    except ValueError as error:
        field = _PAGE_FIELDS.get(getattr(error, "field", None) or "", "")
        raise InputError(page.source, field.format(date_field), str(error)) from None
    tally.written += 1


# The page field behind a refused entry, by the writer's field at fault; the
# image, which may come from the site or the overrides, names none.
_PAGE_FIELDS = {"lastmod": "entity.{}", "alternates": "alternates", "location": "route"}
