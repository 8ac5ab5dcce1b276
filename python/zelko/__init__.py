"""zelko: deterministic SEO metadata for Python web applications.

The heavy lifting happens in the native engine, ``_zelko_native``; this
package re-exports its public names and adds the Python-side registries:
:class:`HookRegistry` (post-processing hooks) and
:class:`zelko.registry.SchemaRegistry` (JSON-LD generators by Schema.org type).
"""

from __future__ import annotations

import importlib.metadata

import _zelko_native
from _zelko_native import *  # noqa: F403

from . import registry as registry
from .crawl import SitemapWriter as SitemapWriter
from .crawl import hreflang_links as hreflang_links
from .crawl import render_hreflang as render_hreflang
from .crawl import robots_txt as robots_txt
from .hooks import HookRegistry as HookRegistry

try:
    # Written once, in pyproject.toml; the installed metadata carries it.
    __version__ = importlib.metadata.version("zelko")
except importlib.metadata.PackageNotFoundError:  # imported from a source tree
    __version__ = "0+unknown"

__all__ = [
    *_zelko_native.__all__,
    "HookRegistry",
    "hreflang_links",
    "render_hreflang",
    "SitemapWriter",
    "robots_txt",
]
