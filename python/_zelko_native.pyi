"""Type information for the _zelko_native extension module."""

import datetime
import os
from collections.abc import Iterator, Mapping, Sequence
from typing import Any, ClassVar, TypedDict, final

from typing_extensions import Self

__all__ = [  # noqa: RUF022 - the module's own order: classes, functions, exceptions
    "Breadcrumb",
    "FAQItem",
    "OGPayload",
    "Robots",
    "SEOAuthor",
    "SEOConfig",
    "SEOContract",
    "SEOContractConfig",
    "SEOContractRule",
    "SEOEntity",
    "SEOExpectation",
    "SEOImage",
    "SEOIssue",
    "SEOOverrides",
    "SEOPayload",
    "SchemaRegistry",
    "TwitterPayload",
    "URLPolicy",
    "build_seo_contract",
    "build_seo_payload",
    "build_seo_payload_dict",
    "build_seo_payload_with_overrides",
    "clean_query_fn",
    "clean_url_fn",
    "normalize_path_fn",
    "normalize_public_url_fn",
    "validate_payload",
    "ZelkoError",
    "InvalidUrlError",
    "ConfigurationError",
    "EntityError",
    "SchemaError",
    "ContractError",
]

# --- Input value classes -----------------------------------------------------

@final
class SEOImage:
    def __new__(
        cls,
        url: str,
        *,
        width: int | None = None,
        height: int | None = None,
        alt: str | None = None,
    ) -> SEOImage: ...
    @property
    def url(self) -> str: ...
    @property
    def width(self) -> int | None: ...
    @property
    def height(self) -> int | None: ...
    @property
    def alt(self) -> str | None: ...
    def to_dict(self) -> dict[str, Any]: ...

@final
class SEOAuthor:
    def __new__(cls, name: str, *, url: str | None = None) -> SEOAuthor: ...
    @property
    def name(self) -> str: ...
    @property
    def url(self) -> str | None: ...

@final
class Breadcrumb:
    def __new__(cls, name: str, url: str) -> Breadcrumb: ...
    @property
    def name(self) -> str: ...
    @property
    def url(self) -> str: ...

@final
class FAQItem:
    def __new__(cls, question: str, answer: str) -> FAQItem: ...
    @property
    def question(self) -> str: ...
    @property
    def answer(self) -> str: ...

@final
class Robots:
    def __new__(
        cls,
        *,
        index: bool = True,
        follow: bool = True,
        max_snippet: int | None = None,
        max_image_preview: str | None = None,
        max_video_preview: int | None = None,
    ) -> Robots: ...
    @property
    def index(self) -> bool: ...
    @property
    def follow(self) -> bool: ...
    @property
    def max_snippet(self) -> int | None: ...
    @property
    def max_image_preview(self) -> str | None: ...
    @property
    def max_video_preview(self) -> int | None: ...
    def serialize(self) -> str: ...

@final
class URLPolicy:
    def __new__(
        cls,
        *,
        enforce_https: bool = True,
        lowercase_paths: bool = False,
        trailing_slash: str = "never",
        collapse_duplicate_slashes: bool = True,
        strip_tracking_params: bool = True,
        allowed_query_params: Sequence[str] | None = None,
        extra_tracking_params: Sequence[str] | None = None,
    ) -> URLPolicy: ...
    @property
    def enforce_https(self) -> bool: ...
    @property
    def lowercase_paths(self) -> bool: ...
    @property
    def trailing_slash(self) -> str: ...
    @property
    def collapse_duplicate_slashes(self) -> bool: ...
    @property
    def strip_tracking_params(self) -> bool: ...
    @property
    def allowed_query_params(self) -> list[str]: ...
    @property
    def extra_tracking_params(self) -> list[str]: ...

@final
class SEOEntity:
    def __new__(
        cls,
        entity_type: str,
        *,
        slug: str | None = None,
        title: str | None = None,
        excerpt: str | None = None,
        body_html: str | None = None,
        status: str | None = None,
        featured_image: SEOImage | None = None,
        published_at: str | None = None,
        updated_at: str | None = None,
        author_name: str | None = None,
        breadcrumbs: Sequence[Breadcrumb] | None = None,
        sku: str | None = None,
        price: str | None = None,
        price_currency: str | None = None,
        availability: str | None = None,
        same_as: Sequence[str] | None = None,
        address: str | None = None,
        faq_items: Sequence[FAQItem] | None = None,
    ) -> SEOEntity: ...
    @property
    def entity_type(self) -> str: ...
    @property
    def title(self) -> str | None: ...
    @property
    def excerpt(self) -> str | None: ...
    def to_dict(self) -> dict[str, Any]: ...

@final
class SEOConfig:
    def __new__(
        cls,
        canonical_host: str,
        public_base_url: str,
        *,
        url_policy: URLPolicy | None = None,
        default_robots: Robots | None = None,
        default_og_image: SEOImage | None = None,
        site_name: str | None = None,
        title_template: str | None = None,
        search_robots: Robots | None = None,
        auto_generate_schema: bool = True,
        publisher_name: str | None = None,
        publisher_logo: str | None = None,
        locale: str | None = None,
        locale_alternate: Sequence[str] | None = None,
        twitter_site: str | None = None,
        emit_warnings: bool = False,
        schema_type_map: Sequence[tuple[str, str]] | None = None,
        search_url_template: str | None = None,
        hooks: Any = None,
        schema_registry: Any = None,
    ) -> SEOConfig: ...
    @property
    def hooks(self) -> Any: ...
    @hooks.setter
    def hooks(self, value: Any) -> None: ...
    @property
    def schema_registry(self) -> Any: ...
    @schema_registry.setter
    def schema_registry(self, value: Any) -> None: ...
    def to_dict(self) -> dict[str, Any]: ...

@final
class SEOOverrides:
    def __new__(
        cls,
        *,
        meta_title: str | None = None,
        meta_description: str | None = None,
        canonical_url: str | None = None,
        canonical_path: str | None = None,
        robots: Robots | None = None,
        og_title: str | None = None,
        og_description: str | None = None,
        og_image: SEOImage | None = None,
        twitter_card: str | None = None,
        twitter_title: str | None = None,
        twitter_description: str | None = None,
        twitter_image: SEOImage | None = None,
        schema_jsonld: Any = None,
        omit_schema: bool = False,
        skip_title_template: bool = False,
        twitter_creator: str | None = None,
        og_audio: str | None = None,
        og_video: str | None = None,
    ) -> SEOOverrides: ...

# --- Payload -----------------------------------------------------------------

@final
class OGPayload:
    @property
    def type(self) -> str: ...
    @property
    def title(self) -> str | None: ...
    @property
    def description(self) -> str | None: ...
    @property
    def url(self) -> str | None: ...
    @property
    def image(self) -> str | None: ...
    @property
    def image_width(self) -> int | None: ...
    @property
    def image_height(self) -> int | None: ...
    @property
    def image_alt(self) -> str | None: ...
    @property
    def site_name(self) -> str | None: ...
    @property
    def locale(self) -> str | None: ...
    @property
    def locale_alternate(self) -> list[str] | None: ...
    @property
    def audio(self) -> str | None: ...
    @property
    def video(self) -> str | None: ...
    def to_dict(self) -> dict[str, Any]: ...

@final
class TwitterPayload:
    @property
    def card(self) -> str: ...
    @property
    def title(self) -> str | None: ...
    @property
    def description(self) -> str | None: ...
    @property
    def image(self) -> str | None: ...
    @property
    def image_alt(self) -> str | None: ...
    @property
    def site(self) -> str | None: ...
    @property
    def creator(self) -> str | None: ...
    def to_dict(self) -> dict[str, Any]: ...

@final
class SEOPayload:
    """The resolved, deterministic SEO payload; reads like a dictionary."""

    __hash__: ClassVar[None]  # type: ignore[assignment]
    def __getitem__(self, key: str, /) -> Any: ...
    def get(self, key: str, default: Any = None) -> Any: ...
    def __contains__(self, key: str, /) -> bool: ...
    def __len__(self) -> int: ...
    def __iter__(self) -> Iterator[str]: ...
    def __eq__(self, value: object, /) -> bool: ...
    def __ne__(self, value: object, /) -> bool: ...
    def keys(self) -> list[str]: ...
    def to_dict(self) -> dict[str, Any]: ...
    @property
    def title(self) -> str: ...
    @property
    def description(self) -> str: ...
    @property
    def canonical(self) -> str: ...
    @property
    def robots(self) -> str: ...
    @property
    def og(self) -> OGPayload: ...
    @property
    def twitter(self) -> TwitterPayload: ...
    @property
    def schema_jsonld(self) -> dict[str, Any] | list[Any] | None: ...
    def to_json(self) -> str: ...
    def hash(self) -> str: ...
    def etag(self) -> str: ...
    def render_html(self) -> str: ...
    def __html__(self) -> str: ...
    def render_opengraph(self) -> str: ...
    def render_twitter(self) -> str: ...
    def render_jsonld(self) -> str: ...

# --- Results, contracts and the native registry handle -----------------------

@final
class SEOIssue:
    @property
    def rule_id(self) -> str: ...
    @property
    def severity(self) -> str: ...
    @property
    def message(self) -> str: ...
    @property
    def url(self) -> str | None: ...
    @property
    def details(self) -> dict[str, Any]: ...

@final
class SEOExpectation:
    def __new__(
        cls,
        *,
        required: bool | None = None,
        forbidden: bool | None = None,
        equals: str | None = None,
        not_equals: str | None = None,
        contains: str | None = None,
        matches: str | None = None,
        one_of: Sequence[str] | None = None,
        min_length: int | None = None,
        max_length: int | None = None,
        min_items: int | None = None,
        max_items: int | None = None,
        indexable: bool | None = None,
        canonical: str | None = None,
        schema_required: bool | None = None,
        schema_types: Sequence[str] | None = None,
        og_required: bool | None = None,
        twitter_required: bool | None = None,
        sitemap_required: bool | None = None,
        hreflang_required: bool | None = None,
        title: SEOExpectation | None = None,
        description: SEOExpectation | None = None,
    ) -> SEOExpectation: ...
    @property
    def required(self) -> bool | None: ...
    @property
    def indexable(self) -> bool | None: ...
    @property
    def canonical(self) -> str | None: ...

@final
class SEOContractRule:
    def __new__(
        cls, match: str, expect: SEOExpectation, *, severity: str | None = None
    ) -> SEOContractRule: ...
    @property
    def match(self) -> str: ...
    @property
    def expect(self) -> SEOExpectation: ...
    @property
    def severity(self) -> str | None: ...

@final
class SEOContractConfig:
    def __new__(
        cls,
        canonical_host: str,
        *,
        scheme: str = "https",
        defaults: SEOExpectation | None = None,
        rules: Sequence[SEOContractRule] | None = None,
        exceptions: Sequence[tuple[str, SEOExpectation]] | None = None,
    ) -> SEOContractConfig: ...

@final
class SEOContract:
    @property
    def contract_version(self) -> str: ...
    @property
    def site(self) -> dict[str, Any]: ...
    def to_json(self) -> str: ...
    def to_dict(self) -> dict[str, Any]: ...
    def hash(self) -> str: ...
    def write(self, path: str) -> None: ...

@final
class SchemaRegistry:
    def __new__(cls) -> SchemaRegistry: ...
    def has(self, schema_type: str) -> bool: ...
    def list_types(self) -> list[str]: ...

# --- Functions ---------------------------------------------------------------

class _CleanedUrl(TypedDict):
    url: str
    removed_params: dict[str, str]
    cleaned_params: dict[str, str]

def build_seo_payload(
    entity: SEOEntity,
    route: str,
    config: SEOConfig,
    overrides: SEOOverrides | None = None,
) -> SEOPayload: ...
def build_seo_payload_with_overrides(
    entity: SEOEntity, route: str, config: SEOConfig, overrides: SEOOverrides
) -> SEOPayload: ...
def build_seo_payload_dict(
    entity: SEOEntity,
    route: str,
    config: SEOConfig,
    overrides: SEOOverrides | None = None,
) -> dict[str, Any]: ...
def build_seo_contract(config: SEOContractConfig) -> SEOContract: ...
def validate_payload(payload: SEOPayload) -> list[SEOIssue]: ...
def normalize_path_fn(path: str, policy: URLPolicy) -> str: ...
def normalize_public_url_fn(url: str, config: SEOConfig) -> str: ...
def clean_url_fn(url: str) -> _CleanedUrl: ...
def clean_query_fn(query: str) -> str: ...

# --- Private entry points of the crawl surface (wrapped by zelko.crawl) -----

def _hreflang_links(config: SEOConfig, alternates: Mapping[str, str]) -> list[tuple[str, str]]: ...
def _render_hreflang(links: Sequence[tuple[str, str]]) -> str: ...

class _SitemapWriter:
    def __new__(
        cls,
        directory: str | os.PathLike[str],
        config: SEOConfig,
        max_urls: int = 50000,
        max_bytes: int = 52428800,
        gzip: bool = False,
    ) -> Self: ...
    def add(
        self,
        location: str,
        lastmod: str | datetime.date | None = None,
        alternates: Mapping[str, str] | None = None,
        images: Sequence[str] = (),
    ) -> None: ...
    def close(self) -> list[str]: ...
    def discard(self) -> None: ...
    @property
    def closed(self) -> bool: ...

# --- Exceptions --------------------------------------------------------------

class ZelkoError(ValueError):
    # The input field at fault ("canonical_host", "canonical_url", ...), or None.
    field: str | None

class InvalidUrlError(ZelkoError): ...
class ConfigurationError(ZelkoError): ...
class EntityError(ZelkoError): ...
class SchemaError(ZelkoError): ...
class ContractError(ZelkoError): ...

# --- Private entry points the zelko package wraps ----------------------------

def _build_records(
    config: SEOConfig, lines: list[str | bytes], first_line: int
) -> list[str | None]: ...
def _page_record(line: int, route: str, payload: SEOPayload) -> str: ...
def _restore(name: str, state: object) -> object: ...
