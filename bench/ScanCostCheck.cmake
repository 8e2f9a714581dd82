# The instruction-count check of the steady state: callgrind counts the instructions of a fixed number of
# OnDataRead steps (scan_cost) with 100 and with 65,535 tags, in the shared and in the device layout. It
# fails when 65,535 tags cost more than twice what 100 tags of the same layout cost, or when the steps
# allocate or report anything. With the port trace on, the scanning thread's steps (100 tags) may cost at
# most three times what they cost without it; the trace's own writing thread is counted apart and left
# out. Instruction counts do not depend on the machine's load, unlike time.
#   cmake -DVALGRIND=... -DPROBE=.../scan_cost -DOUT=dir -P ScanCostCheck.cmake
set(steps 2000)
set(limit 2)
set(trace_limit 3)
file(MAKE_DIRECTORY ${OUT})
set(failed FALSE)

# The instruction total of a callgrind file.
function(callgrind_total file out)
  file(STRINGS ${file} totals REGEX "^totals: [0-9]+")
  list(GET totals 0 totals)
  string(REGEX REPLACE "^totals: ([0-9]+).*" "\\1" count "${totals}")
  set(${out} ${count} PARENT_SCOPE)
endfunction()

# Says how cost compares with base (two decimals, integer arithmetic) and fails above limit times.
function(check_ratio what cost base limit)
  math(EXPR ratio "100 * ${cost} / ${base}")
  math(EXPR whole "${ratio} / 100")
  math(EXPR part "${ratio} % 100")
  if(part LESS 10)
    set(part "0${part}")
  endif()
  if(ratio GREATER ${limit}00)
    message(STATUS "FAIL: ${what}: ${whole}.${part}x, more than ${limit}x")
    set(failed TRUE PARENT_SCOPE)
  else()
    message(STATUS "ok: ${what}: ${whole}.${part}x")
  endif()
endfunction()
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
    callgrind_total(${file} cost_${layout}_${tags})
  endforeach()
  if(DEFINED cost_${layout}_100 AND DEFINED cost_${layout}_65535)
    math(EXPR per100 "${cost_${layout}_100} / ${steps}")
    math(EXPR per65535 "${cost_${layout}_65535} / ${steps}")
    check_ratio("${layout}: ${per100} instructions per step with 100 tags, ${per65535} with 65535"
                ${cost_${layout}_65535} ${cost_${layout}_100} ${limit})
  endif()
  # The same 100 tags with the trace on; callgrind keeps a file per thread, the scanning thread's is -01.
  set(file ${OUT}/callgrind.${layout}.traced)
  file(GLOB stale ${file}*)
  if(stale)
    file(REMOVE ${stale})
  endif()
  execute_process(
    COMMAND ${VALGRIND} --tool=callgrind --instr-atstart=no --separate-threads=yes --callgrind-out-file=${file}
            ${PROBE} ${layout} 100 ${steps} traced ${OUT}/${layout}.trace
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE errors)
  string(STRIP "${output}" output)
  message(STATUS "${output} (traced)")
  if(NOT result EQUAL 0 OR NOT EXISTS ${file}-01 OR NOT DEFINED cost_${layout}_100)
    message(STATUS "FAIL: scan_cost ${layout} 100 traced exited with ${result}\n${errors}")
    set(failed TRUE)
  else()
    callgrind_total(${file}-01 traced)
    math(EXPR per "${traced} / ${steps}")
    check_ratio("${layout}: ${per} instructions per step with the trace on (100 tags)" ${traced}
                ${cost_${layout}_100} ${trace_limit})
  endif()
endforeach()
if(failed)
  message(FATAL_ERROR "the steady-state scan step grows with the tags, allocates, or costs too much traced")
endif()
