# korvan_layer(<name> RULES <sources> WINDOWS <sources> LINKS <layers>): one
# layer of the driver. RULES are built everywhere, WINDOWS only in the Windows
# builds, where the layer also links LINKS. The driver throws nothing: a
# thrown exception leaves the runtime's record of the thread behind at every
# unload (driver/runtime_unload.cpp).
function(korvan_layer name)
  cmake_parse_arguments(L "" "" "RULES;WINDOWS;LINKS" ${ARGN})
  add_library(${name} STATIC ${L_RULES})
  if(WIN32)
    target_sources(${name} PRIVATE ${L_WINDOWS})
    target_link_libraries(${name} PUBLIC ${L_LINKS})
  endif()
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
  target_compile_options(${name} PRIVATE -fno-exceptions)
  # Doubles in SSE2 on i686 as on x86_64: each operation rounded once, to
  # double, whatever precision a host leaves the x87 unit in (Delphi's is
  # extended). Long doubles stay on the x87 unit.
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
    target_compile_options(${name} PRIVATE -msse2 -mfpmath=sse)
  endif()
endfunction()
