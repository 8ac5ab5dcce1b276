// The schema.org vocabulary and the rich-result requirements as constant
// tables, written at build time by tools/gen_vocabulary.py into
// generated/vocabulary_table.cpp.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

namespace zelko::vocabulary {

inline constexpr std::uint16_t kNoTerm = 0xFFFF;

// Term::flags.
inline constexpr std::uint8_t kProperty = 1;
inline constexpr std::uint8_t kDataType = 2;     // Text, Number, Date, ...
inline constexpr std::uint8_t kEnumeration = 4;  // a subtype of Enumeration
inline constexpr std::uint8_t kPending = 8;
inline constexpr std::uint8_t kSuperseded = 16;
inline constexpr std::uint8_t kClass = 32;
inline constexpr std::uint8_t kAnyText =
    64;  // Text and the types any text fills

// One term; terms() is sorted by name (bytewise), so a term's index is its
// identity. Its links are links()[links_begin, + first_count + second_count):
// - a property: its domainIncludes, then its rangeIncludes;
// - any other term: its subClassOf parents, then the enumerations it is a
//   member of (an enumeration member has no parents).
struct Term {
  std::string_view name;
  std::uint8_t flags;
  std::uint16_t replacement;  // supersededBy, or kNoTerm
  std::uint32_t links_begin;
  std::uint16_t first_count;
  std::uint16_t second_count;
};

enum class RichLevel : std::uint8_t { Required, Recommended, Eligible };

// One line of core/data/rich_results.txt: nodes of `subject` (or a subtype),
// or, when `via` is set, nodes of `node_type` found as values of `via` on a
// node of `subject`, must have one of the '|'-separated `properties`.
struct RichRule {
  std::string_view subject;
  std::uint16_t subject_id;  // the index of `subject` in terms()
  std::string_view via;
  std::string_view node_type;
  std::uint16_t node_type_id;  // or kNoTerm
  RichLevel level;
  std::string_view properties;
};

// A term's ancestors: ancestors()[begin, + count), every term it inherits
// from through subClassOf, sorted by index (none for a property).
struct Ancestry {
  std::uint32_t begin;
  std::uint16_t count;
};

// The hash name_slots() is laid out by: the name's bytes eight at a time
// (little-endian, the last word padded with zeros), each word mixed in with
// a multiply, the high half folded into the low one.
constexpr std::uint32_t name_hash(std::string_view name) noexcept {
  constexpr std::uint64_t kMultiplier = 0xFF51AFD7ED558CCDULL;
  std::uint64_t value = 0x9E3779B97F4A7C15ULL ^ name.size();
  for (std::size_t at = 0; at < name.size(); at += 8) {
    std::uint64_t word = 0;
    const std::size_t count = std::min<std::size_t>(8, name.size() - at);
    if (!std::is_constant_evaluated() && count == 8 &&
        std::endian::native == std::endian::little) {
      std::memcpy(&word, name.data() + at, 8);
    } else {
      for (std::size_t i = 0; i < count; ++i) {
        word |= std::uint64_t{static_cast<unsigned char>(name[at + i])}
                << (8 * i);
      }
    }
    value = (value ^ word) * kMultiplier;
    value ^= value >> 32;
  }
  return static_cast<std::uint32_t>(value);
}

// The schema.org release number, e.g. "30.0".
[[nodiscard]] std::string_view release() noexcept;
[[nodiscard]] std::span<const Term> terms() noexcept;
[[nodiscard]] std::span<const std::uint16_t> links() noexcept;
[[nodiscard]] std::span<const RichRule> rich_rules() noexcept;
// Term indexes by name_hash(name) modulo the size (a power of two), linear
// probing from there; an empty slot holds kNoTerm.
[[nodiscard]] std::span<const std::uint16_t> name_slots() noexcept;
// Parallel to terms().
[[nodiscard]] std::span<const Ancestry> ancestry() noexcept;
[[nodiscard]] std::span<const std::uint16_t> ancestors() noexcept;

}  // namespace zelko::vocabulary
