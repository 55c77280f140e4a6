# Writes INPUT as a C++ byte array `module_bytes` with its length `module_size`.
file(READ ${INPUT} hex HEX)
string(LENGTH "${hex}" hex_length)
math(EXPR size "${hex_length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){16})" "\\1\n" bytes "${bytes}")
file(WRITE ${OUTPUT}
  "// Generated from song.xm at build time.\n"
  "#include \"data/module_bytes.h\"\n\n"
  "const uint8_t module_bytes[${size} + 1] = {\n${bytes}0};\n"
  "const uint32_t module_size = ${size};\n")
