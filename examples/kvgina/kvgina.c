/* A stand-in KVGina.dll: no code besides its entry point; what matters is its version resource. */
int __stdcall DllMainCRTStartup(void* module, unsigned long reason, void* reserved) {
    (void)module;
    (void)reason;
    (void)reserved;
    return 1;
}
