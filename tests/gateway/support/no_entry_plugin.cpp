// A shared library that is no driver plug-in: it exports no get_providers.
extern "C" __attribute__((visibility("default"))) int plugin_version() { return 1; }
