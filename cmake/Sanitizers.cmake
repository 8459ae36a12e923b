# AddressSanitizer + UndefinedBehaviorSanitizer for the test build.
option(MARKWELL_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(MARKWELL_SANITIZE AND NOT MSVC)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()
