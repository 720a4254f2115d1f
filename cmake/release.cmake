# What makes eldoris-setup.exe a release: its version resource, byte-identical
# output from any checkout path, and optional Authenticode signing.

# resources/version.rc spells the version from these; project() is the one source.
target_compile_definitions(eldoris-setup PRIVATE
  $<$<COMPILE_LANGUAGE:RC>:ELDORIS_VERSION_MAJOR=${PROJECT_VERSION_MAJOR}>
  $<$<COMPILE_LANGUAGE:RC>:ELDORIS_VERSION_MINOR=${PROJECT_VERSION_MINOR}>
  $<$<COMPILE_LANGUAGE:RC>:ELDORIS_VERSION_PATCH=${PROJECT_VERSION_PATCH}>)

# Reproducible: no checkout or build paths in __FILE__ and the like, no link time.
set(ELDORIS_PREFIX_MAPS
  -ffile-prefix-map=${CMAKE_SOURCE_DIR}/= -ffile-prefix-map=${CMAKE_BINARY_DIR}/=)
target_compile_options(eldoris_core PRIVATE ${ELDORIS_PREFIX_MAPS})
target_compile_options(eldoris-setup PRIVATE
  $<$<COMPILE_LANGUAGE:CXX>:${ELDORIS_PREFIX_MAPS}>)
target_link_options(eldoris-setup PRIVATE -Wl,--no-insert-timestamp)

# Signing, only when both PEM paths are given (in the environment at configure
# time, or as -D). Kept in the cache so that a re-run of cmake by the build
# itself still signs; an empty value turns signing off again.
foreach(var ELDORIS_SIGN_CERT ELDORIS_SIGN_KEY)
  if(DEFINED ENV{${var}})
    set(${var} "$ENV{${var}}" CACHE FILEPATH "PEM file for Authenticode signing" FORCE)
  endif()
endforeach()
if(ELDORIS_SIGN_CERT AND ELDORIS_SIGN_KEY)
  foreach(file IN ITEMS "${ELDORIS_SIGN_CERT}" "${ELDORIS_SIGN_KEY}")
    if(NOT IS_ABSOLUTE "${file}" OR NOT EXISTS "${file}")
      message(FATAL_ERROR "Signing needs an absolute path to an existing file: ${file}")
    endif()
  endforeach()
  find_program(ELDORIS_OSSLSIGNCODE osslsigncode REQUIRED)
  message(STATUS "eldoris-setup.exe will be signed with ${ELDORIS_SIGN_CERT}")
  add_custom_command(TARGET eldoris-setup POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E env
      ELDORIS_SIGN_CERT=${ELDORIS_SIGN_CERT} ELDORIS_SIGN_KEY=${ELDORIS_SIGN_KEY}
      bash ${CMAKE_SOURCE_DIR}/scripts/sign.sh $<TARGET_FILE:eldoris-setup>
    VERBATIM)
endif()
