# The pinned lexbor HTML parser (the modules its HTML parser needs and its
# LICENSE and NOTICE), obtained and checked by tools/fetch_lexbor.py, which
# downloads nothing when the directory already holds the checked files:
# - building an sdist puts them into third_party/lexbor, which the sdist
#   carries (the repository does not), so installing the sdist needs no
#   download;
# - a source tree that has them there (an unpacked sdist) builds from them;
# - otherwise they are fetched into the build tree.
set(zelko_lexbor_bundled "${PROJECT_SOURCE_DIR}/third_party/lexbor")
if(SKBUILD_STATE STREQUAL "sdist")
  set(ZELKO_LEXBOR_DIR "${zelko_lexbor_bundled}")
elseif(DEFINED ZELKO_LEXBOR_DIR)
  # Given on the command line.
elseif(EXISTS "${zelko_lexbor_bundled}/LICENSE")
  set(ZELKO_LEXBOR_DIR "${zelko_lexbor_bundled}")
else()
  set(ZELKO_LEXBOR_DIR "${CMAKE_BINARY_DIR}/_deps/lexbor")
endif()

execute_process(
  COMMAND "${Python_EXECUTABLE}" "${PROJECT_SOURCE_DIR}/tools/fetch_lexbor.py" "${ZELKO_LEXBOR_DIR}"
  RESULT_VARIABLE zelko_lexbor_rc)
if(NOT zelko_lexbor_rc EQUAL 0)
  message(FATAL_ERROR "could not obtain the lexbor HTML parser (tools/fetch_lexbor.py failed)")
endif()

# Builds the parser as a static C library in the build tree: only the
# modules the HTML parser links against (core, dom, html, ns, tag and the
# POSIX port), so lexbor's share of the build stays small. Third-party
# code: no -Werror, no warnings at all.
function(add_zelko_lexbor_library)
  set(modules core dom html ns tag ports/posix)
  set(sources "")
  foreach(module IN LISTS modules)
    file(GLOB_RECURSE module_sources CONFIGURE_DEPENDS "${ZELKO_LEXBOR_DIR}/lexbor/${module}/*.c")
    list(APPEND sources ${module_sources})
  endforeach()
  add_library(zelko_lexbor STATIC ${sources})
  target_include_directories(zelko_lexbor SYSTEM PUBLIC "${ZELKO_LEXBOR_DIR}")
  target_compile_definitions(zelko_lexbor PUBLIC LEXBOR_STATIC)
  target_compile_options(zelko_lexbor PRIVATE -w)
  set_target_properties(zelko_lexbor PROPERTIES
    C_STANDARD 11
    C_STANDARD_REQUIRED ON
    C_EXTENSIONS OFF
    POSITION_INDEPENDENT_CODE ON
    C_VISIBILITY_PRESET hidden)
endfunction()
