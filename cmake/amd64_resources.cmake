# The x86-64 build (never shipped; it exists for hosts that run no 32-bit code)
# compiles the programs' resource scripts with their manifests rewritten for
# amd64: a 64-bit program whose manifest asks for the x86 common controls gets
# a 32-bit comctl32 and does not start. The shipped scripts stay as they are.

# Writes `content` to `path` only when it differs, so that a reconfigure does
# not rebuild the resources.
function(kit_write_if_changed path content)
  if(EXISTS ${path})
    file(READ ${path} old)
    if(old STREQUAL content)
      return()
    endif()
  endif()
  file(WRITE ${path} "${content}")
endfunction()

# kit_amd64_resources(<out var> <resource script relative to the source folder>)
# sets <out var> to the rewritten script to compile in place of the original.
function(kit_amd64_resources out_var rc_source)
  get_filename_component(rc_path ${CMAKE_SOURCE_DIR}/${rc_source} ABSOLUTE)
  get_filename_component(rc_dir ${rc_path} DIRECTORY)
  get_filename_component(rc_name ${rc_path} NAME)
  get_filename_component(rc_rel_dir ${rc_source} DIRECTORY)
  set(gen_dir ${CMAKE_BINARY_DIR}/amd64_resources/${rc_rel_dir})
  file(READ ${rc_path} rc_text)
  set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${rc_path})
  string(REGEX MATCHALL "\"[^\"]+\\.manifest\"" quoted_manifests "${rc_text}")
  foreach(quoted ${quoted_manifests})
    string(REPLACE "\"" "" manifest ${quoted})
    file(READ ${rc_dir}/${manifest} text)
    string(REPLACE "processorArchitecture=\"x86\"" "processorArchitecture=\"amd64\"" text "${text}")
    kit_write_if_changed(${gen_dir}/${manifest} "${text}")
    string(REPLACE "${quoted}" "\"${gen_dir}/${manifest}\"" rc_text "${rc_text}")
    set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${rc_dir}/${manifest})
  endforeach()
  kit_write_if_changed(${gen_dir}/${rc_name} "${rc_text}")
  # Everything else the script names (icon, headers) is found beside the original.
  set_source_files_properties(${gen_dir}/${rc_name} PROPERTIES INCLUDE_DIRECTORIES ${rc_dir})
  set(${out_var} ${gen_dir}/${rc_name} PARENT_SCOPE)
endfunction()
