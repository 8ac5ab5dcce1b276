"""Shared by the tests that run the example apps."""

from __future__ import annotations

import os
import sys
from pathlib import Path

import django
from django.apps import apps

EXAMPLES = Path(__file__).resolve().parents[2] / "examples"


def setup_django() -> None:
    """Sets Django up, once per process, with the example project's settings."""
    if apps.ready:
        return
    sys.path.insert(0, str(EXAMPLES / "django_site"))
    os.environ["DJANGO_SETTINGS_MODULE"] = "kestrel.settings"
    django.setup()
