# Embeds the DSP images of data/ into devctl_lib. Replacing a .bin file rebuilds the source.
set(DSP_IMAGE_FILES
    ${CMAKE_CURRENT_LIST_DIR}/dsp_a_program.bin ${CMAKE_CURRENT_LIST_DIR}/dsp_a_dm0.bin
    ${CMAKE_CURRENT_LIST_DIR}/dsp_a_dm1.bin ${CMAKE_CURRENT_LIST_DIR}/dsp_b_program.bin
    ${CMAKE_CURRENT_LIST_DIR}/dsp_b_dm0.bin ${CMAKE_CURRENT_LIST_DIR}/dsp_b_dm1.bin)
set(DSP_IMAGES_SOURCE ${CMAKE_CURRENT_BINARY_DIR}/generated/dsp_images.cpp)
add_custom_command(
  OUTPUT ${DSP_IMAGES_SOURCE}
  COMMAND ${CMAKE_COMMAND} -DDATA_DIR=${CMAKE_CURRENT_LIST_DIR} -DOUTPUT=${DSP_IMAGES_SOURCE}
          -P ${CMAKE_CURRENT_LIST_DIR}/embed_dsp_images.cmake
  DEPENDS ${DSP_IMAGE_FILES} ${CMAKE_CURRENT_LIST_DIR}/embed_dsp_images.cmake
  COMMENT "Embedding the DSP images"
  VERBATIM)
