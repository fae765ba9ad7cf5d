# embed_file(TARGET SYMBOL FILE): links FILE into TARGET as read-only bytes named SYMBOL.
# The assembler's .incbin takes the file as it is, so nothing is converted at build time
# and the bytes are exactly the asset's; the generated source is rebuilt when the file changes.
function(embed_file target symbol file)
  get_filename_component(abs "${file}" ABSOLUTE)
  set(out "${CMAKE_CURRENT_BINARY_DIR}/embed_${symbol}.S")
  file(WRITE "${out}.in"
"    .section .rodata
    .global ${symbol}
    .global ${symbol}_end
    .balign 16
${symbol}:
    .incbin \"${abs}\"
${symbol}_end:
    .byte 0
    .section .note.GNU-stack,\"\",@progbits
")
  configure_file("${out}.in" "${out}" COPYONLY)
  # Source properties are per directory: attach this one where the target lives.
  set_source_files_properties("${out}" TARGET_DIRECTORY ${target} PROPERTIES OBJECT_DEPENDS "${abs}")
  target_sources(${target} PRIVATE "${out}")
endfunction()
