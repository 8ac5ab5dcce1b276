# The font that social cards draw with (Inter, under the SIL Open Font
# Licence), obtained and checked against its SHA-256 by tools/fetch_font.py,
# which downloads nothing when the directory already holds the checked files.
# As with ada: an sdist carries them in third_party/fonts, a source tree that
# has them there builds from them, otherwise they are fetched into the build
# tree. The wheel carries them in zelko/cards/fonts.
set(zelko_fonts_bundled "${PROJECT_SOURCE_DIR}/third_party/fonts")
if(SKBUILD_STATE STREQUAL "sdist")
  set(ZELKO_FONT_DIR "${zelko_fonts_bundled}")
elseif(DEFINED ZELKO_FONT_DIR)
  # Given on the command line.
elseif(EXISTS "${zelko_fonts_bundled}/Inter.ttf")
  set(ZELKO_FONT_DIR "${zelko_fonts_bundled}")
else()
  set(ZELKO_FONT_DIR "${CMAKE_BINARY_DIR}/_deps/fonts")
endif()

execute_process(
  COMMAND "${Python_EXECUTABLE}" "${PROJECT_SOURCE_DIR}/tools/fetch_font.py" "${ZELKO_FONT_DIR}"
  RESULT_VARIABLE zelko_font_rc)
if(NOT zelko_font_rc EQUAL 0)
  message(FATAL_ERROR "could not obtain the social card font (tools/fetch_font.py failed)")
endif()

function(install_zelko_fonts)
  install(FILES "${ZELKO_FONT_DIR}/Inter.ttf" "${ZELKO_FONT_DIR}/Inter-LICENSE.txt"
          DESTINATION zelko/cards/fonts)
endfunction()
