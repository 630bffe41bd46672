# Included by cpack for each generator: for the Debian package it runs
# dpkg-shlibdeps on the program and its libraries and joins its list to the explicit entries,
# leaving out the packages the explicit entries already name.
if(CPACK_GENERATOR STREQUAL "DEB")
  find_program(DEB_SHLIBDEPS dpkg-shlibdeps REQUIRED)
  set(work "${CPACK_TOPLEVEL_DIRECTORY}/shlibdeps")
  file(REMOVE_RECURSE "${work}")
  file(MAKE_DIRECTORY "${work}/debian")
  file(WRITE "${work}/debian/control" "")
  set(excludes "")
  foreach(pkg IN LISTS VANTREL_DEB_SHLIBDEPS_EXCLUDE)
    list(APPEND excludes "-x${pkg}")
  endforeach()
  execute_process(COMMAND "${DEB_SHLIBDEPS}" --ignore-missing-info ${excludes} -O ${VANTREL_DEB_BINARY}
    WORKING_DIRECTORY "${work}"
    OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc
    OUTPUT_STRIP_TRAILING_WHITESPACE)
  file(REMOVE_RECURSE "${work}")
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "dpkg-shlibdeps failed: ${err}")
  endif()
  string(REGEX REPLACE "^.*Depends=" "" auto "${out}")
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "${VANTREL_DEB_EXPLICIT_DEPENDS}, ${auto}")
endif()
