# Options every target of the project shares: language level, warnings, Qt hygiene, sanitizers.
add_library(lumisort_options INTERFACE)

target_compile_features(lumisort_options INTERFACE cxx_std_20)
target_compile_options(lumisort_options INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wcast-align
    -Woverloaded-virtual -Wformat=2 -Wimplicit-fallthrough)
if(LUMISORT_WERROR)
    target_compile_options(lumisort_options INTERFACE -Werror)
endif()

target_compile_definitions(lumisort_options INTERFACE
    QT_NO_CAST_FROM_ASCII
    QT_NO_CAST_TO_ASCII
    QT_NO_CONTEXTLESS_CONNECT
    QT_NO_URL_CAST_FROM_STRING
    QT_USE_QSTRINGBUILDER
    QT_NO_FOREACH
    _FILE_OFFSET_BITS=64)

if(LUMISORT_SANITIZE)
    target_compile_options(lumisort_options INTERFACE
        -fsanitize=${LUMISORT_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
    target_link_options(lumisort_options INTERFACE -fsanitize=${LUMISORT_SANITIZE})
endif()
