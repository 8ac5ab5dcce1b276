#!/usr/bin/env python3
"""Write the engine's schema.org vocabulary table as C++ source.

Reads the vocabulary obtained by tools/fetch_vocabulary.py (the release's
graph as a Python literal, parsed with ast.literal_eval, never run) and the
rich-result requirements in core/data/rich_results.txt, and writes one C++
file of constant tables for core/src/vocabulary_table.hpp: every type,
property and enumeration member by name, with the links the checker needs
(subClassOf, domainIncludes, rangeIncludes, enumeration membership,
supersededBy) and the pending flag, and two indexes made from them: a hash
table of the names and every type's ancestors. Output is deterministic.
"""

from __future__ import annotations

import argparse
import ast
import pathlib
import re
import sys
from typing import Any

PREFIX = "schema:"
PENDING = "https://pending.schema.org"
DATA_TYPES = {
    "Boolean", "Date", "DateTime", "Number", "Text", "Time", "URL", "Integer", "Float",
    "CssSelectorType", "XPathType", "PronounceableText", "DataType",
}  # fmt: skip
# Flags, as core/src/vocabulary_table.hpp declares them.
PROPERTY, DATA_TYPE, ENUMERATION, PENDING_FLAG, SUPERSEDED, CLASS, ANY_TEXT = 1, 2, 4, 8, 16, 32, 64
# The data types any text fills.
ANY_TEXT_TYPES = {"Text", "CssSelectorType", "XPathType", "PronounceableText"}
NO_TERM = 0xFFFF
LEVELS = {"required": "Required", "recommended": "Recommended", "eligible": "Eligible"}


def fail(message: str) -> None:
    sys.exit(f"gen_vocabulary: {message}")


def literal(path: pathlib.Path, name: str) -> Any:
    """The value assigned to ``name`` at the top level of a Python file."""
    for node in ast.parse(path.read_text(encoding="utf-8")).body:
        if isinstance(node, ast.Assign) and any(
            isinstance(target, ast.Name) and target.id == name for target in node.targets
        ):
            return ast.literal_eval(node.value)
    fail(f"{path} assigns no {name}")


def ids(value: Any) -> list[str]:
    """The schema.org names an `{"@id": ...}` value or list of them refers to."""
    items = value if isinstance(value, list) else [value] if value is not None else []
    names = []
    for item in items:
        ref = item["@id"] if isinstance(item, dict) else item
        if isinstance(ref, str) and ref.startswith(PREFIX):
            names.append(ref[len(PREFIX) :])
    return names


class Vocabulary:
    def __init__(self, graph: list[dict[str, Any]]) -> None:
        self.nodes = {
            node["@id"][len(PREFIX) :]: node
            for node in graph
            if isinstance(node.get("@id"), str) and node["@id"].startswith(PREFIX)
        }
        self.names = sorted(self.nodes)
        self.index = {name: position for position, name in enumerate(self.names)}

    def types_of(self, name: str) -> list[str]:
        kinds = self.nodes[name]["@type"]
        return kinds if isinstance(kinds, list) else [kinds]

    def is_class(self, name: str) -> bool:
        return "rdfs:Class" in self.types_of(name)

    def is_property(self, name: str) -> bool:
        return "rdf:Property" in self.types_of(name)

    def parents(self, name: str) -> list[str]:
        return [p for p in ids(self.nodes[name].get("rdfs:subClassOf")) if p in self.nodes]

    def ancestors(self, name: str) -> set[str]:
        seen: set[str] = set()
        pending = [name]
        while pending:
            current = pending.pop()
            if current not in seen:
                seen.add(current)
                pending.extend(self.parents(current))
        return seen

    def closure(self, name: str) -> list[str]:
        """Every term ``name`` inherits from through subClassOf, as the
        checker walks it (a property has none): sorted by index."""
        found: set[str] = set()
        if self.is_property(name):
            return []
        pending = [name]
        while pending:
            for parent in self.parents(pending.pop()):
                if parent not in found:
                    found.add(parent)
                    if not self.is_property(parent):
                        pending.append(parent)
        return sorted(found, key=self.index.__getitem__)

    def memberships(self, name: str) -> list[str]:
        """The enumerations (or Boolean) that a term is a member of."""
        return [
            kind[len(PREFIX) :]
            for kind in self.types_of(name)
            if kind.startswith(PREFIX) and kind[len(PREFIX) :] in self.nodes
            and kind != "schema:DataType"
        ]  # fmt: skip

    def flags(self, name: str) -> int:
        node = self.nodes[name]
        flags = 0
        if self.is_property(name):
            flags |= PROPERTY
        if self.is_class(name):
            flags |= CLASS
            ancestors = self.ancestors(name)
            if name in DATA_TYPES or "DataType" in ancestors:
                flags |= DATA_TYPE
            if name in ANY_TEXT_TYPES:
                flags |= ANY_TEXT
            if "Enumeration" in ancestors and name != "Enumeration":
                flags |= ENUMERATION
        if PENDING in str(node.get("schema:isPartOf")):
            flags |= PENDING_FLAG
        if node.get("schema:supersededBy") is not None:
            flags |= SUPERSEDED
        return flags

    def links(self, name: str) -> tuple[list[str], list[str]]:
        """(parents or domains, ranges or enumerations it belongs to)."""
        node = self.nodes[name]
        if self.is_property(name):
            return (
                [d for d in ids(node.get("schema:domainIncludes")) if d in self.nodes],
                [r for r in ids(node.get("schema:rangeIncludes")) if r in self.nodes],
            )
        return self.parents(name), self.memberships(name)


def read_rich_rules(path: pathlib.Path, vocabulary: Vocabulary) -> list[tuple[str, ...]]:
    rules = []
    for number, raw in enumerate(path.read_text(encoding="utf-8").splitlines(), start=1):
        line = raw.split("#", 1)[0].strip()
        if not line:
            continue
        where = f"{path.name}:{number}"
        parts = line.split()
        if len(parts) != 3 or parts[1] not in LEVELS:
            fail(f"{where}: want `subject level properties`, got {raw!r}")
        subject, level, properties = parts
        match = re.fullmatch(r"(\w+)(?:\.([\w-]+)>(\w+))?", subject)
        if match is None:
            fail(f"{where}: bad subject {subject!r}")
        owner, via, node_type = match.group(1), match.group(2) or "", match.group(3) or ""
        names = [owner, node_type] if node_type else [owner]
        for alternative in properties.split("|"):
            if alternative != "(last)":
                names.extend(step.removesuffix("-input") for step in alternative.split("."))
        if via:
            names.append(via)
        for name in names:
            if name not in vocabulary.nodes:
                fail(f"{where}: {name!r} is not in the vocabulary")
        rules.append((owner, via, node_type, LEVELS[level], properties))
    return rules


def name_hash(name: str) -> int:
    """The hash of vocabulary::name_hash: the UTF-8 bytes eight at a time
    (little-endian, the last word padded with zeros), each mixed in with a
    multiply and the high half folded into the low one."""
    data = name.encode("utf-8")
    value = 0x9E3779B97F4A7C15 ^ len(data)
    for at in range(0, len(data), 8):
        word = int.from_bytes(data[at : at + 8], "little")
        value = ((value ^ word) * 0xFF51AFD7ED558CCD) & 0xFFFFFFFFFFFFFFFF
        value ^= value >> 32
    return value & 0xFFFFFFFF


def name_slots(names: list[str]) -> list[int]:
    """An open-addressing table of term indexes (linear probing, at most half
    full); empty slots hold NO_TERM."""
    size = 1
    while size < 2 * len(names):
        size *= 2
    slots = [NO_TERM] * size
    for index, name in enumerate(names):
        slot = name_hash(name) & (size - 1)
        while slots[slot] != NO_TERM:
            slot = (slot + 1) & (size - 1)
        slots[slot] = index
    return slots


def numbers(name: str, values: list[int]) -> list[str]:
    out = [f"constexpr std::uint16_t {name}[] = {{"]
    for start in range(0, len(values), 16):
        out.append("    " + ", ".join(str(n) for n in values[start : start + 16]) + ",")
    out.append("};")
    out.append("")
    return out


def quoted(text: str) -> str:
    if not re.fullmatch(r"[\w.|()>-]*", text):
        fail(f"unexpected characters in {text!r}")
    return f'"{text}"'


def render(release: str, vocabulary: Vocabulary, rules: list[tuple[str, ...]]) -> str:
    out = [
        "// Generated by tools/gen_vocabulary.py from the schema.org vocabulary",
        f"// (release {release}, CC BY-SA 4.0) and core/data/rich_results.txt.",
        "// Do not edit.",
        '#include "vocabulary_table.hpp"',
        "",
        "namespace zelko::vocabulary {",
        "namespace {",
        "",
        "constexpr Term kTerms[] = {",
    ]
    links: list[int] = []
    for name in vocabulary.names:
        first, second = vocabulary.links(name)
        replacement = ids(vocabulary.nodes[name].get("schema:supersededBy"))
        replaced = vocabulary.index.get(replacement[0], NO_TERM) if replacement else NO_TERM
        begin = len(links)
        links.extend(vocabulary.index[n] for n in first + second)
        out.append(
            f"    {{{quoted(name)}, {vocabulary.flags(name)}, {replaced}, {begin}, "
            f"{len(first)}, {len(second)}}},"
        )
    out.append("};")
    out.append("")
    out.extend(numbers("kLinks", links))
    out.extend(numbers("kNameSlots", name_slots(vocabulary.names)))
    ancestors: list[int] = []
    out.append("constexpr Ancestry kAncestry[] = {")
    for name in vocabulary.names:
        closure = [vocabulary.index[n] for n in vocabulary.closure(name)]
        out.append(f"    {{{len(ancestors)}, {len(closure)}}},")
        ancestors.extend(closure)
    out.append("};")
    out.append("")
    out.extend(numbers("kAncestors", ancestors or [NO_TERM]))
    out.append("constexpr RichRule kRichRules[] = {")
    for owner, via, node_type, level, properties in rules:
        owner_id = vocabulary.index[owner]
        node_type_id = vocabulary.index[node_type] if node_type else NO_TERM
        out.append(
            f"    {{{quoted(owner)}, {owner_id}, {quoted(via)}, {quoted(node_type)}, "
            f"{node_type_id}, RichLevel::{level}, {quoted(properties)}}},"
        )
    out.append("};")
    out.append("")
    out.append("}  // namespace")
    out.append("")
    out.append(f'std::string_view release() noexcept {{ return "{release}"; }}')
    out.append("std::span<const Term> terms() noexcept { return kTerms; }")
    out.append("std::span<const std::uint16_t> links() noexcept { return kLinks; }")
    out.append("std::span<const RichRule> rich_rules() noexcept { return kRichRules; }")
    out.append("std::span<const std::uint16_t> name_slots() noexcept { return kNameSlots; }")
    out.append("std::span<const Ancestry> ancestry() noexcept { return kAncestry; }")
    out.append("std::span<const std::uint16_t> ancestors() noexcept { return kAncestors; }")
    out.append("")
    out.append("}  // namespace zelko::vocabulary")
    return "\n".join(out) + "\n"


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("vocabulary_dir", type=pathlib.Path)
    parser.add_argument("rich_results", type=pathlib.Path)
    parser.add_argument("output", type=pathlib.Path)
    args = parser.parse_args()
    release = literal(args.vocabulary_dir / "schemaorg_release.py", "SCHEMAORG_RELEASE")
    if not re.fullmatch(r"\d+\.\d+", release) or int(release.split(".")[0]) < 29:
        fail(f"release {release!r} is older than 29.0")
    document = literal(args.vocabulary_dir / "schemaorg_current.py", "schemaorg_current_jsonld")
    vocabulary = Vocabulary(document["@graph"])
    if len(vocabulary.names) >= NO_TERM:
        fail("too many terms for 16-bit links")
    text = render(release, vocabulary, read_rich_rules(args.rich_results, vocabulary))
    args.output.parent.mkdir(parents=True, exist_ok=True)
    partial = args.output.with_name(args.output.name + ".part")
    partial.write_text(text, encoding="utf-8")
    partial.replace(args.output)


if __name__ == "__main__":
    main()
