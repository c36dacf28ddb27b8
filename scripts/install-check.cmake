# Installs the build BUILD into the prefix PREFIX, checks that the programs PROGRAMS (separated by
# commas), the README, the manual and the examples are there, runs the installed kelmarino on the installed
# worked example and compares its report and post-processing file with those in EXPECTED. The
# prefix is removed again.
# Usage: cmake -DBUILD=... -DPREFIX=... -DPROGRAMS=kelmarino,... -DEXPECTED=... -P install-check.cmake
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD}" --prefix "${PREFIX}"
                RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install ${BUILD} --prefix ${PREFIX} failed: ${status}")
endif()

set(doc "${PREFIX}/share/doc/kelmarino")
string(REPLACE "," ";" programs "${PROGRAMS}")
set(installed "${doc}/docs/manual.md" "${doc}/README.md" "${doc}/examples/worked.dat"
    "${doc}/examples/pier.loads.csv" "${doc}/examples/pier.combinations.csv")
foreach(program IN LISTS programs)
  list(APPEND installed "${PREFIX}/bin/${program}")
endforeach()
foreach(file IN LISTS installed)
  if(NOT EXISTS "${file}")
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()

execute_process(COMMAND "${PREFIX}/bin/kelmarino" -q "${doc}/examples/worked.dat"
                RESULT_VARIABLE status OUTPUT_VARIABLE console ERROR_VARIABLE errors)
if(NOT status EQUAL 0 OR NOT console STREQUAL "" OR NOT errors STREQUAL "")
  message(FATAL_ERROR "the installed kelmarino ended with ${status}: ${console}${errors}")
endif()
foreach(extension out pos)
  file(READ "${doc}/examples/worked.${extension}" got)
  file(READ "${EXPECTED}/worked.${extension}" want)
  if(NOT got STREQUAL want)
    message(FATAL_ERROR "the installed run wrote another worked.${extension} than ${EXPECTED}")
  endif()
endforeach()
file(REMOVE_RECURSE "${PREFIX}")
