# Run as a script (cmake -DINPUT=… -DOUTPUT=… -P EmbedResource.cmake): writes
# the bytes of INPUT as a comma-separated list of hexadecimal byte literals,
# to be included inside an array initializer.
file(READ "${INPUT}" hex HEX)
string(REGEX REPLACE "(..)" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){16})" "\\1\n" bytes "${bytes}")
file(WRITE "${OUTPUT}" "${bytes}\n")
