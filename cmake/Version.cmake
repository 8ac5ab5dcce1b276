# zelko's version is written once, in pyproject.toml. scikit-build-core passes
# it in; a plain CMake build (the C++ tests, the fuzzers) reads it from there.
# Included before project(): sets ZELKO_VERSION (the full version string) and
# ZELKO_VERSION_NUMBERS (its leading release numbers, for project(VERSION)).
if(DEFINED SKBUILD_PROJECT_VERSION_FULL)
  set(ZELKO_VERSION "${SKBUILD_PROJECT_VERSION_FULL}")
elseif(DEFINED SKBUILD_PROJECT_VERSION)
  set(ZELKO_VERSION "${SKBUILD_PROJECT_VERSION}")
else()
  file(STRINGS "${CMAKE_CURRENT_LIST_DIR}/../pyproject.toml" zelko_version_line
    REGEX "^version = \"[^\"]+\"$" LIMIT_COUNT 1)
  string(REGEX REPLACE "^version = \"([^\"]+)\"$" "\\1" ZELKO_VERSION "${zelko_version_line}")
  # Re-run the configure step when the version changes.
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
    "${CMAKE_CURRENT_LIST_DIR}/../pyproject.toml")
endif()
if(NOT ZELKO_VERSION MATCHES "^([0-9]+(\\.[0-9]+)*)")
  message(FATAL_ERROR "no version found in pyproject.toml (got '${ZELKO_VERSION}')")
endif()
set(ZELKO_VERSION_NUMBERS "${CMAKE_MATCH_1}")
