# Turns a binary file into a C++ source that defines quadrel::sampleImagePng().
file(READ ${INPUT} _hex HEX)
string(LENGTH "${_hex}" _len)
math(EXPR _bytes "${_len} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," _array "${_hex}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n" _array "${_array}")
file(WRITE ${OUTPUT} "// Generated from resources/sample.png; do not edit.\n#include \"resources/sample_image.h\"\n\nnamespace quadrel {\nnamespace {\nconst unsigned char kSample[${_bytes}] = {\n${_array}\n};\n}\n\nstd::span<const unsigned char> sampleImagePng() { return {kSample, sizeof kSample}; }\n\n} // namespace quadrel\n")
