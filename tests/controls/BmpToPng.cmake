# cmake -DCONVERT=<convert> -DIMAGE=<path without extension> -P BmpToPng.cmake
# Turns <IMAGE>.bmp into <IMAGE>.png for viewers that show no BMP; no BMP, no PNG.
if(NOT EXISTS "${IMAGE}.bmp")
  message(STATUS "${IMAGE}.bmp was not written: nothing to convert")
  return()
endif()
execute_process(COMMAND "${CONVERT}" "${IMAGE}.bmp" "${IMAGE}.png" RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "convert failed (${result}) on ${IMAGE}.bmp")
endif()
