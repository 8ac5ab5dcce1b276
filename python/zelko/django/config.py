"""The site configuration of the ``ZELKO`` setting, read once per value."""

from __future__ import annotations

from django.conf import settings
from django.core.signals import setting_changed
from django.dispatch import receiver

from _zelko_native import SEOConfig

from .._web import config_from_setting

SETTING = "ZELKO"

_cached: SEOConfig | None = None


def read_setting() -> SEOConfig:
    """Makes the configuration of the setting (a mapping, a site file path or
    an ``SEOConfig``); ``InputError`` names the field at fault."""
    return config_from_setting(getattr(settings, SETTING, None), f"settings.{SETTING}")


def get_config() -> SEOConfig:
    """The configuration of the ``ZELKO`` setting, made on first use and kept
    until the setting changes (``override_settings`` in tests)."""
    global _cached
    if _cached is None:
        _cached = read_setting()
    return _cached


@receiver(setting_changed)
def _forget_config(*, setting: str, **kwargs: object) -> None:
    global _cached
    if setting == SETTING:
        _cached = None
