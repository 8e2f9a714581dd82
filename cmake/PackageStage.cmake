# Run by CPack between staging the archive's files and packing them: writes SHA256SUMS over every staged
# file and dates every file at the commit (CPACK_KORAX_SOURCE_DATE_EPOCH), so the archive's bytes depend on
# what is in it and not on when it was built. CPACK_TEMPORARY_DIRECTORY is the archive's top folder.
set(top ${CPACK_TEMPORARY_DIRECTORY})
file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE ${top} ${top}/*)
list(REMOVE_ITEM files SHA256SUMS)
list(SORT files)
set(sums "")
foreach(file IN LISTS files)
  file(SHA256 ${top}/${file} sum)
  string(APPEND sums "${sum}  ${file}\n")
endforeach()
file(WRITE ${top}/SHA256SUMS "${sums}")

file(GLOB_RECURSE entries LIST_DIRECTORIES true ${top}/*)
execute_process(COMMAND touch -h -d @${CPACK_KORAX_SOURCE_DATE_EPOCH} ${top} ${entries}
  RESULT_VARIABLE touched)
if(NOT touched EQUAL 0)
  message(FATAL_ERROR "could not date the staged files at ${CPACK_KORAX_SOURCE_DATE_EPOCH}")
endif()
