# The release's portal origin, checked when a release is configured (CMAKE_BUILD_TYPE Release or MinSizeRel,
# as release-x86). The launcher shows the portal's page, script and all, in the system browser control and
# hands its statistics page to the player's browser: over plain http anyone on the player's network can
# replace them, and a placeholder host means the origin was never set. Either gives one warning that names
# the setting; the build goes on. Loopback addresses (the test builds' local portal) say nothing.
function(tavaren_check_portal_origin origin)
  set(reasons "")
  string(TOLOWER "${origin}" lowered)
  if(NOT lowered MATCHES "^([a-z][a-z0-9+.-]*)://(\\[[^]]*\\]|[^/:?#]*)(:[0-9]*)?(/.*)?$")
    list(APPEND reasons "it is not a scheme and a host (https://host or https://host:port)")
  else()
    set(scheme "${CMAKE_MATCH_1}")
    set(host "${CMAKE_MATCH_2}")
    string(REGEX REPLACE "[.]$" "" host "${host}")
    if(host MATCHES "^(localhost|.*[.]localhost|127[.][0-9]+[.][0-9]+[.][0-9]+|\\[::1\\])$")
      return()
    endif()
    if(scheme STREQUAL "http")
      list(APPEND reasons "it is plain http, so anyone on the player's network can replace the page and script \
that the launcher window shows")
    elseif(NOT scheme STREQUAL "https")
      list(APPEND reasons "its scheme is ${scheme}, not https")
    endif()
    if(host MATCHES "(^|[.])(example[.](com|net|org)|example|test|invalid)$")
      list(APPEND reasons "its host ${host} is a placeholder, a name reserved for examples and tests")
    endif()
  endif()
  if(reasons)
    list(JOIN reasons "; and " because)
    message(WARNING "TAVAREN_PORTAL_ORIGIN is ${origin} for this release build: ${because}. Set "
                    "-DTAVAREN_PORTAL_ORIGIN=https://<the publisher's portal host> when configuring the "
                    "release (README, \"Releasing\"). The build goes on with this origin.")
  endif()
endfunction()

if(CMAKE_BUILD_TYPE MATCHES "^(Release|MinSizeRel)$")
  tavaren_check_portal_origin("${TAVAREN_PORTAL_ORIGIN}")
endif()
