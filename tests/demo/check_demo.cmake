# Runs the demo's headless path in reduced form and holds its summary.json to the accuracy the
# README promises: after the 25-point calibration of the camera screen every touch within
# 1.0 mm and an RMS of at most 0.3 mm; after the 4-point calibration of the coordinate screen
# every touch within 0.5 mm; the camera pointer's lag within 10 ms of its designed delay. The
# finger touches the targets where they are drawn: the bounds are the system's, and a person's
# aim error at the four targets (the demo's default gives up to 0.5 mm) passes into a 4-point
# calibration undiminished.
#   cmake -DSOURCE_DIR=... -DBIN_DIR=... -DOUT_DIR=... -DTOUCHES=N -P check_demo.cmake
file(REMOVE_RECURSE ${OUT_DIR})
execute_process(
  COMMAND bash ${SOURCE_DIR}/scripts/demo.sh --bin ${BIN_DIR} --out ${OUT_DIR} --touches ${TOUCHES}
          --aim-error 0
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the demo failed (${result})")
endif()
file(READ ${OUT_DIR}/summary.json summary)

function(expect_at_most generation field bound)
  string(JSON value GET "${summary}" ${generation} after ${field})
  if(value GREATER bound)
    message(SEND_ERROR "${generation}: ${field} after calibration is ${value}, above ${bound}")
  endif()
endfunction()

# The camera pointer's lag while drawing: within 10 ms of the pipeline's designed delay (its
# whole milliseconds: CMake counts in integers).
string(JSON lag GET "${summary}" camera lag_ms median)
string(JSON designed GET "${summary}" camera lag_ms designed)
string(REGEX REPLACE "\\..*" "" designed_ms ${designed})
math(EXPR lowest "${designed_ms} - 10")
math(EXPR highest "${designed_ms} + 10")
if(lag LESS lowest OR lag GREATER highest)
  message(SEND_ERROR "camera: the pointer's lag is ${lag} ms, designed ${designed} ms")
endif()

expect_at_most(camera max_mm 1.0)
expect_at_most(camera rms_mm 0.3)
expect_at_most(coordinate max_mm 0.5)
foreach(file camera-main-dialog camera-target camera-verification camera-settings-dialog
             camera-paths coordinate-paths camera-errors-before camera-errors-after
             coordinate-errors-before coordinate-errors-after)
  if(NOT EXISTS ${OUT_DIR}/${file}.png)
    message(SEND_ERROR "the demo wrote no ${file}.png")
  endif()
endforeach()
