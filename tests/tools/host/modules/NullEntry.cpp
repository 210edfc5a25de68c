// A module whose VST2 entry point creates no instance.
extern "C" __attribute__((visibility("default"))) void* VSTPluginMain(void*) {
  return nullptr;
}
