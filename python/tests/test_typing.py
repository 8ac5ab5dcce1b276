"""The package is typed: a user file that builds a payload passes mypy --strict."""

from __future__ import annotations

import ast
import inspect
import os
import subprocess
import sys
import sysconfig
from pathlib import Path

import pytest

import zelko

USER_CODE = """
from typing import Any

import zelko
from zelko.registry import SchemaRegistry

config = zelko.SEOConfig(
    "example.com",
    "https://example.com",
    url_policy=zelko.URLPolicy(trailing_slash="always", allowed_query_params=("page",)),
    default_og_image=zelko.SEOImage("https://example.com/og.png", width=1200, height=630),
    schema_type_map=[("post", "BlogPosting")],
)
entity = zelko.SEOEntity("post", title="Hello", breadcrumbs=[zelko.Breadcrumb("Home", "/")])
hooks = zelko.HookRegistry()
schemas = SchemaRegistry()
same_registry: SchemaRegistry = zelko.SchemaRegistry()
site: zelko.SEOConfig = zelko.load_config({"canonical_host": "a.example", "public_base_url": "https://a.example"})


@hooks.register("post_process")
def shout(
    payload: dict[str, Any], entity: zelko.SEOEntity, config: zelko.SEOConfig
) -> dict[str, Any]:
    payload["title"] = str(payload["title"]).upper()
    return payload


@schemas.register("BlogPosting")
def posting(
    entity: zelko.SEOEntity, config: zelko.SEOConfig, canonical: str,
    title: str, description: str, image: str | None,
) -> dict[str, Any] | None:
    return {"@type": "BlogPosting", "headline": title}


config.hooks = hooks
config.schema_registry = schemas
payload: zelko.SEOPayload = zelko.build_seo_payload(entity, "/blog/hello", config)
etag: str = payload.etag()
head: str = payload.render_html()
og_image: str | None = payload.og.image
issues: list[zelko.SEOIssue] = zelko.validate_payload(payload)
rule_ids: list[str] = [issue.rule_id for issue in issues]
contract = zelko.build_seo_contract(zelko.SEOContractConfig("example.com"))
digest: str = contract.hash()
canonical: str = zelko.normalize_public_url_fn("/a", config)
try:
    zelko.SEOEntity("blog")
except zelko.EntityError as error:
    message: str = str(error)
"""

WRONG_CODE = """
import zelko

zelko.build_seo_payload(zelko.SEOEntity("post"), 5, zelko.SEOConfig("a", "b"))
"""


@pytest.fixture(scope="module")
def mypy_output(tmp_path_factory: pytest.TempPathFactory) -> str:
    """mypy --strict over a correct and a wrong user file, in one run."""
    pytest.importorskip("mypy")
    directory = tmp_path_factory.mktemp("typing")
    (directory / "user_code.py").write_text(USER_CODE, encoding="utf-8")
    (directory / "wrong_code.py").write_text(WRONG_CODE, encoding="utf-8")
    env = dict(os.environ)
    # An installed package brings its stubs as _zelko_native-stubs, found in
    # site-packages; a source checkout needs its directory on the search path.
    package_parent = Path(zelko.__file__).resolve().parent.parent
    installed = {Path(sysconfig.get_path(name)).resolve() for name in ("purelib", "platlib")}
    if package_parent not in installed:
        env["MYPYPATH"] = str(package_parent)
    result = subprocess.run(
        [
            sys.executable,
            "-m",
            "mypy",
            "--strict",
            "--cache-dir",
            str(directory / "cache"),
            "--no-error-summary",
            "user_code.py",
            "wrong_code.py",
        ],
        capture_output=True,
        text=True,
        env=env,
        cwd=directory,
        check=False,
    )
    assert result.stderr == ""
    return result.stdout


def test_user_code_passes_mypy_strict(mypy_output: str) -> None:
    assert [line for line in mypy_output.splitlines() if line.startswith("user_code.py")] == []


def test_mypy_sees_a_wrong_argument_type(mypy_output: str) -> None:
    assert mypy_output.splitlines() == [
        'wrong_code.py:4: error: Argument 2 to "build_seo_payload" has incompatible type "int"; '
        'expected "str"  [arg-type]'
    ]


@pytest.mark.parametrize("name", ["OGPayload", "TwitterPayload"])
def test_tag_class_stubs_list_the_native_properties_in_order(name: str) -> None:
    # The native properties come from the engine's field tables; the stub is
    # the one listing written by hand, so it must follow them.
    stub = ast.parse((Path(__file__).parents[1] / "_zelko_native.pyi").read_text("utf-8"))
    (cls,) = [node for node in stub.body if isinstance(node, ast.ClassDef) and node.name == name]
    stubbed = [
        node.name
        for node in cls.body
        if isinstance(node, ast.FunctionDef)
        and any(isinstance(d, ast.Name) and d.id == "property" for d in node.decorator_list)
    ]
    native = getattr(zelko, name)
    properties = [
        key for key, value in vars(native).items() if type(value).__name__ == "getset_descriptor"
    ]
    assert stubbed == properties


INPUT_CLASSES = [
    "AppLinks",
    "ArticleMeta",
    "Breadcrumb",
    "FAQItem",
    "Feed",
    "Icon",
    "Organization",
    "PageHead",
    "Person",
    "Robots",
    "RobotsExtra",
    "SEOAuthor",
    "SEOConfig",
    "SEOContractConfig",
    "SEOContractRule",
    "SEOEntity",
    "SEOExpectation",
    "SEOImage",
    "SEOOverrides",
    "SiteHead",
    "URLPolicy",
    "Verification",
    "Video",
]
# Object references an SEOConfig keeps beside its record: last parameters
# and settable properties.
REGISTRIES = {"SEOConfig": ["hooks", "schema_registry"]}


def _stub_class(name: str) -> ast.ClassDef:
    stub = ast.parse((Path(__file__).parents[1] / "_zelko_native.pyi").read_text("utf-8"))
    (cls,) = [node for node in stub.body if isinstance(node, ast.ClassDef) and node.name == name]
    return cls


@pytest.mark.parametrize("name", INPUT_CLASSES)
def test_input_class_stub_follows_its_field_table(name: str) -> None:
    # The classes are made from the engine's field tables; the stub is the one
    # listing written by hand: its parameters (order, positional or keyword,
    # defaults) and properties must be the table's.
    import _zelko_native

    cls = getattr(_zelko_native, name)
    rows = _zelko_native._input_fields(cls)
    keys = [key for key, *_ in rows] + REGISTRIES.get(name, [])
    stub = _stub_class(name)
    (new,) = [
        node for node in stub.body if isinstance(node, ast.FunctionDef) and node.name == "__new__"
    ]
    positional = [arg.arg for arg in new.args.args[1:]]
    assert positional == [key for key, _, required, *_ in rows if required]
    assert positional + [arg.arg for arg in new.args.kwonlyargs] == keys
    signature = inspect.signature(cls)
    assert list(signature.parameters) == keys
    for arg, default in zip(new.args.kwonlyargs, new.args.kw_defaults, strict=True):
        assert default is not None
        assert ast.literal_eval(default) == signature.parameters[arg.arg].default, arg.arg
    properties = [
        node.name
        for node in stub.body
        if isinstance(node, ast.FunctionDef)
        and any(isinstance(d, ast.Name) and d.id == "property" for d in node.decorator_list)
    ]
    native_properties = [
        key for key, value in vars(cls).items() if type(value).__name__ == "getset_descriptor"
    ]
    assert properties == native_properties == keys
