# The manual pages, the package's documents and the Debian package itself (cpack -G DEB).
# packaging/build-deb builds the package with Debian's hardening flags.

set(package_name change-utf8)  # Debian names allow no underscore; the program keeps its own
set(package_doc_dir "${CMAKE_INSTALL_DATAROOTDIR}/doc/${package_name}")

# gzip_at_build(SOURCE OUTPUT): OUTPUT is SOURCE compressed the way Debian wants it: best
# compression, and no name or time stamp in the header, so the bytes do not depend on the build.
function(gzip_at_build source output)
  add_custom_command(OUTPUT "${output}"
                     COMMAND gzip -9 -n -c "${source}" > "${output}"
                     DEPENDS "${source}" VERBATIM)
endfunction()

set(manual_language_folders "" "zh_TW/")  # English, then Traditional Chinese
set(compressed_documents "")
foreach(language_folder IN LISTS manual_language_folders)
  set(page "${CMAKE_CURRENT_BINARY_DIR}/man/${language_folder}change_utf8.1")
  configure_file("man/${language_folder}change_utf8.1.in" "${page}" @ONLY)
  gzip_at_build("${page}" "${page}.gz")
  list(APPEND compressed_documents "${page}.gz")
  install(FILES "${page}.gz" DESTINATION "${CMAKE_INSTALL_MANDIR}/${language_folder}man1")
endforeach()

configure_file(packaging/changelog.in "${CMAKE_CURRENT_BINARY_DIR}/changelog" @ONLY)
gzip_at_build("${CMAKE_CURRENT_BINARY_DIR}/changelog" "${CMAKE_CURRENT_BINARY_DIR}/changelog.gz")
list(APPEND compressed_documents "${CMAKE_CURRENT_BINARY_DIR}/changelog.gz")
add_custom_target(documents ALL DEPENDS ${compressed_documents})
install(FILES "${CMAKE_CURRENT_BINARY_DIR}/changelog.gz" packaging/copyright
        DESTINATION "${package_doc_dir}")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME "${package_name}")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_CONTACT "Kestrin <kestrin@example.com>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # change-utf8_VERSION_ARCH.deb
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)   # Depends from dpkg-shlibdeps (dpkg-dev)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "phone lists into contact group files for group SMS")
set(CPACK_PACKAGE_DESCRIPTION
    "change_utf8 is an interactive console program that turns a plain-text
list of phone numbers into the contact group files that a group-SMS
application on an Android phone reads from its memory card. It asks how
many numbers each file may hold and the name of the list, then writes
output_1.xml, output_2.xml and so on into the current directory. Each
group file is written whole under a temporary name and is always
well-formed XML. All console text is Traditional Chinese.")
# Strips the program as dh_strip does and gives folders standard permissions, once installed
# for packaging.
set(CPACK_PRE_BUILD_SCRIPTS "${CMAKE_CURRENT_SOURCE_DIR}/packaging/prepare_staged_files.cmake")
include(CPack)
