# Libraries of the portable core register themselves here so that the unit
# test, benchmark and fuzz programs can link all of them without each new
# library having to edit those folders' build files.
define_property(GLOBAL PROPERTY WEX_CORE_LIBS
  BRIEF_DOCS "portable core libraries"
  FULL_DOCS "Static libraries of the portable core, linked by tests, benchmarks and fuzz targets.")

function(wex_core_library name)
  add_library(${name} STATIC ${ARGN})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  set_property(GLOBAL APPEND PROPERTY WEX_CORE_LIBS ${name})
endfunction()

function(wex_link_core target)
  get_property(libs GLOBAL PROPERTY WEX_CORE_LIBS)
  # The libraries depend on one another in ways the registration order does
  # not know; a link group lets the linker resolve them in any order.
  target_link_libraries(${target} PRIVATE -Wl,--start-group ${libs} -Wl,--end-group)
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR})
endfunction()

# Compiles an IDL file into a type library and a C header with widl.
# Sets <out_var>_TLB and <out_var>_HEADER in the caller's scope.
function(wex_idl out_var idl)
  get_filename_component(base ${idl} NAME_WE)
  set(tlb ${CMAKE_CURRENT_BINARY_DIR}/${base}.tlb)
  set(hdr ${CMAKE_CURRENT_BINARY_DIR}/${base}.h)
  set(iid ${CMAKE_CURRENT_BINARY_DIR}/${base}_i.c)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(widl_arch --win64)
    set(wine_lib /usr/lib/x86_64-linux-gnu/wine/x86_64-windows)
  else()
    set(widl_arch --win32)
    set(wine_lib /usr/lib/i386-linux-gnu/wine/i386-windows)
  endif()
  add_custom_command(
    OUTPUT ${tlb} ${hdr} ${iid}
    COMMAND ${WEX_WIDL} ${widl_arch} -I/usr/include/wine/wine/windows -L${wine_lib}
            -t -T ${tlb} -h -H ${hdr} -u -U ${iid} ${CMAKE_CURRENT_SOURCE_DIR}/${idl}
    DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${idl}
    COMMENT "widl ${idl}")
  set(${out_var}_TLB ${tlb} PARENT_SCOPE)
  set(${out_var}_HEADER ${hdr} PARENT_SCOPE)
  set(${out_var}_IID ${iid} PARENT_SCOPE)
endfunction()

# Flags every Windows program of the project links with: no compiler DLLs to ship.
function(wex_windows_program target)
  target_link_options(${target} PRIVATE -static-libgcc -static-libstdc++ -static)
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_BINARY_DIR})
endfunction()
