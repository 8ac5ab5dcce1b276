"""System check: the ``ZELKO`` setting makes a valid site configuration."""

from __future__ import annotations

from collections.abc import Sequence
from typing import Any

from django.apps import AppConfig
from django.core.checks import CheckMessage, Error

from ..inputs import InputError
from .config import SETTING, read_setting


def check_settings(
    app_configs: Sequence[AppConfig] | None = None, **kwargs: Any
) -> list[CheckMessage]:
    """Reports a missing or invalid ``ZELKO`` setting, naming the field."""
    try:
        read_setting()
    except InputError as error:
        hint = f"the field at fault: {error.field}" if error.field else None
        return [Error(str(error), hint=hint, obj=SETTING, id="zelko.E001")]
    return []
