# OVRIN_SANITIZE applies to everything built in the tree, GoogleTest included,
# so that instrumented and plain code never mix.
if(OVRIN_SANITIZE)
  add_compile_options(-fsanitize=${OVRIN_SANITIZE} -fno-omit-frame-pointer -g)
  add_link_options(-fsanitize=${OVRIN_SANITIZE})
  if(OVRIN_SANITIZE MATCHES "undefined")
    add_compile_options(-fno-sanitize-recover=undefined)
  endif()
endif()
