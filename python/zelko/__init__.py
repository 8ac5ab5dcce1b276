"""zelko: deterministic SEO metadata for Python web applications.

The heavy lifting happens in the native engine, ``_zelko_native``; this
package re-exports its public names and adds the Python side:
:class:`HookRegistry` (post-processing hooks), :class:`SchemaRegistry`
(JSON-LD generators by Schema.org type; the engine's read-only registry
handle stays ``_zelko_native.SchemaRegistry``), :func:`load_config`,
:func:`entity_from_mapping` and :func:`overrides_from_mapping` (inputs from
files and Python values) and :func:`etag_matches` (conditional requests).
Framework integrations live in ``zelko.django``, ``zelko.flask`` and
``zelko.starlette``.
"""

from __future__ import annotations

import _zelko_native

# Every native name but SchemaRegistry, which is the Python registry here.
from _zelko_native import (
    Breadcrumb as Breadcrumb,
    FAQItem as FAQItem,
    OGPayload as OGPayload,
    Robots as Robots,
    SEOAuthor as SEOAuthor,
    SEOConfig as SEOConfig,
    SEOContract as SEOContract,
    SEOContractConfig as SEOContractConfig,
    SEOContractRule as SEOContractRule,
    SEOEntity as SEOEntity,
    SEOExpectation as SEOExpectation,
    SEOImage as SEOImage,
    SEOIssue as SEOIssue,
    SEOOverrides as SEOOverrides,
    SEOPayload as SEOPayload,
    TwitterPayload as TwitterPayload,
    URLPolicy as URLPolicy,
    build_seo_contract as build_seo_contract,
    build_seo_payload as build_seo_payload,
    build_seo_payload_dict as build_seo_payload_dict,
    build_seo_payload_with_overrides as build_seo_payload_with_overrides,
    clean_query_fn as clean_query_fn,
    clean_url_fn as clean_url_fn,
    normalize_path_fn as normalize_path_fn,
    normalize_public_url_fn as normalize_public_url_fn,
    validate_payload as validate_payload,
    ZelkoError as ZelkoError,
    InvalidUrlError as InvalidUrlError,
    ConfigurationError as ConfigurationError,
    EntityError as EntityError,
    SchemaError as SchemaError,
    ContractError as ContractError,
)

from . import registry as registry
from .etags import etag_matches as etag_matches
from .hooks import HookRegistry as HookRegistry
from .inputs import InputError as InputError
from .inputs import entity_from_mapping as entity_from_mapping
from .inputs import load_config as load_config
from .inputs import overrides_from_mapping as overrides_from_mapping
from .registry import SchemaRegistry as SchemaRegistry  # users register generators here

__version__ = "0.2.0"

__all__ = [
    *_zelko_native.__all__,
    "HookRegistry",
    "InputError",
    "load_config",
    "entity_from_mapping",
    "overrides_from_mapping",
    "etag_matches",
]
