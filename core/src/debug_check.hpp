// Development checks of preconditions that the engine's own callers must
// keep (a writer call in the wrong place, a position past the end). They are
// compiled in wherever NDEBUG is not defined, and in the sanitizer and fuzz
// builds through ZELKO_DEBUG_CHECKS; a release build carries none of them.
// A failed check names the condition and its place, then aborts, so that a
// fuzzer or a sanitizer run stops at the broken call rather than at a
// corrupted buffer some time later.
#pragma once

#if !defined(NDEBUG) || defined(ZELKO_DEBUG_CHECKS)
#define ZELKO_DEBUG_CHECKS_ACTIVE 1
#else
#define ZELKO_DEBUG_CHECKS_ACTIVE 0
#endif

namespace zelko::detail {

// Writes "zelko: debug check failed: <condition> (<file>:<line>)" to
// standard error and aborts.
[[noreturn]] void debug_check_failed(const char* condition, const char* file,
                                     int line) noexcept;

}  // namespace zelko::detail

#if ZELKO_DEBUG_CHECKS_ACTIVE
#define ZELKO_DEBUG_CHECK(condition) \
  ((condition)                       \
       ? static_cast<void>(0)        \
       : ::zelko::detail::debug_check_failed(#condition, __FILE__, __LINE__))
#else
#define ZELKO_DEBUG_CHECK(condition) static_cast<void>(0)
#endif
