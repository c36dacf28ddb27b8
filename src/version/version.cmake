# Writes version/version.hpp (OUTPUT) from version.hpp.in with the version of the source in
# SOURCE_DIR: PROJECT_VERSION, refined in a git checkout (GIT: the git program, may be empty) by
# `git describe --tags --always --dirty` with the commits since the tag of that version (v1.10 or
# 1.10), or with the commit when no such tag is among its ancestors: 1.10, 1.10-3-g5876935,
# 1.10-g5876935-dirty. The file is rewritten only when the version changes.
# cmake -DSOURCE_DIR=... -DPROJECT_VERSION=... -DGIT=... -DOUTPUT=... -P version.cmake
set(KELMARINO_VERSION ${PROJECT_VERSION})
# The source's own checkout only, not one it may have been unpacked into.
if(GIT AND EXISTS ${SOURCE_DIR}/.git)
  execute_process(
    COMMAND ${GIT} describe --tags --always --dirty --match v${PROJECT_VERSION}
            --match ${PROJECT_VERSION}
    WORKING_DIRECTORY ${SOURCE_DIR}
    RESULT_VARIABLE described_status
    OUTPUT_VARIABLE described
    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  string(REGEX REPLACE "^v" "" described "${described}")
  if(NOT described_status EQUAL 0 OR described STREQUAL "")
    # git cannot describe it (not a checkout it may read): the project version alone
  elseif(described MATCHES "^[0-9a-f]+(-dirty)?$")  # a commit: no tag of this version
    set(KELMARINO_VERSION ${PROJECT_VERSION}-g${described})
  else()  # the tag, with the commits since it
    set(KELMARINO_VERSION ${described})
  endif()
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/version.hpp.in ${OUTPUT} @ONLY)
