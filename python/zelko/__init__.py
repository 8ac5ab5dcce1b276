"""zelko: deterministic SEO metadata for Python web applications.

The heavy lifting happens in the native engine, ``_zelko_native``; this
package re-exports its public names and adds the Python side:
:class:`HookRegistry` (post-processing hooks), :class:`SchemaRegistry`
(JSON-LD generators by Schema.org type; the engine's read-only registry
handle stays ``_zelko_native.SchemaRegistry``), :func:`load_config`,
:func:`entity_from_mapping` and :func:`overrides_from_mapping` (inputs from
files and Python values), :func:`etag_matches` (conditional requests) and
:func:`check_page` and :func:`check_payload` (pages against SEO contracts).
Framework integrations live in ``zelko.django``, ``zelko.flask`` and
``zelko.starlette``; social cards (``zelko.social_card``, the Open Graph
picture of a page) in ``zelko.cards``, with the ``cards`` extra.
"""

from __future__ import annotations

import importlib.metadata

import _zelko_native

# Every native name but SchemaRegistry, which is the Python registry here.
from _zelko_native import (
    Breadcrumb as Breadcrumb,
)
from _zelko_native import (
    ConfigurationError as ConfigurationError,
)
from _zelko_native import (
    ContractError as ContractError,
)
from _zelko_native import (
    EntityError as EntityError,
)
from _zelko_native import (
    FAQItem as FAQItem,
)
from _zelko_native import (
    InvalidUrlError as InvalidUrlError,
)
from _zelko_native import (
    OGPayload as OGPayload,
)
from _zelko_native import (
    Robots as Robots,
)
from _zelko_native import (
    SchemaError as SchemaError,
)
from _zelko_native import (
    SEOAuthor as SEOAuthor,
)
from _zelko_native import (
    SEOConfig as SEOConfig,
)
from _zelko_native import (
    SEOContract as SEOContract,
)
from _zelko_native import (
    SEOContractConfig as SEOContractConfig,
)
from _zelko_native import (
    SEOContractRule as SEOContractRule,
)
from _zelko_native import (
    SEOEntity as SEOEntity,
)
from _zelko_native import (
    SEOExpectation as SEOExpectation,
)
from _zelko_native import (
    SEOImage as SEOImage,
)
from _zelko_native import (
    SEOIssue as SEOIssue,
)
from _zelko_native import (
    SEOOverrides as SEOOverrides,
)
from _zelko_native import (
    SEOPayload as SEOPayload,
)
from _zelko_native import (
    TwitterPayload as TwitterPayload,
)
from _zelko_native import (
    URLPolicy as URLPolicy,
)
from _zelko_native import (
    ZelkoError as ZelkoError,
)
from _zelko_native import (
    build_seo_contract as build_seo_contract,
)
from _zelko_native import (
    build_seo_payload as build_seo_payload,
)
from _zelko_native import (
    build_seo_payload_dict as build_seo_payload_dict,
)
from _zelko_native import (
    build_seo_payload_with_overrides as build_seo_payload_with_overrides,
)
from _zelko_native import (
    clean_query_fn as clean_query_fn,
)
from _zelko_native import (
    clean_url_fn as clean_url_fn,
)
from _zelko_native import (
    normalize_path_fn as normalize_path_fn,
)
from _zelko_native import (
    normalize_public_url_fn as normalize_public_url_fn,
)
from _zelko_native import (
    validate_payload as validate_payload,
)

from . import registry as registry
from .batch import build_many as build_many
from .check import CheckFinding as CheckFinding
from .check import check_page as check_page
from .check import check_payload as check_payload
from .check import check_site as check_site  # public, outside __all__
from .crawl import SitemapWriter as SitemapWriter
from .crawl import hreflang_links as hreflang_links
from .crawl import render_hreflang as render_hreflang
from .crawl import robots_txt as robots_txt
from .etags import etag_matches as etag_matches
from .head import AppLinks as AppLinks
from .head import ArticleMeta as ArticleMeta
from .head import CardSettings as CardSettings
from .head import Feed as Feed
from .head import Icon as Icon
from .head import Organization as Organization
from .head import PageHead as PageHead
from .head import Person as Person
from .head import RobotsExtra as RobotsExtra
from .head import SEOHead as SEOHead
from .head import SiteHead as SiteHead
from .head import Verification as Verification
from .head import Video as Video
from .head import build_head as build_head
from .hooks import HookRegistry as HookRegistry
from .inputs import InputError as InputError
from .inputs import entity_from_mapping as entity_from_mapping
from .inputs import load_config as load_config
from .inputs import load_site_head as load_site_head
from .inputs import overrides_from_mapping as overrides_from_mapping
from .inputs import page_head_from_mapping as page_head_from_mapping
from .inputs import site_head_from_mapping as site_head_from_mapping
from .registry import SchemaRegistry as SchemaRegistry  # users register generators here

# Outside __all__, which stays as it is.
from .structured_data import check_structured_data as check_structured_data

try:
    # Written once, in pyproject.toml; the installed metadata carries it.
    __version__ = importlib.metadata.version("zelko")
except importlib.metadata.PackageNotFoundError:  # imported from a source tree
    __version__ = "0+unknown"

_LAZY = {"social_card": "zelko.cards", "SocialCard": "zelko.cards"}


def __getattr__(name: str) -> object:
    # Social cards need the cards extra (Pillow and friends): their module is
    # imported on first use, so that `import zelko` works without it.
    if name in _LAZY:
        import importlib

        return getattr(importlib.import_module(_LAZY[name]), name)
    raise AttributeError(f"module 'zelko' has no attribute {name!r}")


__all__ = [
    *_zelko_native.__all__,
    "HookRegistry",
    "hreflang_links",
    "render_hreflang",
    "SitemapWriter",
    "robots_txt",
    "InputError",
    "load_config",
    "entity_from_mapping",
    "overrides_from_mapping",
    "etag_matches",
    "build_many",
    "CheckFinding",
    "check_page",
    "check_payload",
]
