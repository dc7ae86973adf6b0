# Warning flags shared by every target of the project.
add_compile_options(-Wall -Wextra -Wshadow)
if(CORVANE_WERROR)
  add_compile_options(-Werror)
endif()
