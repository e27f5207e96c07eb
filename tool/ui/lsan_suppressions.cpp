// Leak-checker suppressions for the window tests (used only in sanitizer builds): the font
// configuration library keeps caches for the life of the process by design.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig\n";
}
