// One libFuzzer program per entry: VELMORA_FUZZ_TARGET names the entry in FuzzTargets().

#include "fuzz/FuzzEntries.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

TFuzzEntry Entry = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    for (const TFuzzTarget &target : FuzzTargets())
        if (std::strcmp(target.Name, VELMORA_FUZZ_TARGET) == 0) Entry = target.Entry;
    if (Entry == nullptr) {
        std::fprintf(stderr, "no fuzz entry named %s\n", VELMORA_FUZZ_TARGET);
        std::exit(2);
    }
    // The console's windows need an application; the fuzzer's own flags are not for it.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "fuzz_" VELMORA_FUZZ_TARGET;
    static char *argv[] = {name, nullptr};
    // Never destroyed: at the fuzzer's exit the toolkit's own statics may already be gone.
    new QApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    return Entry(data, size);
}
