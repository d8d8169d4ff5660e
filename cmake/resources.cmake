# tavrin_add_resources(target script.rc...)
#
# Gives `target` the resources of the scripts. On Windows windres compiles them (RC language); on
# other systems tavrin-rcgen (tools/rcgen) turns them into one C++ source defining
# headless::res::kResources, so that both backends see the same dialogs, strings and lists.
# A library target should be an OBJECT library: resources are not pulled out of archives.

if(WIN32)
  enable_language(RC)
endif()

function(tavrin_add_resources target)
  set(scripts)
  foreach(script IN LISTS ARGN)
    get_filename_component(script "${script}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
    list(APPEND scripts "${script}")
  endforeach()
  if(NOT scripts)
    message(FATAL_ERROR "tavrin_add_resources(${target}): no scripts")
  endif()

  if(WIN32)
    foreach(script IN LISTS scripts)
      # windres does not report what a script includes: rebuild on any change beside it.
      get_filename_component(dir "${script}" DIRECTORY)
      file(GLOB inputs CONFIGURE_DEPENDS "${dir}/*.rc" "${dir}/*.h" "${dir}/*.ico" "${dir}/*.manifest")
      set_property(SOURCE "${script}" APPEND PROPERTY OBJECT_DEPENDS ${inputs}
                   "${CMAKE_SOURCE_DIR}/app/version.h" "${CMAKE_SOURCE_DIR}/platform/win32/rc_names.h")
      # Our scripts are UTF-8; without this windres reads narrow strings in code page 1252
      # wherever a script lacks #pragma code_page(65001).
      set_property(SOURCE "${script}" APPEND PROPERTY COMPILE_OPTIONS -c 65001)
    endforeach()
    target_sources(${target} PRIVATE ${scripts})
  else()
    set(out "${CMAKE_CURRENT_BINARY_DIR}/${target}_resources.cpp")
    add_custom_command(
      OUTPUT "${out}"
      COMMAND tavrin-rcgen -I "${CMAKE_SOURCE_DIR}" -o "${out}" --depfile "${out}.d" ${scripts}
      DEPENDS tavrin-rcgen ${scripts}
      DEPFILE "${out}.d"
      COMMENT "Generating the resource tables of ${target}"
      VERBATIM)
    target_sources(${target} PRIVATE "${out}")
  endif()
endfunction()
