"""A contract file with its site rules: the ``[site]`` table beside what
``SEOContractConfig`` holds.

The engine's contract carries the page expectations; the site rules are
written after them as a ``site_rules`` object, and only when the file has a
``[site]`` table, so that a contract without one keeps its text and hash.
"""

from __future__ import annotations

import json
import os

from _zelko_native import SEOContract, build_seo_contract

from .._files import contract_config_of, read_document
from .site import SiteSettings, read_site_settings, settings_document

SITE_TABLE = "site"
SITE_RULES_KEY = "site_rules"


def load_contract_file(path: str | os.PathLike[str]) -> tuple[SEOContract, SiteSettings | None]:
    """The contract a ``.toml`` or ``.json`` contract file describes, and its
    site rules (``None`` when the file has no ``[site]`` table)."""
    source = os.fspath(path)
    document = read_document(source, formats=(".toml", ".json"))
    settings = None
    if isinstance(document, dict) and SITE_TABLE in document:
        document = dict(document)
        settings = read_site_settings(document.pop(SITE_TABLE), source, SITE_TABLE)
    return build_seo_contract(contract_config_of(document, source)), settings


def contract_text(contract: SEOContract, settings: SiteSettings | None) -> str:
    """The contract's JSON text, with the site rules as its last member."""
    text = contract.to_json()
    if settings is None:
        return text
    table = json.dumps(settings_document(settings), indent=2, ensure_ascii=False)
    indented = table.replace("\n", "\n  ")
    body = text[: text.rindex("}")].rstrip()
    return f'{body},\n  "{SITE_RULES_KEY}": {indented}\n}}'


def text_hash(text: str) -> str:
    """The hash of a contract's text, as ``SEOContract.hash`` has it."""
    import hashlib  # here, not at import: hashlib loads OpenSSL, which import zelko avoids

    return hashlib.sha256(text.encode("utf-8")).hexdigest()
