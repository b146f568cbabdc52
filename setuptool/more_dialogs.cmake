# The red margin dialog, the watermark window and the network address window,
# built into setuptool_core beside the launcher and the fingerprint manager.
target_sources(setuptool_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/marginadjustment.h
  ${CMAKE_CURRENT_LIST_DIR}/marginadjustment.cpp
  ${CMAKE_CURRENT_LIST_DIR}/marginadjustment.ui
  ${CMAKE_CURRENT_LIST_DIR}/watermark.h
  ${CMAKE_CURRENT_LIST_DIR}/watermark.cpp
  ${CMAKE_CURRENT_LIST_DIR}/watermark.ui
  ${CMAKE_CURRENT_LIST_DIR}/netipset.h
  ${CMAKE_CURRENT_LIST_DIR}/netipset.cpp
  ${CMAKE_CURRENT_LIST_DIR}/netipset.ui
  ${CMAKE_CURRENT_LIST_DIR}/wm_images.qrc)

# The blank watermark templates: made by a small program at build time (some
# 76 MB of 1-bit bitmaps, too large to keep in the repository) and installed
# under the printers root, where the watermark window draws on them.
add_library(setuptool_wm_templates STATIC
  ${CMAKE_CURRENT_LIST_DIR}/watermark_templates.h
  ${CMAKE_CURRENT_LIST_DIR}/watermark_templates.cpp)
target_include_directories(setuptool_wm_templates PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(setuptool_wm_templates PUBLIC Qt5::Core Qt5::Gui)

add_executable(watermark_templates ${CMAKE_CURRENT_LIST_DIR}/watermark_templates_main.cpp)
target_link_libraries(watermark_templates PRIVATE setuptool_wm_templates)

set(_wm_root ${CMAKE_CURRENT_BINARY_DIR}/wm_template_files)
set(_wm_usb
  ${_wm_root}/LR880/WaterMark/WaterMark1A4_r88.bmp
  ${_wm_root}/LR880/WaterMark/WaterMark1B5_r88.bmp
  ${_wm_root}/LR880/WaterMark/WaterMark1200A4_r88.bmp
  ${_wm_root}/LR880/WaterMark/WaterMark1200B5_r88.bmp)
set(_wm_net
  ${_wm_root}/LR880N/WaterMark/WaterMark1A4_r88n.bmp
  ${_wm_root}/LR880N/WaterMark/WaterMark1B5_r88n.bmp
  ${_wm_root}/LR880N/WaterMark/WaterMark1200A4_r88n.bmp
  ${_wm_root}/LR880N/WaterMark/WaterMark1200B5_r88n.bmp)
add_custom_command(
  OUTPUT ${_wm_usb} ${_wm_net}
  COMMAND watermark_templates ${_wm_root}
  DEPENDS watermark_templates
  COMMENT "Writing the blank watermark templates"
  VERBATIM)
add_custom_target(watermark_template_files ALL DEPENDS ${_wm_usb} ${_wm_net})
install(FILES ${_wm_usb} DESTINATION ${KOLVEX_PRINTERS_DEFAULT_ROOT}/LR880/WaterMark)
install(FILES ${_wm_net} DESTINATION ${KOLVEX_PRINTERS_DEFAULT_ROOT}/LR880N/WaterMark)
