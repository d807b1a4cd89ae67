# The Debian package of the tessaline command, made by `make dist` through CPack: /usr/bin/tessaline, the
# man page tessaline(1) and /usr/share/doc/tessaline/copyright. Its dependencies come from the shared
# libraries the command links (dpkg-shlibdeps): the Mini-XML runtime package, libstdc++ and libc.

# The man page, with the release number, compressed as Debian keeps man pages (gzip -9 without a name or
# time stamp in its header, so the same page gives the same bytes).
set(_man_dir "${PROJECT_BINARY_DIR}/man")
configure_file(docs/tessaline.1.in "${_man_dir}/tessaline.1" @ONLY)
execute_process(COMMAND gzip -9nf -k "${_man_dir}/tessaline.1" RESULT_VARIABLE _gzip_result)
if(NOT _gzip_result EQUAL 0)
  message(FATAL_ERROR "gzip of the man page failed")
endif()

install(TARGETS tessaline RUNTIME DESTINATION bin)
install(FILES "${_man_dir}/tessaline.1.gz" DESTINATION share/man/man1)
install(FILES docs/copyright DESTINATION share/doc/tessaline)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tessaline)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR Quorvin)
set(CPACK_PACKAGE_CONTACT "Quorvin <quorvin@tessaline.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "converts DeleD 3D level editor scenes to DarkBasic Pro DBO models")
# The long description; CPack puts the summary above it as the synopsis line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "The tessaline command exports a DeleD scene file to a DBO model, byte for byte as the Tessaline\nplug-in does inside the editor, with collision geometry and textures, and inspects DBO files.")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY "${PROJECT_BINARY_DIR}/package")
# Installing builds nothing: `make dist` builds the command first, and a package needs none of the tests.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
include(CPack)
