# What the sanitizers are told when they watch our Qt code, added to any
# options already set (the asan and tsan test presets set some). Debian's Qt
# and the libraries under it (glib, libdbus, xcb, fontconfig) are not built
# with a sanitizer. orvandel_add_tests and orvandel_add_test (tests.cmake)
# give it to the tests marked QT.
#
# ThreadSanitizer sees only part of their synchronisation and reports races
# inside them: it is told to report only races that involve our own
# (instrumented) code.
set(QT_TSAN_ENVIRONMENT "TSAN_OPTIONS=string_append: ignore_noninstrumented_modules=1")
# LeakSanitizer: libdbus, asked by Qt's X11 platform for a session bus that
# Xvfb does not have, keeps a buffer for the life of the process. (Tests on
# the offscreen platform never ask for it.)
set(QT_LSAN_ENVIRONMENT
  "LSAN_OPTIONS=string_append::suppressions=${CMAKE_CURRENT_LIST_DIR}/lsan.supp:print_suppressions=0")
