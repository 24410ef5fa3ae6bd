# The package step. CPack's External generator reads this script once the install rules have staged the
# package's files in CPACK_TEMPORARY_DIRECTORY; make_package.py signs (when asked) and packs them, and CPack
# then copies the zip and its checksum beside the build (CPACK_PACKAGE_DIRECTORY).
set(tavaren_zip ${CPACK_PACKAGE_FILE_NAME}.zip)
set(tavaren_made ${CPACK_TOPLEVEL_DIRECTORY}/package)

# What an earlier run left goes first: a run that fails leaves no package at all, never an older one.
file(REMOVE ${CPACK_PACKAGE_DIRECTORY}/${tavaren_zip} ${CPACK_PACKAGE_DIRECTORY}/${tavaren_zip}.sha256)
file(REMOVE_RECURSE ${tavaren_made})
file(MAKE_DIRECTORY ${tavaren_made})

execute_process(
  COMMAND ${CPACK_TAVAREN_PYTHON} ${CMAKE_CURRENT_LIST_DIR}/make_package.py ${CPACK_TEMPORARY_DIRECTORY}
          ${tavaren_made}/${tavaren_zip} ${CPACK_TAVAREN_SOURCE_DATE_EPOCH}
  RESULT_VARIABLE tavaren_status ERROR_VARIABLE tavaren_error ERROR_STRIP_TRAILING_WHITESPACE)
if(NOT tavaren_status EQUAL 0)
  # The leading space keeps CMake from breaking the line.
  message(FATAL_ERROR " ${tavaren_error}")
endif()
set(CPACK_EXTERNAL_BUILT_PACKAGES ${tavaren_made}/${tavaren_zip} ${tavaren_made}/${tavaren_zip}.sha256)
