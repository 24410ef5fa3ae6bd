# The release package, Tavaren-<version>-win32.zip: Tavaren.exe as built (signed when a certificate is given)
# and the players' notes, with its checksum beside it in Tavaren-<version>-win32.zip.sha256. Made by
#   cmake --workflow --preset release-x86
# which configures, builds and packages the release build (CMakePresets.json). The version is the one in
# project() at the top of CMakeLists.txt, which the executable's version resource shows as well. The same
# sources give the same exe and zip byte for byte, whoever builds them, wherever and whenever.
if(NOT TARGET Tavaren)
  return()
endif()

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(tavaren_package_system win32)
else()
  set(tavaren_package_system win64)
endif()
set(tavaren_notes Tavaren-Launcher.txt)

# The date the release carries, in seconds since 1970 (UTC): SOURCE_DATE_EPOCH when set, else the time of
# the last commit. Outside a git checkout (sources unpacked from an archive) without SOURCE_DATE_EPOCH it is
# 1980-01-01, the earliest date a zip entry can hold, so that builds of one archive still agree. Each
# configure reads it anew (the release workflow configures every time).
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(tavaren_source_date "$ENV{SOURCE_DATE_EPOCH}")
elseif(EXISTS ${PROJECT_SOURCE_DIR}/.git)
  find_package(Git REQUIRED)
  # safe.directory: a checkout owned by another user (a build account, a container) is read all the same.
  execute_process(COMMAND ${GIT_EXECUTABLE} -c safe.directory=* log -1 --format=%ct
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} RESULT_VARIABLE tavaren_git_status
    OUTPUT_VARIABLE tavaren_source_date OUTPUT_STRIP_TRAILING_WHITESPACE
    ERROR_VARIABLE tavaren_git_error ERROR_STRIP_TRAILING_WHITESPACE)
  if(NOT tavaren_git_status EQUAL 0)
    message(FATAL_ERROR " The last commit's date cannot be read (set SOURCE_DATE_EPOCH): ${tavaren_git_error}")
  endif()
else()
  set(tavaren_source_date 315532800)
  message(STATUS "Release date: 1980-01-01 (no SOURCE_DATE_EPOCH and no git checkout)")
endif()
if(NOT tavaren_source_date MATCHES "^[0-9]+$")
  message(FATAL_ERROR " SOURCE_DATE_EPOCH must be a number of seconds since 1970, not '${tavaren_source_date}'")
endif()

# mingw-w64's linker writes SOURCE_DATE_EPOCH as the exe's time stamp instead of the time of the link (the
# header's checksum then follows from the contents alone); a new date links the exe anew.
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/source_date_epoch CONTENT "${tavaren_source_date}\n")
  set_target_properties(Tavaren PROPERTIES
    CXX_LINKER_LAUNCHER "${CMAKE_COMMAND};-E;env;SOURCE_DATE_EPOCH=${tavaren_source_date}"
    LINK_DEPENDS ${PROJECT_BINARY_DIR}/source_date_epoch)
endif()

# The notes get Windows line ends, whatever the checkout has.
configure_file(${PROJECT_SOURCE_DIR}/packaging/${tavaren_notes}.in
  ${PROJECT_BINARY_DIR}/packaging/${tavaren_notes} @ONLY NEWLINE_STYLE CRLF)
install(TARGETS Tavaren RUNTIME DESTINATION .)
install(FILES ${PROJECT_BINARY_DIR}/packaging/${tavaren_notes} DESTINATION .)

# CPack stages what the install rules name, and packaging/package.cmake packs it (CPack's own ZIP writer
# stores each file's time, owner and permissions, which differ from build to build).
find_package(Python3 3.9 REQUIRED COMPONENTS Interpreter)
set(CPACK_GENERATOR External)
set(CPACK_EXTERNAL_ENABLE_STAGING ON)
set(CPACK_EXTERNAL_PACKAGE_SCRIPT ${PROJECT_SOURCE_DIR}/packaging/package.cmake)
set(CPACK_PACKAGE_NAME Tavaren)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME Tavaren-${PROJECT_VERSION}-${tavaren_package_system})
set(CPACK_TAVAREN_PYTHON ${Python3_EXECUTABLE})
set(CPACK_TAVAREN_SOURCE_DATE_EPOCH ${tavaren_source_date})
include(CPack)

# A test build checks the release build named here (scripts/test.sh names build/release-x86): its package,
# its exe's PE image, a second build of these sources elsewhere that must come out the same, and its package
# step's signing.
set(TAVAREN_RELEASE_BUILD "" CACHE PATH "The release build whose package the tests check (empty: none)")
if(TAVAREN_BUILD_TESTS AND TAVAREN_RELEASE_BUILD)
  set(tavaren_release_zip Tavaren-${PROJECT_VERSION}-win32.zip)
  add_test(NAME release_package
    COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/packaging/check_package.py
            ${TAVAREN_RELEASE_BUILD}/${tavaren_release_zip}
            ${TAVAREN_RELEASE_BUILD}/src/app/Tavaren.exe ${tavaren_notes})
  add_test(NAME release_rebuild
    COMMAND bash ${PROJECT_SOURCE_DIR}/packaging/check_rebuild.sh ${PROJECT_SOURCE_DIR} ${TAVAREN_RELEASE_BUILD}
            ${tavaren_release_zip} ${PROJECT_BINARY_DIR}/release-rebuild)
  add_test(NAME release_signing
    COMMAND bash ${PROJECT_SOURCE_DIR}/packaging/check_signing.sh ${TAVAREN_RELEASE_BUILD}
            ${PROJECT_BINARY_DIR}/release-signing)
  # What the exe's PE header and code tell Windows (hardening, its manifest, imports) and its size. It reads Debian's
  # python3-pefile, which a Python installed apart from Debian's does not see.
  set(tavaren_pe_python ${Python3_EXECUTABLE})
  execute_process(COMMAND ${Python3_EXECUTABLE} -c "import pefile" RESULT_VARIABLE tavaren_no_pefile
    OUTPUT_QUIET ERROR_QUIET)
  if(NOT tavaren_no_pefile EQUAL 0 AND EXISTS /usr/bin/python3)
    set(tavaren_pe_python /usr/bin/python3)
  endif()
  find_program(TAVAREN_I686_OBJDUMP i686-w64-mingw32-objdump)
  add_test(NAME release_pe
    COMMAND ${tavaren_pe_python} ${PROJECT_SOURCE_DIR}/packaging/check_pe.py
            ${TAVAREN_RELEASE_BUILD}/src/app/Tavaren.exe ${TAVAREN_I686_OBJDUMP})
  # That the manifest check refuses an execution level, a dependency, a supported Windows or a DPI setting.
  add_test(NAME release_pe_manifest
    COMMAND ${tavaren_pe_python} ${PROJECT_SOURCE_DIR}/packaging/check_pe.py --manifest-cases
            ${TAVAREN_RELEASE_BUILD}/src/app/Tavaren.exe)
  set_tests_properties(release_package release_pe release_pe_manifest PROPERTIES LABELS unit TIMEOUT 60)
  set_tests_properties(release_rebuild release_signing PROPERTIES LABELS release TIMEOUT 300)
endif()
