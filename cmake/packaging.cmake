# The release package, Tavaren-<version>-win32.zip: Tavaren.exe as built and the players' notes. Made by
#   cmake --workflow --preset release-x86
# which configures, builds and packages the release build (CMakePresets.json). The version is the one in
# project() at the top of CMakeLists.txt, which the executable's version resource shows as well.
if(NOT TARGET Tavaren)
  return()
endif()

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(tavaren_package_system win32)
else()
  set(tavaren_package_system win64)
endif()
set(tavaren_notes Tavaren-Launcher.txt)

# The notes get Windows line ends, whatever the checkout has.
configure_file(${PROJECT_SOURCE_DIR}/packaging/${tavaren_notes}.in
  ${PROJECT_BINARY_DIR}/packaging/${tavaren_notes} @ONLY NEWLINE_STYLE CRLF)
install(TARGETS Tavaren RUNTIME DESTINATION .)
install(FILES ${PROJECT_BINARY_DIR}/packaging/${tavaren_notes} DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Tavaren)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME Tavaren-${PROJECT_VERSION}-${tavaren_package_system})
# The files at the top of the zip: a player unpacks them straight into the game folder.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
include(CPack)

# A test build checks the package of the release build named here (scripts/test.sh names build/release-x86).
set(TAVAREN_RELEASE_BUILD "" CACHE PATH "The release build whose package the tests check (empty: none)")
if(TAVAREN_BUILD_TESTS AND TAVAREN_RELEASE_BUILD)
  find_package(Python3 3.9 REQUIRED COMPONENTS Interpreter)
  add_test(NAME release_package
    COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/packaging/check_package.py
            ${TAVAREN_RELEASE_BUILD}/Tavaren-${PROJECT_VERSION}-win32.zip
            ${TAVAREN_RELEASE_BUILD}/src/app/Tavaren.exe ${tavaren_notes})
  set_tests_properties(release_package PROPERTIES LABELS unit TIMEOUT 60)
endif()
