# Run by CPack after it packed the staged files: packs them again, reproducibly, over what CPack wrote.
# CPack's archives record each file's access and change times and its owner, which differ from one build
# to the next; these record only the names, in sorted order, the permissions and the commit's time.
set(top ${CPACK_TEMPORARY_DIRECTORY})
get_filename_component(parent ${top} DIRECTORY)
get_filename_component(name ${top} NAME)
file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE ${parent} ${top}/*)
list(SORT files)
list(JOIN files "\n" listing)
file(WRITE ${parent}/${name}.files "${listing}\n")
foreach(archive IN LISTS CPACK_PACKAGE_FILES)
  file(REMOVE ${archive})
  if(archive MATCHES "\\.zip$")
    # -X: no owner or extra time fields; -D: no folder entries. zip reads options from ZIPOPT too.
    set(command ${CMAKE_COMMAND} -E env --unset=ZIPOPT TZ=UTC zip -X -D -q ${archive} -@)
  else()
    # gzip -n: no file name or time in the gzip header.
    set(command tar --create "--use-compress-program=gzip -n" --file=${archive} --sort=name
      --mtime=@${CPACK_KORAX_SOURCE_DATE_EPOCH} --owner=0 --group=0 --numeric-owner --format=gnu
      --no-recursion --files-from=-)
  endif()
  execute_process(COMMAND ${command} WORKING_DIRECTORY ${parent} INPUT_FILE ${parent}/${name}.files
    RESULT_VARIABLE packed)
  if(NOT packed EQUAL 0)
    message(FATAL_ERROR "could not pack ${archive} (zip and GNU tar are needed: scripts/bootstrap)")
  endif()
endforeach()
