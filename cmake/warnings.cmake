# Warnings for the project's own targets; third-party sources (GoogleTest)
# keep their own flags.
function(ovrin_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 /WX)
  else()
    target_compile_options(${target} PRIVATE
      -Wall -Wextra -Wpedantic -Wshadow -Wcast-align -Wformat=2
      -Wmissing-declarations -Wno-unused-parameter -Werror)
  endif()
endfunction()
