from django.apps import AppConfig


class KestrelConfig(AppConfig):
    name = "kestrel"
