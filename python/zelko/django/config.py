"""The site configuration of the ``ZELKO`` setting, read once per value."""

from __future__ import annotations

from django.conf import settings
from django.core.signals import setting_changed
from django.dispatch import receiver

from _zelko_native import SEOConfig, SiteHead

from .._web import WebSite, site_from_setting

SETTING = "ZELKO"

_cached: WebSite | None = None


def read_setting() -> WebSite:
    """Makes the site of the setting (a mapping, a site file path or an
    ``SEOConfig``; a site file's ``[head]`` table or a mapping's ``head`` is
    the site head); ``InputError`` names the field at fault."""
    return site_from_setting(getattr(settings, SETTING, None), f"settings.{SETTING}")


def _site() -> WebSite:
    global _cached
    if _cached is None:
        _cached = read_setting()
    return _cached


def get_config() -> SEOConfig:
    """The configuration of the ``ZELKO`` setting, made on first use and kept
    until the setting changes (``override_settings`` in tests)."""
    return _site().config


def get_site_head() -> SiteHead | None:
    """The site head of the ``ZELKO`` setting, or ``None`` when it has none;
    kept as the configuration is."""
    return _site().head


@receiver(setting_changed)
def _forget_config(*, setting: str, **kwargs: object) -> None:
    global _cached
    if setting == SETTING:
        _cached = None
