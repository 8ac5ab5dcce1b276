from django.urls import path

from . import views

urlpatterns = [
    path("api/seo/<path:route>", views.seo),
    path("api/seo/", views.seo, {"route": ""}),
    path("<path:route>", views.page),
    path("", views.page, {"route": ""}),
]
