# Fuzz targets of the modules above the text rules.
add_fuzz_target(json_parser LIBS json)
add_fuzz_target(json_paths LIBS json)
add_fuzz_target(decode LIBS text_decode)
add_fuzz_target(header_ops LIBS http)
add_fuzz_target(json_editing LIBS json)
