# The release archive as an integrator receives it: packed twice (CPack, two folders, at two moments) it
# is the same bytes; unpacked it holds exactly the expected files, SHA256SUMS agrees with them, the driver
# exports exactly its 18 names, the programs import nothing but Windows' own libraries, and korax-host
# reads the version resource of the unpacked DLL under Wine.
#   CPACK_CONFIG  the build tree's CPackConfig.cmake      WORK      a scratch folder (emptied first)
#   OBJDUMP       the toolchain's objdump                  EMULATOR  what runs a Win32 program
cmake_minimum_required(VERSION 3.25)

file(REMOVE_RECURSE ${WORK})
set(archives "")
foreach(run one second-run)
  execute_process(COMMAND ${CMAKE_CPACK_COMMAND} --config ${CPACK_CONFIG} -B ${WORK}/${run}
    OUTPUT_VARIABLE output ERROR_VARIABLE output RESULT_VARIABLE packed)
  file(GLOB archive ${WORK}/${run}/korax24-*-win32.zip)
  if(NOT packed EQUAL 0 OR NOT archive)
    message(FATAL_ERROR "cpack gave no korax24-<version>-win32.zip:\n${output}")
  endif()
  list(APPEND archives ${archive})
endforeach()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${archives} RESULT_VARIABLE differ)
if(NOT differ EQUAL 0)
  message(SEND_ERROR "packing twice gave different archives: ${archives}")
endif()

list(GET archives 0 archive)
file(MAKE_DIRECTORY ${WORK}/unpacked)
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${archive} WORKING_DIRECTORY ${WORK}/unpacked)
file(GLOB top ${WORK}/unpacked/korax24-*-win32)
file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE ${top} ${top}/*)
list(SORT files)
set(expected CHANGELOG.md LICENSE README.md SHA256SUMS docs/deployment.md docs/diagnostics.md
  docs/integration-guide.md docs/parameter-block.md docs/simulator.md docs/tag-addresses.md docs/troubleshooting.md
  docs/wizard-board-page.png docs/wizard-end-page.png docs/wizard-start-page.png include/korax24.h korax-host.exe
  korax-pdb.exe korax24.dll simulator/ControXIO.dll simulator/README.md)
if(NOT files STREQUAL expected)
  message(SEND_ERROR "the archive holds\n  ${files}\nexpected\n  ${expected}")
endif()

file(STRINGS ${top}/SHA256SUMS sums)
list(LENGTH sums summed)
list(LENGTH files present)
math(EXPR present "${present} - 1")
if(NOT summed EQUAL present)
  message(SEND_ERROR "SHA256SUMS names ${summed} files; the archive holds ${present} besides it")
endif()
foreach(line IN LISTS sums)
  if(NOT line MATCHES "^([0-9a-f]+)  (.+)$")
    message(SEND_ERROR "SHA256SUMS: not a checksum line: ${line}")
    continue()
  endif()
  set(name ${CMAKE_MATCH_2})
  set(sum ${CMAKE_MATCH_1})
  file(SHA256 ${top}/${name} actual)
  if(NOT actual STREQUAL sum)
    message(SEND_ERROR "SHA256SUMS: ${name} has ${actual}, the file says ${sum}")
  endif()
endforeach()

# Windows' own libraries; the toolchain's runtimes (libgcc, libstdc++, libwinpthread) and the debug C
# runtimes are not among them.
set(system_libraries advapi32.dll comctl32.dll gdi32.dll kernel32.dll msvcrt.dll shell32.dll user32.dll
  version.dll)
foreach(program korax24.dll korax-host.exe korax-pdb.exe simulator/ControXIO.dll)
  execute_process(COMMAND ${OBJDUMP} -p ${top}/${program} OUTPUT_VARIABLE dump RESULT_VARIABLE dumped)
  if(NOT dumped EQUAL 0)
    message(SEND_ERROR "${OBJDUMP} cannot read ${program}")
    continue()
  endif()
  string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
  if(NOT imports)
    message(SEND_ERROR "${OBJDUMP} -p lists no imports of ${program}")
  endif()
  foreach(import IN LISTS imports)
    string(REPLACE "DLL Name: " "" library "${import}")
    string(TOLOWER "${library}" library)
    if(NOT library IN_LIST system_libraries)
      message(SEND_ERROR "${program} imports ${library}, which is not a library of Windows")
    endif()
  endforeach()
  if(program STREQUAL "korax24.dll")
    string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table[^\n]*\n(([ \t]+\\[[ 0-9]+\\] [^\n]+\n)*)" table
      "${dump}")
    string(REGEX REPLACE "[^\n]*\\] ([^\n]+)\n" "\\1;" exports "${CMAKE_MATCH_1}")
    list(REMOVE_ITEM exports "")
    list(SORT exports)
    set(expected_exports AddTags DLLEdDev DLLTestDev DetectScanTime FreeDriver FullPDB GetDeviceStatus
      GetPDBLen GetTagAddrList GetTags IniDriver IniDriverEx OnDataRead OnDataWrite ReadTags TagEdAddr
      WriteLog WriteTags)
    if(NOT exports STREQUAL expected_exports)
      message(SEND_ERROR "korax24.dll exports\n  ${exports}\nexpected\n  ${expected_exports}")
    endif()
    file(READ ${top}/README.md readme)
    foreach(name IN LISTS expected_exports)
      if(NOT readme MATCHES "- `${name}`\n")
        message(SEND_ERROR "the archive's README does not list ${name}")
      endif()
    endforeach()
  endif()
endforeach()

execute_process(COMMAND ${EMULATOR} ${top}/korax-host.exe --version --driver ${top}/korax24.dll
  OUTPUT_VARIABLE version ERROR_VARIABLE version RESULT_VARIABLE shown)
message("${version}")
if(NOT shown EQUAL 0 OR NOT version MATCHES
    "korax-host [0-9.]+\n  product version  ([^\n]+)\n.*korax24.dll [0-9]+\\.[0-9]+\\.[0-9]+\\.0\n  product version  ([^\n]+)\n")
  message(SEND_ERROR "korax-host --version --driver did not show the unpacked DLL's version")
elseif(NOT CMAKE_MATCH_1 STREQUAL CMAKE_MATCH_2)
  message(SEND_ERROR "the DLL's product version ${CMAKE_MATCH_2} is not the host's ${CMAKE_MATCH_1}")
endif()
