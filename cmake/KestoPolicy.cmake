# One target that carries the compile policy; every library and program links it.
add_library(kesto_policy INTERFACE)
target_compile_features(kesto_policy INTERFACE cxx_std_20)
target_compile_options(kesto_policy INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast
    $<$<BOOL:${KESTO_WERROR}>:-Werror>)
target_compile_definitions(kesto_policy INTERFACE
    QT_USE_QSTRINGBUILDER QT_NO_FOREACH QT_NO_KEYWORDS)

if(KESTO_SANITIZE)
    target_compile_options(kesto_policy INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer)
    target_link_options(kesto_policy INTERFACE -fsanitize=address,undefined)
endif()

# The hardening Debian builds its packages with: libc calls checked where the
# compiler knows the buffer's size (which needs the optimiser), and every
# relocation resolved at start so that the tables can be made read-only.
target_compile_definitions(kesto_policy INTERFACE
    $<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:_FORTIFY_SOURCE=2>)
target_link_options(kesto_policy INTERFACE LINKER:-z,now)
