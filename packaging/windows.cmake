# Installing Talvrin on Windows: one program folder under Program Files,
#
#   talvrin.exe  talvrin-repair.exe  talvrin-image.exe  files/ (with regini.exe)  doc/talvrin.html
#
# as the programs expect it (the support files beside the executables). The programs are 32-bit
# and run on 32-bit and 64-bit Windows alike. In the build folder, cpack -G NSIS makes the
# installer talvrin-<version>-win32-setup.exe (a Start-menu shortcut with the logo's icon, an
# uninstaller that removes what was installed, /S for a silent install and /D=<folder> for another
# folder) and cpack -G ZIP the same folder as talvrin-<version>-win32.zip.
install(TARGETS talvrin talvrin-repair talvrin-image RUNTIME DESTINATION .)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/files/ DESTINATION files PATTERN README.md EXCLUDE)
install(TARGETS regini RUNTIME DESTINATION files)
# The program's own page, opened by the window's link.
install(FILES ${CMAKE_SOURCE_DIR}/docs/talvrin.html DESTINATION doc)

set(CPACK_GENERATOR "NSIS;ZIP")
set(CPACK_PACKAGE_NAME Talvrin)
set(CPACK_PACKAGE_VENDOR Talvrin)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "repair the firewall and management-instrumentation services")
set(CPACK_PACKAGE_FILE_NAME talvrin-${PROJECT_VERSION}-win32)
set(CPACK_PACKAGE_INSTALL_DIRECTORY Talvrin)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY Talvrin)
set(CPACK_STRIP_FILES ON)
# The zip holds the folder itself, not a folder named after the package around it.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)

# A 32-bit installer for the 32-bit programs, into the system's folder for 32-bit programs
# ("Program Files (x86)" on 64-bit Windows).
set(CPACK_NSIS_DEFINES "Target x86-unicode")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES")
set(CPACK_NSIS_DISPLAY_NAME Talvrin)
set(CPACK_NSIS_PACKAGE_NAME Talvrin)
set(CPACK_NSIS_MUI_ICON ${CMAKE_SOURCE_DIR}/resources/logo.ico)
set(CPACK_NSIS_MUI_UNIICON ${CMAKE_SOURCE_DIR}/resources/logo.ico)
set(CPACK_NSIS_INSTALLED_ICON_NAME talvrin.exe)
# The shortcut shows the program's second icon, the logo (the first is the window's).
set(CPACK_NSIS_CREATE_ICONS_EXTRA
    "  CreateShortCut '$SMPROGRAMS\\\\$STARTMENU_FOLDER\\\\Talvrin.lnk' '$INSTDIR\\\\talvrin.exe' '' '$INSTDIR\\\\talvrin.exe' 1")
set(CPACK_NSIS_DELETE_ICONS_EXTRA "  Delete '$SMPROGRAMS\\\\$MUI_TEMP\\\\Talvrin.lnk'")
# Only the installer's name says what it is.
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_BINARY_DIR}/cpack_per_generator.cmake)
file(WRITE ${CPACK_PROJECT_CONFIG_FILE}
    "if(CPACK_GENERATOR STREQUAL \"NSIS\")\n"
    "    set(CPACK_PACKAGE_FILE_NAME \"talvrin-${PROJECT_VERSION}-win32-setup\")\n"
    "endif()\n")
include(CPack)
