# korvan_import_library(<dll target> DEF <file.def> [KILL_AT]): the import
# library that hosts link, lib/<dll target>.lib in the build folder, made by
# llvm-dlltool in the short import format. MSVC's link and lld-link take it
# with /SAFESEH on i686 (GNU dlltool's objects carry no SEH table and are
# refused), and GNU ld reads it too. KILL_AT: the .def names stdcall symbols
# with their @ suffix, which the DLL exports without.
# Gives the target <dll target>_import_lib that makes the file and the
# interface library <dll target>_import that links it.
find_program(KORVAN_LLVM_DLLTOOL NAMES llvm-dlltool llvm-dlltool-14 REQUIRED)

function(korvan_import_library dll)
  cmake_parse_arguments(I "KILL_AT" "DEF" "" ${ARGN})
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(machine i386)
  else()
    set(machine i386:x86-64)
  endif()
  set(kill_at)
  if(I_KILL_AT)
    set(kill_at -k)
  endif()
  set(lib ${CMAKE_BINARY_DIR}/lib/${dll}.lib)
  get_filename_component(def ${I_DEF} ABSOLUTE)
  # Members are stamped with no date and no owner: the same bytes every time.
  add_custom_command(OUTPUT ${lib}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/lib
    COMMAND ${KORVAN_LLVM_DLLTOOL} -m ${machine} ${kill_at} -D ${dll}.dll
            -d ${def} -l ${lib}
    DEPENDS ${def}
    COMMENT "Import library ${dll}.lib")
  add_custom_target(${dll}_import_lib ALL DEPENDS ${lib})
  add_library(${dll}_import INTERFACE)
  target_link_libraries(${dll}_import INTERFACE ${lib})
  add_dependencies(${dll}_import ${dll}_import_lib ${dll})
endfunction()
