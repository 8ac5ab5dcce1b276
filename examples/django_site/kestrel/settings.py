"""Settings of the Kestrel Coffee example: the smallest Django project that
serves the bundled example pages."""

from pathlib import Path

BASE_DIR = Path(__file__).resolve().parent
SITE = BASE_DIR.parents[1] / "site"

SECRET_KEY = "example-only-not-secret"
DEBUG = False
ALLOWED_HOSTS = ["127.0.0.1", "localhost", "testserver"]
ROOT_URLCONF = "kestrel.urls"
INSTALLED_APPS = ["kestrel", "zelko.django"]
TEMPLATES = [
    {
        "BACKEND": "django.template.backends.django.DjangoTemplates",
        "APP_DIRS": True,
        "OPTIONS": {"context_processors": ["django.template.context_processors.request"]},
    }
]
ZELKO = SITE / "zelko.toml"
# The site configuration of each language other than ZELKO's.
ZELKO_LANGUAGES = {"de": SITE / "zelko.de.toml"}
PAGES_DIR = SITE / "pages"
