# sl_embed_resources(<target> <list>): compiles the resource list into a resource-only
# PE image with slrescomp and links it into <target>, where the platform's module
# functions find it (the program's own icon, default skin and other resources).
function(sl_embed_resources target list)
  get_filename_component(list_abs ${list} ABSOLUTE)
  set(image ${CMAKE_CURRENT_BINARY_DIR}/${target}_resources.pe)
  set(source ${CMAKE_CURRENT_BINARY_DIR}/${target}_resources.S)
  add_custom_command(OUTPUT ${image}
    COMMAND slrescomp ${list_abs} ${image}
    DEPENDS slrescomp ${list_abs}
    COMMENT "Resources of ${target}")
  file(WRITE ${source}.in
    "  .section .rodata.sl_module_resources,\"a\"\n"
    "  .balign 16\n"
    "  .globl sl_module_resources_begin\n"
    "sl_module_resources_begin:\n"
    "  .incbin \"@image@\"\n"
    "  .globl sl_module_resources_end\n"
    "sl_module_resources_end:\n"
    "  .byte 0\n"
    "  .section .note.GNU-stack,\"\",@progbits\n")
  configure_file(${source}.in ${source} @ONLY)
  set_source_files_properties(${source} PROPERTIES OBJECT_DEPENDS ${image})
  target_sources(${target} PRIVATE ${source})
endfunction()
