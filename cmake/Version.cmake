# The build's identity: the project version, the commit it is built from and the moment that commit was
# made. All three end up in the programs (version resources, --version) and in the release archive, so two
# builds of one commit carry the same bytes whatever folder or day they are built in.
#
#   KORAX_COMMIT               full hash of HEAD, "-dirty" appended when tracked files differ from it
#                              (as found when CMake configures); "unknown" outside a git checkout
#   KORAX_SOURCE_DATE_EPOCH    the commit's time (seconds since 1970); SOURCE_DATE_EPOCH from the
#                              environment wins, and outside git without it, 1980-01-01 (the zip format's
#                              earliest date)
#   KORAX_PRODUCT_VERSION      "<version>+<first 12 digits of the commit>", what file properties show

find_package(Git QUIET)
set(KORAX_COMMIT unknown)
set(KORAX_SOURCE_DATE_EPOCH 315532800)
if(GIT_FOUND)
  execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse HEAD
    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
    OUTPUT_VARIABLE korax_head OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE korax_git_result ERROR_QUIET)
  if(korax_git_result EQUAL 0 AND korax_head MATCHES "^[0-9a-f]+$")
    set(KORAX_COMMIT ${korax_head})
    execute_process(COMMAND ${GIT_EXECUTABLE} log -1 --format=%ct HEAD
      WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
      OUTPUT_VARIABLE KORAX_SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    # Tracked files only: build trees and other untracked files do not make a build dirty. Without
    # optional locks git leaves the index as it is, which would otherwise configure again (below).
    execute_process(COMMAND ${GIT_EXECUTABLE} --no-optional-locks status --porcelain --untracked-files=no
      WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
      OUTPUT_VARIABLE korax_changes ERROR_QUIET)
    if(NOT korax_changes STREQUAL "")
      string(APPEND KORAX_COMMIT -dirty)
    endif()
    # A new commit, a checkout or a staged change configures again, so the commit stays true.
    execute_process(COMMAND ${GIT_EXECUTABLE} symbolic-ref -q HEAD
      WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
      OUTPUT_VARIABLE korax_head_ref OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    foreach(what HEAD index packed-refs ${korax_head_ref})
      execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --git-path ${what}
        WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
        OUTPUT_VARIABLE korax_git_file OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
      get_filename_component(korax_git_file "${korax_git_file}" ABSOLUTE BASE_DIR ${CMAKE_SOURCE_DIR})
      if(EXISTS "${korax_git_file}")
        set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${korax_git_file})
      endif()
    endforeach()
  endif()
endif()
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(KORAX_SOURCE_DATE_EPOCH $ENV{SOURCE_DATE_EPOCH})
endif()
string(SUBSTRING "${KORAX_COMMIT}" 0 12 korax_short_commit)
set(KORAX_PRODUCT_VERSION "${PROJECT_VERSION}+${korax_short_commit}")
if(KORAX_COMMIT MATCHES "-dirty$")
  string(APPEND KORAX_PRODUCT_VERSION "-dirty")
endif()
message(STATUS "korax24 ${PROJECT_VERSION}, commit ${KORAX_COMMIT}")

# The version in the tools' sources.
configure_file(${CMAKE_CURRENT_LIST_DIR}/KoraxVersion.h.in ${CMAKE_BINARY_DIR}/generated/KoraxVersion.h @ONLY)

# korax_version_resource(TARGET DESCRIPTION): a Win32 version resource for the target's file (elsewhere
# nothing).
function(korax_version_resource target description)
  if(NOT WIN32)
    return()
  endif()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    set(KORAX_FILE_TYPE VFT_APP)
    set(suffix .exe)
  else()
    set(KORAX_FILE_TYPE VFT_DLL)
    set(suffix .dll)
  endif()
  get_target_property(name ${target} OUTPUT_NAME)
  if(NOT name)
    set(name ${target})
  endif()
  set(KORAX_ORIGINAL_FILE_NAME ${name}${suffix})
  set(KORAX_FILE_DESCRIPTION "${description}")
  set(KORAX_INTERNAL_NAME ${name})
  string(REPLACE "." "," KORAX_VERSION_COMMAS "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0")
  set(rc ${CMAKE_BINARY_DIR}/generated/${target}.rc)
  configure_file(${CMAKE_SOURCE_DIR}/cmake/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()
