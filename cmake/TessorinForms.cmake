# Resources linked into modules and programs, and forms linked into programs:
#   tessorin_add_forms(app Form1.dfm Form2.txt)
# puts each form (binary or text, converted at build time) into the program
# as the resource named after its root's class in capitals (TFORM1), where
# the form's class (TForm1) reads it from. Installed with the package and
# used by its own build alike.
include_guard(GLOBAL)

# A module carries its resources as a binary resource file (.res): on
# Windows as its own resources, which windres turns into an object for the
# linker; elsewhere in a note of its own, so that loaders and inspectors
# read them as data without running the module.
function(tessorin_embed_resources target res_file)
  get_filename_component(name ${res_file} NAME_WE)
  if(WIN32)
    set(object ${CMAKE_CURRENT_BINARY_DIR}/${target}_${name}_resources.o)
    add_custom_command(OUTPUT ${object}
      COMMAND ${CMAKE_RC_COMPILER} -J res -O coff -i ${res_file} -o ${object}
      DEPENDS ${res_file} VERBATIM)
    target_sources(${target} PRIVATE ${object})
    set_source_files_properties(${object} PROPERTIES EXTERNAL_OBJECT TRUE GENERATED TRUE)
    return()
  endif()
  set(source ${CMAKE_CURRENT_BINARY_DIR}/${target}_${name}_resources.cpp)
  file(CONFIGURE OUTPUT ${source} CONTENT [[
// Written by the build; do not edit.
asm(R"(
  .pushsection .note.vcl.resources,"a",@note
  .balign 4
  .long 4, 2f - 1f, 1
  .asciz "VCL"
  .balign 4
1:.incbin "@res_file@"
2:.balign 4
  .popsection
)");
]] @ONLY)
  target_sources(${target} PRIVATE ${source})
  set_source_files_properties(${source} PROPERTIES OBJECT_DEPENDS ${res_file})
endfunction()

function(tessorin_add_forms target)
  if(NOT ARGN)
    message(FATAL_ERROR "tessorin_add_forms(${target}): no form files given")
  endif()
  set(forms)
  foreach(form IN LISTS ARGN)
    get_filename_component(path ${form} ABSOLUTE)
    list(APPEND forms ${path})
  endforeach()
  # pkgtool writes the resource file: the installed one, or this build's.
  if(TARGET Tessorin::pkgtool)
    set(pkgtool Tessorin::pkgtool)
  else()
    set(pkgtool pkgtool)
  endif()
  set(res ${CMAKE_CURRENT_BINARY_DIR}/${target}_forms.res)
  add_custom_command(OUTPUT ${res}
    # "--": a path may start with "/", which a Windows program's options may too.
    COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:${pkgtool}> forms -o ${res} -- ${forms}
    DEPENDS ${forms} ${pkgtool}
    COMMENT "Linking the forms of ${target} in as resources"
    VERBATIM)
  add_custom_target(${target}_forms DEPENDS ${res})
  add_dependencies(${target} ${target}_forms)
  tessorin_embed_resources(${target} ${res})
endfunction()
