from django.urls import path

import zelko.django

from . import views

urlpatterns = [
    *zelko.django.crawl_urls(views.sitemap_entries),  # robots.txt, sitemap.xml and its parts
    path("api/seo/<path:route>", views.seo),
    path("api/seo/", views.seo, {"route": ""}),
    path("<path:route>", views.page),
    path("", views.page, {"route": ""}),
]
