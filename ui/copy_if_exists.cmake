# Copies SOURCE into the folder DEST when SOURCE exists; run as a build step, so a file that
# appears after configuration is still picked up.
if(EXISTS "${SOURCE}")
  file(COPY "${SOURCE}" DESTINATION "${DEST}")
endif()
