// Loads like a server module but exports none of the entry points.
extern "C" __attribute__((visibility("default"))) int OvraNotAServer() {
    return 42;
}
