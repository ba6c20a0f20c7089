// A shared library without the server exports, for the loader's error.
extern "C" __attribute__((visibility("default"))) int kestoTestNotAServer() {
    return 1;
}
