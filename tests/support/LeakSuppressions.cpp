// Font matching keeps a process-wide configuration that fontconfig only releases in FcFini.
// A plug-in must never call FcFini (the host and other plug-ins share fontconfig), so the
// test programs tell LeakSanitizer that this memory is meant to live until exit.
extern "C" [[gnu::visibility("default")]] const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}
