#pragma once
// fontconfig keeps its configuration and font caches for the life of the
// process and never frees them; LeakSanitizer would report them at exit in
// every test that lays out text. Include in exactly one file per test program.

extern "C" const char* __lsan_default_suppressions();
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}
