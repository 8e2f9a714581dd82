# The instruction-count check of the steady state: callgrind counts the instructions of a fixed number of
# OnDataRead steps (scan_cost) with 100 and with 65,535 tags, in the shared and in the device layout. It
# fails when 65,535 tags cost more than twice what 100 tags of the same layout cost, or when the steps
# allocate or report anything. Instruction counts do not depend on the machine's load, unlike time.
#   cmake -DVALGRIND=... -DPROBE=.../scan_cost -DOUT=dir -P ScanCostCheck.cmake
set(steps 2000)
set(limit 2)
file(MAKE_DIRECTORY ${OUT})
set(failed FALSE)
foreach(layout shared device)
  foreach(tags 100 65535)
    set(file ${OUT}/callgrind.${layout}.${tags})
    execute_process(
      COMMAND ${VALGRIND} --tool=callgrind --instr-atstart=no --callgrind-out-file=${file}
              ${PROBE} ${layout} ${tags} ${steps}
      RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE errors)
    string(STRIP "${output}" output)
    message(STATUS "${output}")
    if(NOT result EQUAL 0)
      message(STATUS "FAIL: scan_cost ${layout} ${tags} exited with ${result}: the steady state allocated, "
                     "reported or did not start\n${errors}")
      set(failed TRUE)
      continue()
    endif()
    file(STRINGS ${file} totals REGEX "^totals: [0-9]+")
    list(GET totals 0 totals)
    string(REGEX REPLACE "^totals: ([0-9]+).*" "\\1" count "${totals}")
    set(cost_${layout}_${tags} ${count})
  endforeach()
  if(DEFINED cost_${layout}_100 AND DEFINED cost_${layout}_65535)
    math(EXPR per100 "${cost_${layout}_100} / ${steps}")
    math(EXPR per65535 "${cost_${layout}_65535} / ${steps}")
    # Hundredths of the ratio, in integer arithmetic.
    math(EXPR ratio "100 * ${cost_${layout}_65535} / ${cost_${layout}_100}")
    math(EXPR whole "${ratio} / 100")
    math(EXPR part "${ratio} % 100")
    if(part LESS 10)
      set(part "0${part}")
    endif()
    set(line "${layout}: ${per100} instructions per step with 100 tags, ${per65535} with 65535: ${whole}.${part}x")
    if(ratio GREATER ${limit}00)
      message(STATUS "FAIL: ${line}, more than ${limit}x")
      set(failed TRUE)
    else()
      message(STATUS "ok: ${line}")
    endif()
  endif()
endforeach()
if(failed)
  message(FATAL_ERROR "the steady-state scan step grows with the tags or allocates")
endif()
