# The message catalogues: po/LANG.po compiled by msgfmt into
# <build>/locale/LANG/LC_MESSAGES/undelete.mo, beside the binary, where a
# run from the build tree finds them.
find_program(MSGFMT_EXECUTABLE msgfmt REQUIRED)
file(GLOB UNDELETE_PO_FILES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/po/*.po)
set(UNDELETE_CATALOGUES "")
foreach(po ${UNDELETE_PO_FILES})
  get_filename_component(lang ${po} NAME_WE)
  set(mo ${CMAKE_BINARY_DIR}/locale/${lang}/LC_MESSAGES/undelete.mo)
  add_custom_command(OUTPUT ${mo}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/locale/${lang}/LC_MESSAGES
    COMMAND ${MSGFMT_EXECUTABLE} --check -o ${mo} ${po}
    DEPENDS ${po}
    COMMENT "Compiling the ${lang} catalogue")
  list(APPEND UNDELETE_CATALOGUES ${mo})
  install(FILES ${mo} DESTINATION ${CMAKE_INSTALL_LOCALEDIR}/${lang}/LC_MESSAGES)
endforeach()
add_custom_target(catalogues ALL DEPENDS ${UNDELETE_CATALOGUES})
if(TARGET undelete)
  add_dependencies(undelete catalogues)
endif()
