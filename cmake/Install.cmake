# What `cmake --install` puts under the prefix, and the .deb that CPack
# makes of it (scripts/package).
install(TARGETS undelete RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/doc/undelete.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_PACKAGE_NAME undelete)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "undelete developers <undelete@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "find deleted files on FAT12, FAT16, FAT32, exFAT and NTFS partitions and save them")
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://localhost/undelete")
# The shared libraries the binary links, as dpkg-shlibdeps finds them;
# where it is missing, the ones this build uses, named by hand.
find_program(DPKG_SHLIBDEPS dpkg-shlibdeps)
if(DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS
      "libc6, libstdc++6, libgcc-s1, libewf2, libvhdi1, libvmdk1, libqcow1")
  if(UNDELETE_TERMINAL)
    string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", libncursesw6, libtinfo6")
  endif()
endif()
include(CPack)
