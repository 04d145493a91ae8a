# The zip of the Windows programs (make windows): the four programs, the README, the samples and
# the Wireshark dissector under one folder named after the version.
set(FDC_WINDOWS_ZIP TeloFdcCaptAnlz-cli-${PROJECT_VERSION}-win64)
set(fdc_stage ${PROJECT_BINARY_DIR}/${FDC_WINDOWS_ZIP})
add_custom_target(windows_zip
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${fdc_stage} ${FDC_WINDOWS_ZIP}.zip
  COMMAND ${CMAKE_COMMAND} -E make_directory ${fdc_stage}
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:fdcdump> $<TARGET_FILE:fdcstat>
          $<TARGET_FILE:fdc2pcapng> $<TARGET_FILE:fdcgen> ${PROJECT_SOURCE_DIR}/README.md
          ${fdc_stage}
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${PROJECT_SOURCE_DIR}/samples ${fdc_stage}/samples
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${PROJECT_SOURCE_DIR}/wireshark
          ${fdc_stage}/wireshark
  COMMAND ${CMAKE_COMMAND} -E tar cf ${FDC_WINDOWS_ZIP}.zip --format=zip ${FDC_WINDOWS_ZIP}
  WORKING_DIRECTORY ${PROJECT_BINARY_DIR}
  DEPENDS fdcdump fdcstat fdc2pcapng fdcgen
  VERBATIM)
