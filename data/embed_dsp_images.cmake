# Writes a C++ source holding the DSP images of this folder as byte arrays.
# cmake -DDATA_DIR=<data folder> -DOUTPUT=<file.cpp> -P embed_dsp_images.cmake
set(images
    g_dsp_a_program dsp_a_program.bin 13700
    g_dsp_a_dm0 dsp_a_dm0.bin 66516
    g_dsp_a_dm1 dsp_a_dm1.bin 23184
    g_dsp_b_program dsp_b_program.bin 4212
    g_dsp_b_dm0 dsp_b_dm0.bin 51456
    g_dsp_b_dm1 dsp_b_dm1.bin 31472)

set(text "// Generated from data/*.bin at build time. Do not edit.\n")
string(APPEND text "#include \"devctl/devices/dsp_images.h\"\n\n")
list(LENGTH images count)
math(EXPR last "${count} - 1")
foreach(i RANGE 0 ${last} 3)
  math(EXPR fi "${i} + 1")
  math(EXPR si "${i} + 2")
  list(GET images ${i} name)
  list(GET images ${fi} file)
  list(GET images ${si} size)
  file(SIZE ${DATA_DIR}/${file} actual)
  if(NOT actual EQUAL size)
    message(FATAL_ERROR "${DATA_DIR}/${file} holds ${actual} bytes; the DSP expects ${size}")
  endif()
  file(READ ${DATA_DIR}/${file} hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(APPEND text "const uint8_t ${name}[] = {${bytes}};\n")
  string(APPEND text "static_assert(sizeof(${name}) == ${size}, \"${file}\");\n\n")
endforeach()
file(WRITE ${OUTPUT}.tmp "${text}")
file(COPY_FILE ${OUTPUT}.tmp ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.tmp)
