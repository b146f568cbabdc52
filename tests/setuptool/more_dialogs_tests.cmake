# Tests of the red margin dialog, the watermark window and the network
# address window.
setuptool_add_qtest(tst_watermark tst_watermark.cpp wm_image_probe.h)
target_link_libraries(tst_watermark PRIVATE setuptool_wm_templates)

# Pictures of the three windows for the documentation (not a test; run by
# scripts/screenshots-setuptool2.sh under Xvfb).
add_executable(setuptool2_screens setuptool2_screens.cpp)
target_link_libraries(setuptool2_screens PRIVATE setuptool_core setuptool_testing
                                                 setuptool_wm_templates)

setuptool_add_qtest(tst_marginadjustment tst_marginadjustment.cpp)

setuptool_add_qtest(tst_netipset tst_netipset.cpp private_cupsd.h private_cupsd.cpp)
