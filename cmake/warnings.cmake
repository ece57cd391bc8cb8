# ots_warnings(target): the warning set every target of ours is built with.
function(ots_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                                           -Wno-sign-conversion -Wnon-virtual-dtor)
  if(OTS_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
