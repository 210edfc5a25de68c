// A loadable module that is no VST2 plug-in: it exports no entry point.
extern "C" __attribute__((visibility("default"))) int QdTestModuleValue() {
  return 7;
}
