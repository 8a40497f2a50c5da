# Link dependencies of the widgets: image decoding and the screen-cast portal.
pkg_check_modules(VESK_UI_WIDGETS REQUIRED IMPORTED_TARGET SDL2_image libportal gio-2.0)
target_link_libraries(vesk_ui PRIVATE PkgConfig::VESK_UI_WIDGETS)
# The accessibility bus: ATK objects published by the at-spi2-atk bridge.
pkg_check_modules(VESK_UI_A11Y REQUIRED IMPORTED_TARGET atk atk-bridge-2.0)
target_link_libraries(vesk_ui PRIVATE PkgConfig::VESK_UI_A11Y)
# The image tests make their fixtures with the codecs themselves.
if(TARGET vesk_ui_image_store_test)
  target_link_libraries(vesk_ui_image_store_test PRIVATE PkgConfig::VESK_UI_WIDGETS
                                                         PkgConfig::VESK_UI_SDL)
endif()
