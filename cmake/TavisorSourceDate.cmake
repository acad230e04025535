# TAVISOR_SOURCE_DATE_EPOCH: the time that the build writes where a format
# wants one (the PE time stamps, the files of the Windows zip), so that two
# builds of the same source give the same bytes. It is SOURCE_DATE_EPOCH
# when the environment sets it at configure time, else the date of the
# latest entry of debian/changelog, which dpkg-buildpackage gives the Debian
# packages as well.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(TAVISOR_SOURCE_DATE_EPOCH $ENV{SOURCE_DATE_EPOCH})
  return()
endif()
set(_tavisor_changelog ${PROJECT_SOURCE_DIR}/debian/changelog)
if(NOT CMAKE_SCRIPT_MODE_FILE)  # the tests read it too
  set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
               ${_tavisor_changelog})
endif()
file(STRINGS ${_tavisor_changelog} _tavisor_trailer REGEX "^ -- " LIMIT_COUNT 1)
set(_tavisor_months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
if(NOT _tavisor_trailer MATCHES
   "  [A-Z][a-z][a-z], ([0-9]+) ([A-Z][a-z][a-z]) ([0-9]+) ([0-9]+):([0-9]+):([0-9]+) ([+-])([0-9][0-9])([0-9][0-9])$")
  message(FATAL_ERROR "debian/changelog: no date in '${_tavisor_trailer}'")
endif()
list(FIND _tavisor_months ${CMAKE_MATCH_2} _tavisor_month)
# Days since 1970-01-01 of the proleptic Gregorian date (years from March on,
# so that the leap day comes last).
set(_tavisor_year ${CMAKE_MATCH_3})
if(_tavisor_month LESS 2)
  math(EXPR _tavisor_year "${_tavisor_year} - 1")
endif()
math(EXPR _tavisor_march_month "(${_tavisor_month} + 10) % 12")
math(EXPR _tavisor_days "${_tavisor_year} * 365 + ${_tavisor_year} / 4 - ${_tavisor_year} / 100
                         + ${_tavisor_year} / 400 + (153 * ${_tavisor_march_month} + 2) / 5
                         + ${CMAKE_MATCH_1} - 1 - 719468")
# The time of day, less the zone's offset from UTC.
math(EXPR TAVISOR_SOURCE_DATE_EPOCH
     "((${_tavisor_days} * 24 + ${CMAKE_MATCH_4}) * 60 + ${CMAKE_MATCH_5}
       - ${CMAKE_MATCH_7}(${CMAKE_MATCH_8} * 60 + ${CMAKE_MATCH_9})) * 60 + ${CMAKE_MATCH_6}")
