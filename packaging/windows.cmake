# The Windows distributables, made by `cpack` in the cross-build folder:
# orvandelcaster-<version>-win64.zip and, where makensis is found,
# orvandelcaster-<version>-win64.exe, an installer with a Start-menu entry for
# the program, a licence page and an uninstaller. Both carry the two programs
# stripped, a README for Windows users and the licence; the build folder's
# programs keep their symbols for the tests and the debugger.
#
# The texts get Windows line ends, so Notepad shows their lines.
configure_file(${CMAKE_CURRENT_LIST_DIR}/windows/README.txt.in ${CMAKE_BINARY_DIR}/README.txt
               @ONLY NEWLINE_STYLE CRLF)
configure_file(${CMAKE_SOURCE_DIR}/LICENSE ${CMAKE_BINARY_DIR}/LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
install(TARGETS orvandelcaster capture-probe RUNTIME DESTINATION . COMPONENT orvandelcaster)
install(FILES ${CMAKE_BINARY_DIR}/README.txt ${CMAKE_BINARY_DIR}/LICENSE.txt DESTINATION . COMPONENT orvandelcaster)
set(CPACK_STRIP_FILES ON)
# One zip and one installer of everything, whatever components the install
# rules name (the Debian packages are split by component; these are not).
set(CPACK_MONOLITHIC_INSTALL ON)
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_BINARY_DIR}/LICENSE.txt)
set(CPACK_GENERATOR ZIP)
find_program(MAKENSIS makensis)
if(MAKENSIS)
  list(APPEND CPACK_GENERATOR NSIS)
  set(CPACK_NSIS_EXECUTABLE ${MAKENSIS})
  set(CPACK_PACKAGE_INSTALL_DIRECTORY Orvandelcaster)
  set(CPACK_NSIS_PACKAGE_NAME Orvandelcaster)
  set(CPACK_NSIS_DISPLAY_NAME Orvandelcaster)
  set(CPACK_PACKAGE_EXECUTABLES orvandelcaster Orvandelcaster)
  # The programs lie in the installation folder itself, not in a bin folder.
  set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
  set(CPACK_NSIS_INSTALLED_ICON_NAME orvandelcaster.exe)
  set(CPACK_NSIS_MUI_ICON ${CMAKE_BINARY_DIR}/res/orvandelcaster.ico)
  set(CPACK_NSIS_MUI_UNIICON ${CMAKE_BINARY_DIR}/res/orvandelcaster.ico)
  set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
endif()
set(CPACK_PACKAGE_NAME orvandelcaster)
set(CPACK_PACKAGE_VERSION ${ORVANDEL_SHOWN_VERSION})
set(CPACK_PACKAGE_FILE_NAME orvandelcaster-${ORVANDEL_SHOWN_VERSION}-win64)
include(CPack)
