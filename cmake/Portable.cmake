# What makes the extension fit a self-contained manylinux wheel
# (tools/build_wheel.sh builds it and runs auditwheel on it):
#
# - libcrypto is linked statically (Debian's libcrypto.a is position
#   independent); the engine calls only the SHA-256 functions
#   (cmake/sha256_oneshot.cpp), so only those come along;
# - ICU stays a shared library: Debian's static ICU archives are not position
#   independent and cannot go into a shared object. auditwheel copies
#   libicuuc into the wheel, and with it the empty data library built here
#   (cmake/portable/icudata_stub.cpp) in place of the ~30 MB libicudata,
#   which the lowercasing the engine does never reads;
# - the static libraries' symbols stay inside the extension, so they cannot
#   clash with another copy of OpenSSL loaded into the same interpreter.
target_link_options(_zelko_native PRIVATE -Wl,--exclude-libs,ALL)

find_package(ICU REQUIRED COMPONENTS uc)
string(REGEX MATCH "^[0-9]+" zelko_icu_major "${ICU_VERSION}")
add_library(zelko_icudata_stub SHARED "${PROJECT_SOURCE_DIR}/cmake/portable/icudata_stub.cpp")
# ICU's headers only: the data library is what libicuuc links against.
target_include_directories(zelko_icudata_stub PRIVATE ${ICU_INCLUDE_DIRS})
target_compile_options(zelko_icudata_stub PRIVATE -Wall -Wextra -Werror)
set_target_properties(zelko_icudata_stub PROPERTIES
  OUTPUT_NAME icudata
  SOVERSION "${zelko_icu_major}"
  # tools/build_wheel.sh points auditwheel here.
  LIBRARY_OUTPUT_DIRECTORY "${PROJECT_BINARY_DIR}/icudata-stub")
add_dependencies(_zelko_native zelko_icudata_stub)
