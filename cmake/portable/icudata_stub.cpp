// An empty ICU data library for the self-contained wheel.
//
// The engine uses ICU only for icu::CaseMap::utf8ToLower in the root locale.
// The case-mapping properties that needs are compiled into libicuuc itself;
// the ~30 MB libicudata (locales, collation, break rules, converters) is never
// read. libicuuc still links against libicudata for the one symbol that marks
// the start of ICU's common data, so the wheel ships this library in its
// place: a valid common-data header with no entries. Anything that did look
// data up would get ICU's ordinary "missing resource" error, not a crash.
#include <unicode/udata.h>
#include <unicode/utypes.h>

#include <cstddef>
#include <cstdint>

// The layout ICU checks at U_ICUDATA_ENTRY_POINT: a data header (size and
// two magic bytes, then UDataInfo, padded to 32 bytes) followed by a table of
// contents in the pointer form ("ToCP"): an entry count and the entries.
struct alignas(16) ZelkoEmptyIcuData {
  std::uint16_t header_size;
  std::uint8_t magic1;
  std::uint8_t magic2;
  UDataInfo info;
  char padding[8];
  std::uint32_t count;
  std::uint32_t reserved;
  struct {
    const char* name;
    const void* data;
  } entries[1];
};

static_assert(offsetof(ZelkoEmptyIcuData, count) == 32,
              "ICU expects the table of contents 32 bytes in");

extern "C" U_EXPORT const ZelkoEmptyIcuData U_ICUDATA_ENTRY_POINT = {
    32,
    0xda,
    0x27,
    {
        sizeof(UDataInfo),
        0,
        U_IS_BIG_ENDIAN,
        U_CHARSET_FAMILY,
        U_SIZEOF_UCHAR,
        0,
        {0x54, 0x6f, 0x43, 0x50},  // "ToCP"
        {1, 0, 0, 0},
        {0, 0, 0, 0},
    },
    {},
    0,
    0,
    {{nullptr, nullptr}},
};
