# Builds the pinned ada amalgamation (fetched and checked by tools/fetch_ada.py)
# as a static library in the build tree. Third-party code: no -Werror.
set(ZELKO_ADA_DIR "${CMAKE_BINARY_DIR}/_deps/ada" CACHE PATH "Where the ada amalgamation is extracted")
if(NOT EXISTS "${ZELKO_ADA_DIR}/ada.cpp" OR NOT EXISTS "${ZELKO_ADA_DIR}/ada.h")
  execute_process(
    COMMAND "${Python_EXECUTABLE}" "${PROJECT_SOURCE_DIR}/tools/fetch_ada.py" "${ZELKO_ADA_DIR}"
    RESULT_VARIABLE zelko_ada_rc)
  if(NOT zelko_ada_rc EQUAL 0)
    message(FATAL_ERROR "could not obtain the ada URL parser (tools/fetch_ada.py failed)")
  endif()
endif()

add_library(zelko_ada STATIC "${ZELKO_ADA_DIR}/ada.cpp")
target_include_directories(zelko_ada SYSTEM PUBLIC "${ZELKO_ADA_DIR}")
target_compile_features(zelko_ada PUBLIC cxx_std_20)
set_target_properties(zelko_ada PROPERTIES POSITION_INDEPENDENT_CODE ON)
# No regex-based URL patterns are needed; keep the build small.
target_compile_definitions(zelko_ada PUBLIC ADA_INCLUDE_URL_PATTERN=0)
