"""The Django application of zelko: registers the settings check."""

from __future__ import annotations

from django.apps import AppConfig
from django.core import checks


class ZelkoConfig(AppConfig):
    name = "zelko.django"
    label = "zelko"
    verbose_name = "zelko SEO metadata"

    def ready(self) -> None:
        from .checks import check_settings

        checks.register(check_settings, checks.Tags.compatibility)
