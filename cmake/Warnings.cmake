# tidekeep_warnings(target): the project's warning set, fatal when TIDEKEEP_WERROR is on (CI).
function(tidekeep_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
    -Wold-style-cast -Wcast-align -Wunused -Woverloaded-virtual -Wformat=2 -Wimplicit-fallthrough)
  if(TIDEKEEP_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
