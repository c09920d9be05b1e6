# The help pages lie in Html/AFC/VANTOR beside the library, in every build.
set(help_src ${CMAKE_CURRENT_LIST_DIR}/html)
set(help_out ${CMAKE_BINARY_DIR}/bin/Html/AFC/VANTOR)
set(help_copies)
foreach(name VT300.htm Vt318.htm)
  add_custom_command(OUTPUT ${help_out}/${name}
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${help_out}
                     COMMAND ${CMAKE_COMMAND} -E copy_if_different ${help_src}/${name}
                             ${help_out}/${name}
                     DEPENDS ${help_src}/${name})
  list(APPEND help_copies ${help_out}/${name})
endforeach()
add_custom_target(vantor_help_pages ALL DEPENDS ${help_copies})
