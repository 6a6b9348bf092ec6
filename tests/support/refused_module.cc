// Libraries the host must refuse as modules: built with REFUSED_NO_ENTRY, one
// without the entry points; without it, one built for another interface
// version.
#if defined(_WIN32)
#define EXPORTED extern "C" __declspec(dllexport)
#else
#define EXPORTED extern "C" __attribute__((visibility("default")))
#endif

#if defined(REFUSED_NO_ENTRY)
EXPORTED int plainFunction() {
  return 1;
}
#else
EXPORTED int zcrxGetApiVersion() {
  return 0x07E40000;
}
EXPORTED int zcrxEntryPoint(unsigned, void*) {
  return 0;
}
#endif
