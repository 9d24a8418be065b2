# What the sanitizers are told when they watch our Qt code, added to any
# options already set (scripts/test sets some). Debian's Qt and the libraries
# under it (glib, libdbus, xcb, fontconfig) are not built with a sanitizer.
#
# ThreadSanitizer sees only part of their synchronisation and reports races
# inside them: it is told to report only races that involve our own
# (instrumented) code.
set(QT_TSAN_ENVIRONMENT "TSAN_OPTIONS=string_append: ignore_noninstrumented_modules=1")
# LeakSanitizer: libdbus, asked by Qt's X11 platform for a session bus that
# Xvfb does not have, keeps a buffer for the life of the process.
set(QT_LSAN_ENVIRONMENT
  "LSAN_OPTIONS=string_append::suppressions=${CMAKE_SOURCE_DIR}/tests/window/lsan.supp:print_suppressions=0")
