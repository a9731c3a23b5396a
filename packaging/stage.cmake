# Run by CPack on the files staged for a package, before it packs them
# (CPACK_PRE_BUILD_SCRIPTS). The .deb gets what Debian asks of a package: the
# manual page and the changelog compressed with gzip -9n (no name, no time
# in the header, so the bytes depend on the content alone), the copyright
# file in /usr/share/doc/tarvin, and a program without the sections that
# Debian's own packaging strips (.comment, the compilers' versions, and
# .note).
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()

set(root "${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")
set(doc "${root}/share/doc/tarvin")
file(MAKE_DIRECTORY "${doc}")
file(COPY_FILE "${CPACK_TARVIN_SOURCE_DIR}/packaging/copyright" "${doc}/copyright")
file(COPY_FILE "${CPACK_TARVIN_SOURCE_DIR}/packaging/changelog" "${doc}/changelog")

file(GLOB pages "${root}/share/man/man*/*")
foreach(file IN LISTS pages ITEMS "${doc}/changelog")
  if(NOT file MATCHES "\\.gz$")
    execute_process(COMMAND gzip -9nf "${file}" RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "gzip ${file} failed: ${status}")
    endif()
  endif()
endforeach()

execute_process(COMMAND "${CPACK_TARVIN_STRIP}" --remove-section=.comment --remove-section=.note "${root}/bin/tarvin"
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "strip ${root}/bin/tarvin failed: ${status}")
endif()
