# Run by CPack once the files are installed for packaging, before it packs them: strips every
# program the way Debian's dh_strip does (symbols, .comment and .note sections), and gives
# every folder the standard permissions 0755, whatever the umask of whoever builds.
set(staged "${CPACK_TEMPORARY_INSTALL_DIRECTORY}")

file(GLOB programs "${staged}/usr/bin/*")
if(NOT programs)
  message(FATAL_ERROR "no program to strip under ${staged}/usr/bin")
endif()
foreach(program IN LISTS programs)
  execute_process(COMMAND strip --remove-section=.comment --remove-section=.note
                          --strip-unneeded "${program}"
                  COMMAND_ERROR_IS_FATAL ANY)
endforeach()

file(GLOB_RECURSE entries LIST_DIRECTORIES true "${staged}/usr/*")
foreach(entry IN ITEMS "${staged}/usr" LISTS entries)
  if(IS_DIRECTORY "${entry}")
    file(CHMOD "${entry}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
         GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  endif()
endforeach()
