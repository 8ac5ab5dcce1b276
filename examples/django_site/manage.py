#!/usr/bin/env python
"""Kestrel Coffee on Django. Run: .venv/bin/python examples/django_site/manage.py runserver"""

import os
import sys

if __name__ == "__main__":
    os.environ.setdefault("DJANGO_SETTINGS_MODULE", "kestrel.settings")
    from django.core.management import execute_from_command_line

    execute_from_command_line(sys.argv)
