# Run by CPack once it has laid out the package's files and before it packs them.

# Without dpkg-shlibdeps CPack only warns, and writes a package with no Depends: it
# installs, and then the programs cannot start for want of Qt.
if(CPACK_GENERATOR STREQUAL "DEB" AND CPACK_DEBIAN_PACKAGE_SHLIBDEPS)
  find_program(dpkg_shlibdeps dpkg-shlibdeps)
  if(NOT dpkg_shlibdeps)
    message(FATAL_ERROR "dpkg-shlibdeps is missing (install dpkg-dev): the package would name "
                        "none of the libraries it needs")
  endif()
endif()

# Stripped as dh_strip does it: the symbols, and the compiler's .comment and .note sections,
# which only name the compiler that built the programs.
file(GLOB_RECURSE files LIST_DIRECTORIES false "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
foreach(file IN LISTS files)
  if(IS_SYMLINK "${file}")
    continue()
  endif()
  file(READ "${file}" magic LIMIT 4 HEX)
  if(magic STREQUAL "7f454c46")  # ELF
    execute_process(COMMAND "${CPACK_TKR_STRIP}" --remove-section=.comment --remove-section=.note
                            "${file}" RESULT_VARIABLE failed)
    if(failed)
      message(FATAL_ERROR "cannot strip ${file}")
    endif()
  endif()
endforeach()
