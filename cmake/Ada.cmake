# The pinned ada amalgamation (ada.cpp, ada.h and its LICENSE), obtained and
# checked against its SHA-256 by tools/fetch_ada.py, which downloads nothing
# when the directory already holds the checked files:
# - building an sdist puts them into third_party/ada, which the sdist carries
#   (the repository does not), so installing the sdist needs no download;
# - a source tree that has them there (an unpacked sdist) builds from them;
# - otherwise they are fetched into the build tree.
set(zelko_ada_bundled "${PROJECT_SOURCE_DIR}/third_party/ada")
if(SKBUILD_STATE STREQUAL "sdist")
  set(ZELKO_ADA_DIR "${zelko_ada_bundled}")
elseif(DEFINED ZELKO_ADA_DIR)
  # Given on the command line.
elseif(EXISTS "${zelko_ada_bundled}/ada.cpp")
  set(ZELKO_ADA_DIR "${zelko_ada_bundled}")
else()
  set(ZELKO_ADA_DIR "${CMAKE_BINARY_DIR}/_deps/ada")
endif()

execute_process(
  COMMAND "${Python_EXECUTABLE}" "${PROJECT_SOURCE_DIR}/tools/fetch_ada.py" "${ZELKO_ADA_DIR}"
  RESULT_VARIABLE zelko_ada_rc)
if(NOT zelko_ada_rc EQUAL 0)
  message(FATAL_ERROR "could not obtain the ada URL parser (tools/fetch_ada.py failed)")
endif()

# Builds it as a static library in the build tree. Third-party code: no -Werror.
function(add_zelko_ada_library)
  add_library(zelko_ada STATIC "${ZELKO_ADA_DIR}/ada.cpp")
  target_include_directories(zelko_ada SYSTEM PUBLIC "${ZELKO_ADA_DIR}")
  target_compile_features(zelko_ada PUBLIC cxx_std_20)
  set_target_properties(zelko_ada PROPERTIES POSITION_INDEPENDENT_CODE ON)
  # No regex-based URL patterns are needed; keep the build small.
  target_compile_definitions(zelko_ada PUBLIC ADA_INCLUDE_URL_PATTERN=0)
endfunction()
