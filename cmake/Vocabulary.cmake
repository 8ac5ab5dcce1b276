# The schema.org vocabulary that structured data is checked against, obtained
# and checked against its SHA-256 by tools/fetch_vocabulary.py, which
# downloads nothing when the directory already holds the checked files. As
# with ada: an sdist carries them in third_party/schemaorg, a source tree that
# has them there builds from them, otherwise they are fetched into the build
# tree. tools/gen_vocabulary.py turns them, with core/data/rich_results.txt,
# into the engine's constant table (generated/vocabulary_table.cpp); nothing
# is read at run time.
set(zelko_vocabulary_bundled "${PROJECT_SOURCE_DIR}/third_party/schemaorg")
if(SKBUILD_STATE STREQUAL "sdist")
  set(ZELKO_VOCABULARY_DIR "${zelko_vocabulary_bundled}")
elseif(DEFINED ZELKO_VOCABULARY_DIR)
  # Given on the command line.
elseif(EXISTS "${zelko_vocabulary_bundled}/schemaorg_current.py")
  set(ZELKO_VOCABULARY_DIR "${zelko_vocabulary_bundled}")
else()
  set(ZELKO_VOCABULARY_DIR "${CMAKE_BINARY_DIR}/_deps/schemaorg")
endif()

execute_process(
  COMMAND "${Python_EXECUTABLE}" "${PROJECT_SOURCE_DIR}/tools/fetch_vocabulary.py"
          "${ZELKO_VOCABULARY_DIR}"
  RESULT_VARIABLE zelko_vocabulary_rc)
if(NOT zelko_vocabulary_rc EQUAL 0)
  message(FATAL_ERROR "could not obtain the schema.org vocabulary (tools/fetch_vocabulary.py failed)")
endif()

# The generated table, a source of zelko_core: called where the library is
# made, since a custom command's output belongs to its directory.
set(ZELKO_VOCABULARY_TABLE "${PROJECT_BINARY_DIR}/generated/vocabulary_table.cpp")
function(add_zelko_vocabulary_table)
  add_custom_command(
    OUTPUT "${ZELKO_VOCABULARY_TABLE}"
    COMMAND "${Python_EXECUTABLE}" "${PROJECT_SOURCE_DIR}/tools/gen_vocabulary.py"
            "${ZELKO_VOCABULARY_DIR}" "${PROJECT_SOURCE_DIR}/core/data/rich_results.txt"
            "${ZELKO_VOCABULARY_TABLE}"
    DEPENDS "${PROJECT_SOURCE_DIR}/tools/gen_vocabulary.py"
            "${PROJECT_SOURCE_DIR}/core/data/rich_results.txt"
            "${ZELKO_VOCABULARY_DIR}/schemaorg_current.py"
            "${ZELKO_VOCABULARY_DIR}/schemaorg_release.py"
    COMMENT "Writing the schema.org vocabulary table"
    VERBATIM)
endfunction()
