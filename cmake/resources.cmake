# tavrin_add_resources(target script.rc...)
#
# Gives `target` the resources of the scripts, compiled by windres in every build. On Windows they
# are linked in as the executable's resources; elsewhere the compiled .res bytes are embedded in a
# generated source (headless::kCompiledResources), which the headless backend reads with the same
# decoder that the Win32 backend uses on its own resources.
# A library target should be an OBJECT library: resources are not pulled out of archives.

if(WIN32)
  enable_language(RC)
else()
  find_program(TAVRIN_WINDRES NAMES x86_64-w64-mingw32-windres)
  if(NOT TAVRIN_WINDRES)
    message(FATAL_ERROR "x86_64-w64-mingw32-windres not found: every build compiles the resource "
                        "scripts with it (Debian: apt-get install binutils-mingw-w64-x86-64)")
  endif()
endif()

set(TAVRIN_EMBED_RES "${CMAKE_CURRENT_LIST_DIR}/embed_res.cmake")

function(tavrin_add_resources target)
  set(scripts)
  foreach(script IN LISTS ARGN)
    get_filename_component(script "${script}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
    list(APPEND scripts "${script}")
  endforeach()
  if(NOT scripts)
    message(FATAL_ERROR "tavrin_add_resources(${target}): no scripts")
  endif()

  set(compiled)
  foreach(script IN LISTS scripts)
    # The files a script names (icons, manifests) are not in the preprocessor's dependencies.
    get_filename_component(dir "${script}" DIRECTORY)
    file(GLOB inputs CONFIGURE_DEPENDS "${dir}/*.rc" "${dir}/*.dlg" "${dir}/*.h" "${dir}/*.ico"
         "${dir}/*.manifest")
    if(WIN32)
      # Nor, here, the headers it includes: this windres rule writes no dependency file.
      set_property(SOURCE "${script}" APPEND PROPERTY OBJECT_DEPENDS ${inputs}
                   "${CMAKE_SOURCE_DIR}/app/version.h" "${CMAKE_SOURCE_DIR}/platform/win32/rc_names.h"
                   "${CMAKE_SOURCE_DIR}/device/selection_entries.h"
                   "${CMAKE_SOURCE_DIR}/usb/res/port_select.h")
      # Our scripts are UTF-8; without this windres reads narrow strings in code page 1252
      # wherever a script lacks #pragma code_page(65001).
      set_property(SOURCE "${script}" APPEND PROPERTY COMPILE_OPTIONS -c 65001)
    else()
      get_filename_component(name "${script}" NAME_WE)
      set(res "${CMAKE_CURRENT_BINARY_DIR}/${target}_${name}.res")
      add_custom_command(
        OUTPUT "${res}"
        COMMAND "${TAVRIN_WINDRES}" -c 65001 -I "${CMAKE_SOURCE_DIR}" -O res -i "${script}"
                -o "${res}" --preprocessor-arg=-MMD "--preprocessor-arg=-MF${res}.d"
                "--preprocessor-arg=-MT${res}"
        DEPENDS "${script}" ${inputs}
        DEPFILE "${res}.d"
        COMMENT "Compiling ${name}.rc"
        VERBATIM)
      list(APPEND compiled "${res}")
    endif()
  endforeach()

  if(WIN32)
    target_sources(${target} PRIVATE ${scripts})
  else()
    set(out "${CMAKE_CURRENT_BINARY_DIR}/${target}_resources.cpp")
    add_custom_command(
      OUTPUT "${out}"
      COMMAND "${CMAKE_COMMAND}" "-DOUTPUT=${out}" "-DINPUTS=${compiled}" -P "${TAVRIN_EMBED_RES}"
      DEPENDS ${compiled} "${TAVRIN_EMBED_RES}"
      COMMENT "Embedding the resources of ${target}"
      VERBATIM)
    target_sources(${target} PRIVATE "${out}")
  endif()
endfunction()
